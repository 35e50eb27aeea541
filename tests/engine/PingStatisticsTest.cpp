#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "PingStatistics.h"

namespace {

constexpr std::optional<int32_t> kLost = std::nullopt;

struct ProbeSequenceCase {
  const char* name;
  std::vector<std::optional<int32_t>> probes;
  int32_t sent, lost, min, max, last;
  int64_t total;
  std::vector<int32_t> history;
};

class ProbeSequence : public ::testing::TestWithParam<ProbeSequenceCase> {};

TEST_P(ProbeSequence, GivesFiguresAndHistory) {
  const ProbeSequenceCase& c = GetParam();
  TPingStatistics stats = NewTargetStatistics("note", "192.0.2.1", false);
  TLatencyHistory history;
  for (const auto& probe : c.probes) ApplyProbeUpdate(stats, history, probe);
  EXPECT_EQ(stats.Sent, c.sent);
  EXPECT_EQ(stats.Lost, c.lost);
  EXPECT_EQ(stats.MinLatency, c.min);
  EXPECT_EQ(stats.MaxLatency, c.max);
  EXPECT_EQ(stats.LastLatency, c.last);
  EXPECT_EQ(stats.TotalLatency, c.total);
  EXPECT_EQ(history.ToVector(), c.history);
  EXPECT_TRUE(stats.LatencyHistory.empty()) << "the record's own history is never filled";
  EXPECT_EQ(stats.note, "note");
  EXPECT_EQ(stats.dstaddr, "192.0.2.1");
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProbeSequence,
    ::testing::Values(
        ProbeSequenceCase{"NewTarget", {}, 0, 0, -1, -1, -1, 0, {}},
        ProbeSequenceCase{"FirstAnswer", {23}, 1, 0, 23, 23, 23, 23, {23}},
        ProbeSequenceCase{"ZeroMillisecondsCountsAsAnswered", {0}, 1, 0, 0, 0, 0, 0, {0}},
        ProbeSequenceCase{"LostAfterAnswered", {20, 30, kLost}, 3, 1, 20, 30, -1, 50, {20, 30, -1}},
        ProbeSequenceCase{"OnlyLost", {kLost, kLost}, 2, 2, -1, -1, -1, 0, {-1, -1}},
        ProbeSequenceCase{
            "AnswerAfterLossSetsMinAndMax", {kLost, 7, 5}, 3, 1, 5, 7, 5, 12, {-1, 7, 5}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LatencyHistory, KeepsTheLast300Entries) {
  TPingStatistics stats = NewTargetStatistics("", "::1", true);
  TLatencyHistory history;
  for (int i = 0; i < 300; ++i) ApplyProbeUpdate(stats, history, i);
  ASSERT_EQ(history.Size(), 300u);
  EXPECT_EQ(history.ToVector().front(), 0);
  ApplyProbeUpdate(stats, history, kLost);  // the 301st drops the oldest
  const std::vector<int32_t> entries = history.ToVector();
  ASSERT_EQ(entries.size(), 300u);
  EXPECT_EQ(entries.front(), 1);
  EXPECT_EQ(entries[298], 299);
  EXPECT_EQ(entries.back(), -1);
  for (int i = 0; i < 1000; ++i) ApplyProbeUpdate(stats, history, 5);
  EXPECT_EQ(history.ToVector(), std::vector<int32_t>(300, 5)) << "the ring stays in order";
}

TEST(PingStatisticsReset, RestoresInitialFiguresAndKeepsTexts) {
  TPingStatistics stats = NewTargetStatistics("gateway", "2001:db8::1", true);
  TLatencyHistory history;
  for (auto probe : {std::optional<int32_t>(12), kLost, std::optional<int32_t>(40)}) {
    ApplyProbeUpdate(stats, history, probe);
  }
  ResetFigures(stats, history);
  EXPECT_EQ(stats.Sent, 0);
  EXPECT_EQ(stats.Lost, 0);
  EXPECT_EQ(stats.MinLatency, -1);
  EXPECT_EQ(stats.MaxLatency, -1);
  EXPECT_EQ(stats.LastLatency, -1);
  EXPECT_EQ(stats.TotalLatency, 0);
  EXPECT_EQ(history.Size(), 0u);
  EXPECT_EQ(stats.note, "gateway");
  EXPECT_EQ(stats.dstaddr, "2001:db8::1");
  EXPECT_TRUE(stats.IsV6);
  ApplyProbeUpdate(stats, history, 9);
  EXPECT_EQ(history.ToVector(), std::vector<int32_t>{9});
  EXPECT_EQ(stats.MinLatency, 9);
}

TEST(PingStatisticsTotal, CountsPast32BitsWithoutWrapping) {
  TPingStatistics stats = NewTargetStatistics("", "192.0.2.1", false);
  TLatencyHistory history;
  stats.TotalLatency = 2147483647;
  stats.Sent = 10;
  stats.MinLatency = stats.MaxLatency = 1000;
  ApplyProbeUpdate(stats, history, 1000);
  EXPECT_EQ(stats.TotalLatency, int64_t{2147484647});
}

TEST(PingStatisticsDefault, IsTheAllZeroRecordForUnknownHosts) {
  const TPingStatistics stats;
  EXPECT_TRUE(stats.note.empty());
  EXPECT_TRUE(stats.dstaddr.empty());
  EXPECT_FALSE(stats.IsV6);
  EXPECT_EQ(stats.Sent, 0);
  EXPECT_EQ(stats.Lost, 0);
  EXPECT_EQ(stats.MinLatency, 0);
  EXPECT_EQ(stats.MaxLatency, 0);
  EXPECT_EQ(stats.TotalLatency, 0);
  EXPECT_EQ(stats.LastLatency, 0);
}

}  // namespace
