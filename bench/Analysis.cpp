#include "Analysis.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

#include "TargetPlan.h"

namespace {

constexpr double kNsPerMs = 1e6;
constexpr int64_t kIntervalNs = static_cast<int64_t>(kIntervalMs) * 1'000'000;
// A probe due this close to the end of the run may still be on its way out: not yet counted.
constexpr int64_t kDueMarginNs = 100'000'000;
constexpr std::size_t kDriftProbes = 5;

// The requests to one target in the order they crossed the device, each with the time its reply
// crossed back (0 when none did).
struct TProbe {
  int64_t sent = 0, answered = 0;
};
using TProbes = std::unordered_map<std::string, std::vector<TProbe>>;

// A round-trip time as the program reported it: target, which of its probes, milliseconds.
struct TReported {
  std::size_t target, probe;
  double ms;
};

std::ifstream Open(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("missing " + path);
  return in;
}

TProbes ReadCapture(const std::string& path) {
  std::ifstream in = Open(path);
  TProbes probes;
  std::map<std::tuple<std::string, unsigned, unsigned>, std::pair<std::string, std::size_t>> open;
  long long at;
  char kind;
  std::string address;
  unsigned identifier, sequence;
  while (in >> at >> kind >> address >> identifier >> sequence) {
    const auto key = std::make_tuple(address, identifier, sequence);
    auto& own = probes[address];
    if (kind == 'q') {
      open[key] = {address, own.size()};
      own.push_back({at, 0});
    } else if (const auto found = open.find(key); found != open.end()) {
      own[found->second.second].answered = at;
      open.erase(found);
    }
  }
  return probes;
}

double Number(const std::map<std::string, std::string>& values, const std::string& key) {
  const auto found = values.find(key);
  if (found == values.end()) throw std::runtime_error("no " + key + " in the measurement");
  return std::stod(found->second);
}

const std::vector<TProbe>& ProbesOf(const TProbes& probes, const std::string& address) {
  static const std::vector<TProbe> none;
  const auto found = probes.find(address);
  return found == probes.end() ? none : found->second;
}

// Send time minus deadline of every probe, deadline k of a target being its anchor plus k
// intervals; probes are matched to deadlines in order, as a schedule that never skips sends them.
void Schedule(const std::vector<TBenchTarget>& targets, const TProbes& probes,
              const std::vector<int64_t>* anchors, int64_t endNs, TFigures& figures) {
  std::vector<double> errors[2], drifts[2];  // [answers]
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::vector<TProbe>& sent = ProbesOf(probes, targets[i].address);
    if (!anchors && sent.empty()) continue;
    const int64_t anchor = anchors ? (*anchors)[i] : sent.front().sent;
    const int64_t lastDue = endNs - kDueMarginNs;
    const long long due = lastDue < anchor ? 0 : (lastDue - anchor) / kIntervalNs + 1;
    long long matched = 0;
    while (matched < due && matched < static_cast<long long>(sent.size()) &&
           sent[static_cast<std::size_t>(matched)].sent < endNs) {
      ++matched;
    }
    figures.due += due;
    figures.sent += matched;
    std::vector<double> own;
    for (long long k = 0; k < matched; ++k) {
      own.push_back(
          static_cast<double>(sent[static_cast<std::size_t>(k)].sent - anchor - k * kIntervalNs) /
          kNsPerMs);
    }
    const int answers = targets[i].answers ? 1 : 0;
    errors[answers].insert(errors[answers].end(), own.begin(), own.end());
    if (own.size() >= 2 * kDriftProbes) {
      double first = 0, last = 0;
      for (std::size_t k = 0; k < kDriftProbes; ++k) {
        first += own[k];
        last += own[own.size() - 1 - k];
      }
      drifts[answers].push_back((last - first) / kDriftProbes);
    }
  }
  const auto both = [](const std::vector<double>* v) {
    std::vector<double> all = v[0];
    all.insert(all.end(), v[1].begin(), v[1].end());
    return Spread(std::move(all));
  };
  figures.schedule = both(errors);
  figures.drift = both(drifts);
  figures.scheduleAnswering = Spread(errors[1]);
  figures.driftAnswering = Spread(drifts[1]);
  figures.scheduleSilent = Spread(errors[0]);
  figures.driftSilent = Spread(drifts[0]);
}

// Reply minus request at the device, less the configured delay: how exactly the test host keeps
// its delays.
std::optional<TSpread> HostDelayErrors(const std::vector<TBenchTarget>& targets,
                                       const TProbes& probes) {
  std::vector<double> errors;
  for (const TBenchTarget& target : targets) {
    if (!target.answers) continue;
    for (const TProbe& p : ProbesOf(probes, target.address)) {
      if (p.answered != 0) {
        errors.push_back(static_cast<double>(p.answered - p.sent) / kNsPerMs - target.delayMs);
      }
    }
  }
  return Spread(errors);
}

void RoundTrips(const std::vector<TReported>& reported, const std::vector<TBenchTarget>& targets,
                const TProbes& probes, TFigures& figures) {
  std::vector<double> configured, device;
  for (const TReported& r : reported) {
    if (r.target >= targets.size() || !targets[r.target].answers) continue;
    configured.push_back(r.ms - targets[r.target].delayMs);
    const std::vector<TProbe>& own = ProbesOf(probes, targets[r.target].address);
    if (r.probe < own.size() && own[r.probe].answered != 0) {
      device.push_back(r.ms -
                       static_cast<double>(own[r.probe].answered - own[r.probe].sent) / kNsPerMs);
    }
  }
  figures.roundTrip = Spread(configured);
  figures.roundTripAtDevice = Spread(device);
}

// engine.txt: the add times, the answered probes (a notification whose loss count stayed, the
// probe being the SENT-th), the stop.
std::vector<TReported> ReadEngine(const std::string& path, std::size_t targets,
                                  std::vector<int64_t>& added, int64_t& stopping,
                                  std::optional<int64_t>& stopTook) {
  std::ifstream in = Open(path);
  std::vector<int> lostBefore(targets, 0);
  std::vector<TReported> reported;
  added.assign(targets, 0);
  for (std::string kind; in >> kind;) {
    if (kind == "add") {
      std::size_t i;
      long long at;
      in >> i >> at;
      if (i < targets) added[i] = at;
    } else if (kind == "n") {
      long long at;
      std::size_t i;
      int sent, lost, last;
      in >> at >> i >> sent >> lost >> last;
      if (i >= targets || sent < 1) continue;
      if (lost == lostBefore[i])
        reported.push_back({i, static_cast<std::size_t>(sent - 1), 1.0 * last});
      lostBefore[i] = lost;
    } else if (kind == "stopping") {
      long long at;
      in >> at;
      stopping = at;
    } else if (kind == "stop_took") {
      long long took;
      in >> took;
      stopTook = took;
    }
  }
  return reported;
}

// The window's diagnostic lines: one outcome line per probe and target, in order; the answered
// ones carry the figure the row shows.
std::vector<TReported> ReadDiagnostics(
    const std::string& path, const std::unordered_map<std::string, std::size_t>& indexOf) {
  static const std::regex outcome(
      R"(^(?:Ping成功 (\S+) -> \S+ 延迟: (\d+)ms|IPv6 ping to (\S+) succeeded in (\d+)ms|Ping失败 (\S+) -> |IPv6 ping to (\S+) failed))");
  std::ifstream in = Open(path);
  std::vector<std::size_t> probesSeen(indexOf.size(), 0);
  std::vector<TReported> reported;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (!std::regex_search(line, m, outcome)) continue;
    const std::string host = m[1].matched ? m[1] : m[3].matched ? m[3] : m[5].matched ? m[5] : m[6];
    const auto found = indexOf.find(host);
    if (found == indexOf.end()) continue;
    const std::size_t probe = probesSeen[found->second]++;
    const std::string ms = m[2].matched ? m[2] : m[4];
    if (!ms.empty()) reported.push_back({found->second, probe, std::stod(ms)});
  }
  return reported;
}

// fping prints "ADDRESS : [PROBE], N bytes, MS ms (...)" per reply, ping "icmp_seq=N ... time=MS
// ms" with N counted from 1.
std::vector<TReported> ReadAnchorOutput(
    const std::string& path, bool fping,
    const std::unordered_map<std::string, std::size_t>& indexOf) {
  static const std::regex fpingLine(R"(^(\S+)\s+: \[(\d+)\], \d+ bytes, ([0-9.]+) ms)");
  static const std::regex pingLine(R"(icmp_seq=(\d+) .*time=([0-9.]+) ms)");
  std::ifstream in = Open(path);
  std::vector<TReported> reported;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (fping && std::regex_search(line, m, fpingLine)) {
      const auto found = indexOf.find(m[1]);
      if (found != indexOf.end()) {
        reported.push_back({found->second, std::stoul(m[2]), std::stod(m[3])});
      }
    } else if (!fping && std::regex_search(line, m, pingLine) && std::stoul(m[1]) >= 1) {
      reported.push_back({0, std::stoul(m[1]) - 1, std::stod(m[2])});
    }
  }
  return reported;
}

}  // namespace

std::optional<TSpread> Spread(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  const auto rank = [&](double q) {
    const auto k = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, k == 0 ? 0 : k - 1)];
  };
  return TSpread{rank(0.5), rank(0.99), values.back(), values.size()};
}

std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
  std::ifstream in = Open(path);
  std::map<std::string, std::string> values;
  for (std::string line; std::getline(in, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

TFigures Analyse(const std::string& run, const TCase& c) {
  const std::string dir = run + "/" + c.directory + "/";
  const auto measured = ReadKeyValues(dir + "measure.txt");
  const auto targets = BenchTargets(c.targets, c.silent);
  std::unordered_map<std::string, std::size_t> indexOf;
  for (std::size_t i = 0; i < targets.size(); ++i) indexOf[targets[i].address] = i;

  TFigures f;
  const double window = Number(measured, "window_s");
  f.cpuPerMinute = Number(measured, "cpu_s") / window * 60;
  f.mainThreadShare = Number(measured, "main_thread_cpu_s") / window;
  f.peakMiB = Number(measured, "rss_peak_kib") / 1024;
  f.steadyMiB = Number(measured, "rss_steady_kib") / 1024;
  f.threads = static_cast<int>(Number(measured, "threads"));
  f.fds = static_cast<int>(Number(measured, "fds"));
  if (measured.count("stop_phase_ms")) f.closePhaseMs = Number(measured, "stop_phase_ms");
  if (measured.count("exit_status"))
    f.exitStatus = static_cast<int>(Number(measured, "exit_status"));

  const TProbes probes = ReadCapture(dir + "capture.txt");
  f.hostDelay = HostDelayErrors(targets, probes);

  std::vector<TReported> reported;
  int64_t endNs = static_cast<int64_t>(Number(measured, "stop_ns"));
  if (c.program == "engine") {
    std::vector<int64_t> added;
    int64_t stopping = 0;
    std::optional<int64_t> stopTook;
    reported = ReadEngine(dir + "engine.txt", targets.size(), added, stopping, stopTook);
    if (stopping == 0) throw std::runtime_error("the engine was not asked to stop in " + dir);
    endNs = stopping;
    if (stopTook) {
      f.closeSeconds = static_cast<double>(*stopTook) / 1e9;
    } else {
      f.closeLimit = Number(measured, "stop_timed_out_s");
    }
    if (c.targets > 0) Schedule(targets, probes, &added, endNs, f);
  } else {
    f.scheduleFromFirstProbe = true;
    if (c.targets > 0) Schedule(targets, probes, nullptr, endNs, f);
  }
  if (c.program == "window") {
    reported = ReadDiagnostics(dir + "stderr.txt", indexOf);
    if (measured.count("stop_timed_out_s")) {
      f.closeLimit = Number(measured, "stop_timed_out_s");
    } else {
      f.closeSeconds = (Number(measured, "exit_ns") - Number(measured, "close_begin_ns")) / 1e9;
    }
    std::vector<double> clicks;
    std::istringstream list(measured.count("click_to_paint_s") ? measured.at("click_to_paint_s")
                                                               : "");
    for (std::string item; std::getline(list, item, ',');) {
      const double seconds = std::stod(item);
      if (seconds < 0) {
        ++f.clicksWithoutPaint;
      } else {
        clicks.push_back(seconds * 1000);
      }
    }
    f.clickToPaint = Spread(clicks);
  } else if (c.program == "fping" || c.program == "ping") {
    reported = ReadAnchorOutput(dir + "stdout.txt", c.program == "fping", indexOf);
  }
  RoundTrips(reported, targets, probes, f);
  return f;
}
