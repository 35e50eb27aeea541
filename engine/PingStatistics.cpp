#include "PingStatistics.h"

#include <algorithm>

void TLatencyHistory::Append(int32_t value) {
  if (count_ < Capacity) {
    ring_[(first_ + count_) % Capacity] = value;
    ++count_;
  } else {
    ring_[first_] = value;  // overwrites the oldest entry
    first_ = (first_ + 1) % Capacity;
  }
}

std::vector<int32_t> TLatencyHistory::ToVector() const {
  std::vector<int32_t> out;
  out.reserve(count_);
  for (std::size_t i = 0; i < count_; ++i) out.push_back(ring_[(first_ + i) % Capacity]);
  return out;
}

TPingStatistics NewTargetStatistics(const std::string& note, const std::string& dstaddr,
                                    bool isV6) {
  TPingStatistics stats;
  stats.note = note;
  stats.dstaddr = dstaddr;
  stats.IsV6 = isV6;
  stats.MinLatency = -1;
  stats.MaxLatency = -1;
  stats.LastLatency = -1;
  return stats;
}

namespace {
// The counters wrap like the 32-bit integers they are instead of overflowing into undefined
// behaviour; at one probe a second that takes 68 years.
int32_t Incremented(int32_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + 1u);
}
}  // namespace

void ApplyProbeUpdate(TPingStatistics& stats, TLatencyHistory& history,
                      std::optional<int32_t> roundTripMs) {
  stats.Sent = Incremented(stats.Sent);
  stats.LastLatency = -1;
  if (!roundTripMs) {
    stats.Lost = Incremented(stats.Lost);
    history.Append(-1);
    return;
  }
  const int32_t x = *roundTripMs;
  stats.LastLatency = x;
  if (stats.MinLatency == -1) {
    stats.MinLatency = x;
    stats.MaxLatency = x;
  } else {
    stats.MinLatency = std::min(stats.MinLatency, x);
    stats.MaxLatency = std::max(stats.MaxLatency, x);
  }
  stats.TotalLatency += x;
  history.Append(x);
}

void ResetFigures(TPingStatistics& stats, TLatencyHistory& history) {
  stats.Sent = 0;
  stats.Lost = 0;
  stats.MinLatency = -1;
  stats.MaxLatency = -1;
  stats.TotalLatency = 0;
  stats.LastLatency = -1;
  history.Clear();
}
