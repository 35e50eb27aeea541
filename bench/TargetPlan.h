#pragma once

#include <string>
#include <vector>

// One pretend host of the benchmark and how the test host treats it.
struct TBenchTarget {
  std::string address;  // canonical text, as the test host and the capture write it
  bool ipv6 = false;
  int delayMs = 0;  // the test host's reply delay
  bool answers = true;
  std::string memo, group;
};

// The first `count` targets of the benchmark. Target i is the same host with the same behaviour
// in every case and every run, so cases of different sizes and programs compare. Silent targets
// never answer (for the close time).
std::vector<TBenchTarget> BenchTargets(int count, bool silent = false);

// The same targets as hostconfig.json of the window: byte-order mark, one object per target.
std::string HostConfigJson(const std::vector<TBenchTarget>& targets);

constexpr int kIntervalMs = 1000;  // the program's default interval
constexpr int kTimeoutMs = 1000;   // and timeout
