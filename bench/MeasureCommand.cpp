// Starts a program and measures it from outside, the same way for the engine, the window and the
// anchors: CPU over a steady stretch after a warm-up, memory, threads and descriptors sampled
// over it, the main thread's share, and for a window the time from a click to the first changed
// pixel and the time from alt+F4 to the process's end.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Commands.h"
#include "Options.h"
#include "PacketCapture.h"
#include "ProcFs.h"
#include "UniqueFd.h"
#include "XScreen.h"

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

int64_t Ns(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

Clock::duration Span(Seconds s) {
  return std::chrono::duration_cast<Clock::duration>(s);
}

std::vector<int> Numbers(const std::string& text, std::size_t count) {
  std::vector<int> numbers;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, ',');) numbers.push_back(std::stoi(part));
  if (numbers.size() != count) {
    throw std::invalid_argument("expected " + std::to_string(count) + " numbers: " + text);
  }
  return numbers;
}

void RedirectOrDie(const std::string& path, int fd, int flags) {
  const int opened = ::open(path.empty() ? "/dev/null" : path.c_str(), flags | O_CLOEXEC, 0644);
  if (opened < 0 || ::dup2(opened, fd) < 0) _exit(126);
}

// A started program; one that is still running when this goes is killed, so that no exception
// path leaves it behind.
class TChild {
 public:
  TChild(const std::vector<std::string>& command, const std::string& out, const std::string& err) {
    std::vector<char*> argv;
    for (const auto& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
      RedirectOrDie({}, 0, O_RDONLY);
      RedirectOrDie(out, 1, O_WRONLY | O_CREAT | O_TRUNC);
      RedirectOrDie(err, 2, O_WRONLY | O_CREAT | O_TRUNC);
      ::execvp(argv[0], argv.data());
      _exit(127);
    }
  }
  ~TChild() {
    if (status_) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running() {
    int status = 0;
    if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return !status_;
  }
  // Waits for the end at most `limit`; returns the wait status, or nothing on time-out.
  std::optional<int> Wait(Seconds limit) {
    const UniqueFd handle(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
    if (handle) {
      pollfd watch{handle.get(), POLLIN, 0};
      if (::poll(&watch, 1, static_cast<int>(limit.count() * 1000)) == 0) return std::nullopt;
    }
    int status = 0;
    if (!status_ && ::waitpid(pid_, &status, 0) == pid_) status_ = status;
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

void RunQuietly(const std::vector<std::string>& command) {
  TChild child(command, {}, {});
  child.Wait(Seconds(10));
}

// Waits for the next burst of echo requests after a quiet spell, as targets probed together send
// them, and returns the kernel's time of its first request; nothing if none comes within `limit`.
std::optional<int64_t> NextBurst(Seconds limit) {
  constexpr int64_t kQuietNs = 200'000'000;
  TPacketCapture watch("");
  int64_t last = Ns(Clock::now());
  std::optional<int64_t> burst;
  const auto giveUp = Clock::now() + Span(limit);
  while (!burst && Clock::now() < giveUp) {
    pollfd ready{watch.Fd(), POLLIN, 0};
    ::poll(&ready, 1, 10);
    watch.Drain([&](const TEchoPacket& packet) {
      if (!packet.request || burst) return;
      if (packet.at - last > kQuietNs) burst = packet.at;
      last = packet.at;
    });
  }
  return burst;
}

class TResults {
 public:
  explicit TResults(const std::string& path) : file_(std::fopen(path.c_str(), "w"), &std::fclose) {
    if (!file_) throw std::runtime_error("cannot write " + path);
  }
  void Put(const char* key, double value) { std::fprintf(file_.get(), "%s=%.6f\n", key, value); }
  void Put(const char* key, long long value) { std::fprintf(file_.get(), "%s=%lld\n", key, value); }
  void Put(const char* key, const std::string& value) {
    std::fprintf(file_.get(), "%s=%s\n", key, value.c_str());
  }

 private:
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

// The program's main window on the virtual screen, and the control whose clicks are timed.
class TWindow {
 public:
  explicit TWindow(const TOptions& options) : titlePrefix_(options.Text("window-title")) {
    const auto click = Numbers(options.Required("click"), 2);
    const auto region = Numbers(options.Required("click-region"), 4);
    click_ = {click[0], click[1]};
    regionAt_ = {region[0], region[1]};
    width_ = region[2];
    height_ = region[3];
  }

  // Waits for the window of `child` and rests the pointer on the control, so that its hover look
  // is drawn before any click is timed.
  void Find(TChild& child) {
    const auto giveUp = Clock::now() + std::chrono::seconds(60);
    while (id_ == 0 && Clock::now() < giveUp && child.Running()) {
      id_ = screen_.FindWindow(child.Pid(), titlePrefix_);
      if (id_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (id_ == 0) throw std::runtime_error("the window did not appear");
    origin_ = screen_.Origin(id_);
    screen_.MovePointer(At(click_));
  }

  // Time from a click to the first changed pixel of the control, or a negative number when
  // nothing changes within two seconds.
  double ClickToPaint() {
    const std::vector<uint8_t> before = screen_.Grab(At(regionAt_), width_, height_);
    const auto clicked = Clock::now();
    screen_.Click();
    while (Clock::now() - clicked < std::chrono::seconds(2)) {
      // Each grab is a round trip that the server answers after the click's events.
      if (screen_.Grab(At(regionAt_), width_, height_) != before) {
        return Seconds(Clock::now() - clicked).count();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return -1;
  }

  // alt+F4 as a user gives it; returns when the key is sent.
  void Close(TResults& results) {
    RunQuietly({"xdotool", "windowactivate", "--sync", std::to_string(id_)});
    results.Put("close_begin_ns", static_cast<long long>(Ns(Clock::now())));
    RunQuietly({"xdotool", "key", "--clearmodifiers", "alt+F4"});
  }

 private:
  TXScreen::TPoint At(TXScreen::TPoint p) const { return {origin_.x + p.x, origin_.y + p.y}; }

  TXScreen screen_;
  std::string titlePrefix_;
  TXScreen::TPoint click_, regionAt_, origin_;
  int width_ = 0, height_ = 0;
  uint32_t id_ = 0;
};

// Samples the process four times a second from `begin` to `end`, and clicks the window (if any)
// `clicks` times spread over the stretch.
void MeasureStretch(TChild& child, Clock::time_point begin, Clock::time_point end, TWindow* window,
                    int clicks, TResults& results) {
  const pid_t pid = child.Pid();
  std::this_thread::sleep_until(begin);
  if (!child.Running()) throw std::runtime_error("the program ended during the warm-up");
  const double cpuBegin = ProcessCpuSeconds(pid), mainBegin = ThreadCpuSeconds(pid, pid);
  std::vector<int64_t> rss;
  int threads = 0, fds = 0;
  std::string clickTimes;
  int clicked = 0;
  for (auto next = begin; next < end; next += std::chrono::milliseconds(250)) {
    std::this_thread::sleep_until(next);
    const TProcessStatus status = ReadStatus(pid);
    rss.push_back(status.rssKiB);
    threads = std::max(threads, status.threads);
    fds = std::max(fds, CountOpenFds(pid));
    if (window && clicked < clicks && next >= begin + (end - begin) * (clicked + 0.5) / clicks) {
      clickTimes += (clicked++ == 0 ? "" : ",") + std::to_string(window->ClickToPaint());
    }
  }
  std::this_thread::sleep_until(end);
  const double cpuEnd = ProcessCpuSeconds(pid), mainEnd = ThreadCpuSeconds(pid, pid);
  const auto measuredEnd = Clock::now();
  const TProcessStatus last = ReadStatus(pid);
  if (!child.Running()) throw std::runtime_error("the program ended during the measurement");

  std::sort(rss.begin(), rss.end());
  results.Put("begin_ns", static_cast<long long>(Ns(begin)));
  results.Put("end_ns", static_cast<long long>(Ns(measuredEnd)));
  results.Put("window_s", Seconds(measuredEnd - begin).count());
  results.Put("cpu_s", cpuEnd - cpuBegin);
  results.Put("main_thread_cpu_s", mainEnd - mainBegin);
  results.Put("rss_peak_kib", static_cast<long long>(last.peakRssKiB));
  results.Put("rss_steady_kib", static_cast<long long>(rss.empty() ? 0 : rss[rss.size() / 2]));
  results.Put("threads", static_cast<long long>(threads));
  results.Put("fds", static_cast<long long>(fds));
  if (window) results.Put("click_to_paint_s", clickTimes);
}

// Stopped this long after the probes went out, the workers of targets that never answer are in
// the middle of their wait: a close time that does not depend on luck.
void WaitForPhase(double phaseMs, TResults& results) {
  if (const auto burst = NextBurst(Seconds(5))) {
    const auto phase = std::chrono::nanoseconds(static_cast<int64_t>(phaseMs * 1e6));
    std::this_thread::sleep_until(Clock::time_point(std::chrono::nanoseconds(*burst) + phase));
    results.Put("stop_phase_ms", static_cast<double>(Ns(Clock::now()) - *burst) / 1e6);
  }
}

void Stop(TChild& child, TWindow* window, Seconds limit, TResults& results) {
  results.Put("stop_ns", static_cast<long long>(Ns(Clock::now())));
  if (window) {
    window->Close(results);
  } else {
    ::kill(child.Pid(), SIGINT);
  }
  const std::optional<int> status = child.Wait(limit);
  if (!status) {
    // A figure too: the program takes longer than anyone waits. The child is killed on return.
    results.Put("stop_timed_out_s", limit.count());
    return;
  }
  results.Put("exit_ns", static_cast<long long>(Ns(Clock::now())));
  results.Put("exit_status", static_cast<long long>(WIFEXITED(*status) ? WEXITSTATUS(*status)
                                                                       : 128 + WTERMSIG(*status)));
}

}  // namespace

int RunMeasure(int argc, char** argv) {
  const TOptions options(argc, argv,
                         {"out", "warmup", "duration", "stdout", "stderr", "window-title", "click",
                          "click-region", "clicks", "stop-phase", "stop-limit"},
                         {});
  if (options.Command().empty()) throw std::invalid_argument("no command after --");
  const Seconds warmup(options.Number("warmup", 5)), duration(options.Number("duration", 60));
  std::unique_ptr<TWindow> window;
  if (options.Has("window-title")) window = std::make_unique<TWindow>(options);
  TResults results(options.Required("out"));

  const auto started = Clock::now();
  results.Put("started_ns", static_cast<long long>(Ns(started)));
  TChild child(options.Command(), options.Text("stdout"), options.Text("stderr"));
  auto begin = started + Span(warmup);
  if (window) {
    window->Find(child);
    results.Put("window_shown_s", Seconds(Clock::now() - started).count());
    // A window that took long to come up gets a warm-up all the same.
    begin = std::max(begin, Clock::now() + std::chrono::milliseconds(500));
  }
  MeasureStretch(child, begin, begin + Span(duration), window.get(),
                 static_cast<int>(options.Number("clicks", 10)), results);
  if (options.Has("stop-phase")) WaitForPhase(options.Number("stop-phase", 0), results);
  Stop(child, window.get(), Seconds(options.Number("stop-limit", 120)), results);
  return 0;
}
