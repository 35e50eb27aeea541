// The engine alone: the benchmark's targets in a TICMPMonitor whose UI thread (this main thread)
// does nothing but take the notifications until SIGINT or SIGTERM (or --run-for seconds), then
// the monitor is destroyed.
//
// Writes to --out: "add INDEX NS" per target (just before AddTarget), "n NS INDEX SENT LOST
// LAST_MS" per notification, "stopping NS" when the stop was asked for and "stop_took NS", the
// time the monitor's destruction took. Times are steady_clock nanoseconds.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Commands.h"
#include "ICMPMonitor.h"
#include "Options.h"
#include "PrivateNetwork.h"
#include "SocketLibrary.h"
#include "Synchronizer.h"
#include "TargetPlan.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t Ns(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

struct TNotification {
  int64_t at;
  int32_t index, sent, lost, last;
};

// The benchmark's one thread of its own (it shows in the thread count): it turns SIGINT or
// SIGTERM, blocked in every thread, into the end of the UI thread's wait.
class TStopSignal {
 public:
  TStopSignal(const sigset_t& signals, TSynchronizer& ui)
      : waiter_([this, signals, &ui] {
          int signal = 0;
          sigwait(&signals, &signal);
          asked_.store(true);
          ui.Signal();
        }) {}
  ~TStopSignal() {
    if (!asked_.load()) ::kill(::getpid(), SIGTERM);  // only the waiter takes it
    waiter_.join();
  }
  bool Asked() const { return asked_.load(); }

 private:
  std::atomic<bool> asked_{false};
  std::thread waiter_;
};

}  // namespace

int RunEngine(int argc, char** argv) {
  const TOptions options(argc, argv, {"targets", "run-for", "out"}, {"silent"});
  // Blocked before any thread exists, so that only the waiter below takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::string whyNot;
  // The targets' addresses must reach nothing but the test host.
  if (!InFreshNetworkNamespace(whyNot)) throw std::runtime_error(whyNot);
  const auto targets =
      BenchTargets(static_cast<int>(options.Number("targets", 0)), options.Has("silent"));
  const auto runFor = std::chrono::duration<double>(options.Number("run-for", 24 * 3600));
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(
      std::fopen(options.Required("out").c_str(), "w"), &std::fclose);
  if (!out) throw std::runtime_error("cannot write " + options.Text("out"));

  std::unordered_map<std::string, int32_t> indexOf;
  for (std::size_t i = 0; i < targets.size(); ++i)
    indexOf[targets[i].address] = static_cast<int32_t>(i);
  std::vector<TNotification> notifications;
  notifications.reserve(targets.size() * 200);
  std::vector<int64_t> added(targets.size());

  const TSocketLibrary sockets;  // as the program starts it
  TSynchronizer ui;
  TStopSignal stopAsked(stopSignals, ui);
  auto monitor = std::make_unique<TICMPMonitor>(ui);
  monitor->SetOnStatusUpdate([&](TICMPMonitor*, const std::string& host, const std::string&,
                                 const TPingStatistics& stats) {
    notifications.push_back(
        {Ns(Clock::now()), indexOf.at(host), stats.Sent, stats.Lost, stats.LastLatency});
  });
  const auto start = Clock::now();
  for (std::size_t i = 0; i < targets.size(); ++i) {
    added[i] = Ns(Clock::now());
    monitor->AddTarget(targets[i].address, kIntervalMs, kTimeoutMs, targets[i].memo);
  }
  ui.ServiceUntil([&] { return stopAsked.Asked(); },
                  start + std::chrono::duration_cast<Clock::duration>(runFor));
  const auto stopBegin = Clock::now();
  // Written before the monitor goes, so that a stop that takes too long to wait for (and is
  // killed) still leaves the figures of the run.
  for (std::size_t i = 0; i < added.size(); ++i) {
    std::fprintf(out.get(), "add %zu %lld\n", i, static_cast<long long>(added[i]));
  }
  for (const TNotification& n : notifications) {
    std::fprintf(out.get(), "n %lld %d %d %d %d\n", static_cast<long long>(n.at), n.index, n.sent,
                 n.lost, n.last);
  }
  std::fprintf(out.get(), "stopping %lld\n", static_cast<long long>(Ns(stopBegin)));
  std::fflush(out.get());
  const auto destroying = Clock::now();
  monitor.reset();
  std::fprintf(out.get(), "stop_took %lld\n",
               static_cast<long long>((Clock::now() - destroying) / std::chrono::nanoseconds(1)));
  return 0;
}
