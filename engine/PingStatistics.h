#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The per-target figures. A plain value: copies carry every field. The -1 latency values mean
// "no value"; a default-constructed record is the all-zero record handed out for unknown hosts.
struct TPingStatistics {
  std::string note;
  std::string dstaddr;
  bool IsV6 = false;
  int32_t Sent = 0;
  int32_t Lost = 0;
  int32_t MinLatency = 0;
  int32_t MaxLatency = 0;
  int64_t TotalLatency = 0;
  int32_t LastLatency = 0;
  std::vector<int32_t> LatencyHistory;  // carried but never filled: the history lives in the thread
};

// The last probe results of a target, oldest first: a round-trip time in ms, or -1 for a loss.
class TLatencyHistory {
 public:
  static constexpr std::size_t Capacity = 300;

  void Append(int32_t value);
  void Clear() { count_ = 0; }
  std::size_t Size() const { return count_; }
  std::vector<int32_t> ToVector() const;

 private:
  std::array<int32_t, Capacity> ring_{};
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

// The figures of a newly added target.
TPingStatistics NewTargetStatistics(const std::string& note, const std::string& dstaddr, bool isV6);

// One counted probe: answered with `roundTripMs` (0 or more), or lost when it is empty.
void ApplyProbeUpdate(TPingStatistics& stats, TLatencyHistory& history,
                      std::optional<int32_t> roundTripMs);

// Back to the initial figures; the texts and the address family stay.
void ResetFigures(TPingStatistics& stats, TLatencyHistory& history);
