#include "TargetPlan.h"

#include <stdexcept>

#include "TestHost.h"

namespace {

constexpr int kDelaysMs[] = {20, 1, 50};
constexpr int kIPv4Hosts = 253;  // 198.18.0.2 .. 198.18.0.254

}  // namespace

std::vector<TBenchTarget> BenchTargets(int count, bool silent) {
  if (count < 0 || count > 60000) throw std::invalid_argument("target count out of 0..60000");
  std::vector<TBenchTarget> targets;
  targets.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    TBenchTarget target;
    // A quarter IPv4: the IPv4 network holds only 253 hosts and 1000 targets are the point.
    target.ipv6 = i % 4 != 0 || i / 4 >= kIPv4Hosts;
    target.address = target.ipv6 ? TestHost::V6(2 + i) : TestHost::V4(2 + i / 4);
    target.delayMs = kDelaysMs[i % 3];
    // Every tenth never answers: its probe waits the whole timeout, the hardest case to keep
    // on time.
    target.answers = !silent && i % 10 != 9;
    target.memo = "bench " + std::to_string(i);
    target.group = std::string(target.ipv6 ? "IPv6" : "IPv4") +
                   (target.answers ? " " + std::to_string(target.delayMs) + " ms" : " silent");
    targets.push_back(std::move(target));
  }
  return targets;
}

std::string HostConfigJson(const std::vector<TBenchTarget>& targets) {
  std::string json = "\xEF\xBB\xBF[\n";
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const TBenchTarget& t = targets[i];
    json += "  {\"memo\": \"" + t.memo + "\", \"hostname\": \"" + t.address +
            "\", \"frequency\": " + std::to_string(kIntervalMs) +
            ", \"delay\": " + std::to_string(kTimeoutMs) + ", \"notify\": true, \"groupname\": \"" +
            t.group + "\"}" + (i + 1 < targets.size() ? ",\n" : "\n");
  }
  return json + "]\n";
}
