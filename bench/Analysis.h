#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// One case of a run as bench/run.sh lists it in cases.txt: its directory, the program measured
// ("engine", "window", "fping" or "ping"), the socket kind, the target count, and whether the
// targets never answer.
struct TCase {
  std::string directory, program, sockets;
  int targets = 0;
  bool silent = false;
};

// Median, a high percentile and the maximum of a sample.
struct TSpread {
  double median = 0, p99 = 0, max = 0;
  std::size_t count = 0;
};
std::optional<TSpread> Spread(std::vector<double> values);

// What the report shows of one case; an empty optional is a figure that does not apply.
struct TFigures {
  double cpuPerMinute = 0, mainThreadShare = 0;  // CPU seconds per minute; fraction of a core
  double peakMiB = 0, steadyMiB = 0;
  int threads = 0, fds = 0;
  std::optional<TSpread> schedule, drift, hostDelay, clickToPaint;
  // The same two for the targets that answer and those that never do (whose probes wait the
  // whole timeout, as long as the interval).
  std::optional<TSpread> scheduleAnswering, driftAnswering, scheduleSilent, driftSilent;
  // The round-trip time the program reports minus the test host's configured delay, and minus
  // the time the reply actually took at the device (which leaves out a late test host).
  std::optional<TSpread> roundTrip, roundTripAtDevice;
  bool scheduleFromFirstProbe = false;  // deadlines counted from the first probe seen
  long long due = 0, sent = 0;
  int clicksWithoutPaint = 0;
  std::optional<double> closeSeconds;
  std::optional<double> closeLimit;  // not closed within this many seconds: killed
  std::optional<double> closePhaseMs;
  int exitStatus = 0;  // how long after the probes went out the close began
};

// Reads a case's files under `run` and works out its figures; std::runtime_error names what is
// missing.
TFigures Analyse(const std::string& run, const TCase& c);

// "key=value" lines.
std::map<std::string, std::string> ReadKeyValues(const std::string& path);
