// The test host of a benchmark case as a process of its own, so that its work is not counted as
// the measured program's: answers the benchmark's targets and captures every echo packet.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "Commands.h"
#include "Options.h"
#include "PacketCapture.h"
#include "PrivateNetwork.h"
#include "TargetPlan.h"
#include "TestHost.h"

namespace {

struct TFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

TFile OpenForWriting(const std::string& path) {
  TFile file(std::fopen(path.c_str(), "w"));
  if (!file) throw std::runtime_error("cannot write " + path);
  return file;
}

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int RunHost(int argc, char** argv) {
  const TOptions options(argc, argv, {"targets", "ping-group-range", "capture", "ready", "stats"},
                         {"silent"});
  // Blocked before any thread exists, so that only the signal descriptor sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a benchmark script that dies takes its host along
  // The pretend hosts stand for machines with cores of their own: a measured program that takes
  // every core must not make their answers late. Its threads inherit this.
  const sched_param priority{.sched_priority = 10};
  if (::sched_setscheduler(0, SCHED_FIFO, &priority) != 0) {
    std::perror("halvoro-bench host: no real-time priority, answers may be late under load");
  }
  const UniqueFd signals(::signalfd(-1, &stop, SFD_CLOEXEC));

  const auto started = std::chrono::steady_clock::now();
  TFile capture = OpenForWriting(options.Required("capture"));
  TestHost host;
  for (const TBenchTarget& target :
       BenchTargets(static_cast<int>(options.Number("targets", 0)), options.Has("silent"))) {
    if (target.answers) host.Answer(target.address, std::chrono::milliseconds(target.delayMs));
  }
  const std::string range = options.Text("ping-group-range");
  if (range == "open" || range == "closed") {
    SetPingGroupRange(range == "open");
  } else if (!range.empty()) {
    throw std::invalid_argument("--ping-group-range is open or closed");
  }
  TPacketCapture packets(host.DeviceName());
  const auto write = [&](const TEchoPacket& packet) { WritePacket(capture.get(), packet); };
  if (options.Has("ready")) OpenForWriting(options.Text("ready"));

  // The kernel stamps each packet as it crosses, so reading them in batches loses nothing and
  // takes fewer wake-ups from the cores the measured program runs on.
  for (;;) {
    pollfd watch{signals.get(), POLLIN, 0};
    const bool stopping = ::poll(&watch, 1, 20) > 0;
    packets.Drain(write);
    host.ClearRequests();  // the capture has them; the host's own record would only grow
    if (stopping) break;
  }
  packets.Drain(write);
  if (options.Has("stats")) {
    const double life =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(OpenForWriting(options.Text("stats")).get(), "host_cpu_s=%.3f\nhost_life_s=%.3f\n",
                 CpuSeconds(), life);
  }
  if (options.Has("ready")) ::unlink(options.Text("ready").c_str());
  return 0;
}
