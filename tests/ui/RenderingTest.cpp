// How a status update is written into its rows, and when it reaches the chart.

#include <gtest/gtest.h>

#include <QCheckBox>

#include "PrivateNetwork.h"
#include "StatisticsList.h"
#include "WindowTestSupport.h"

namespace {

struct Figures {
  int32_t sent, lost, min, max;
  int64_t total;
  int32_t last;
};

TPingStatistics Stats(const Figures& f, bool v6 = false) {
  TPingStatistics s;
  s.note = "memo";
  s.dstaddr = v6 ? "2001:db8:18::2" : "198.18.0.2";
  s.IsV6 = v6;
  s.Sent = f.sent;
  s.Lost = f.lost;
  s.MinLatency = f.min;
  s.MaxLatency = f.max;
  s.TotalLatency = f.total;
  s.LastLatency = f.last;
  return s;
}

struct RenderCase {
  const char* name;
  Figures figures;
  int image;
  QStringList cells;  // sub-items 2 to 9: latest, average, loss, sent, received, lost, min, max
};

class Rendering : public ::testing::TestWithParam<RenderCase> {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    window.WriteConfig(R"([{"memo": "memo", "hostname": "198.18.0.2", "frequency": 60000}])");
  }
  WindowFixture window;
};

TEST_P(Rendering, WritesTheRowsCells) {
  const RenderCase& c = GetParam();
  TForm1& form = window.Open();  // events are not processed: the worker's own updates wait
  ASSERT_EQ(window.RowCount(), 1);

  form.StatusUpdate("198.18.0.2", "memo", Stats(c.figures));
  const TListItem& row = form.lvStatistics->Items().Item(0);
  EXPECT_EQ(row.ImageIndex, c.image);
  EXPECT_EQ(row.SubItems[1], "198.18.0.2");
  EXPECT_EQ(row.SubItemImages[1], 10) << "IPv4 badge";
  EXPECT_EQ(row.SubItemImages[10], 3);
  EXPECT_EQ(row.SubItems.mid(2, 8), c.cells);
  EXPECT_EQ(row.Caption, "memo");
  EXPECT_EQ(row.SubItems[0], "198.18.0.2");
}

INSTANTIATE_TEST_SUITE_P(
    Records, Rendering,
    ::testing::Values(RenderCase{"FirstAnswer",
                                 {1, 0, 23, 23, 23, 23},
                                 1,
                                 {"23 ms", "23 ms", "0%", "1", "1", "0", "23 ms", "23 ms"}},
                      RenderCase{"FirstLoss",
                                 {1, 1, -1, -1, 0, -1},
                                 2,
                                 {"-1 ms", "N/A", "100%", "1", "0", "1", "N/A", "N/A"}},
                      RenderCase{"LossAfterAnswers",
                                 {3, 1, 20, 30, 50, -1},
                                 2,
                                 {"-1 ms", "25 ms", "33%", "3", "2", "1", "20 ms", "30 ms"}},
                      RenderCase{"AverageTruncatesTenOverThree",
                                 {3, 0, 3, 4, 10, 3},
                                 1,
                                 {"3 ms", "3 ms", "0%", "3", "3", "0", "3 ms", "4 ms"}},
                      RenderCase{"AverageTruncatesElevenOverTwo",
                                 {2, 0, 5, 6, 11, 6},
                                 1,
                                 {"6 ms", "5 ms", "0%", "2", "2", "0", "5 ms", "6 ms"}},
                      RenderCase{"LossOneOfEightHalvesDown",
                                 {8, 1, 1, 1, 7, 1},
                                 1,
                                 {"1 ms", "1 ms", "12%", "8", "7", "1", "1 ms", "1 ms"}},
                      RenderCase{"LossThreeOfEightHalvesUp",
                                 {8, 3, 1, 1, 5, 1},
                                 1,
                                 {"1 ms", "1 ms", "38%", "8", "5", "3", "1 ms", "1 ms"}},
                      RenderCase{"LossFiveOfEightHalvesDown",
                                 {8, 5, 1, 1, 3, 1},
                                 1,
                                 {"1 ms", "1 ms", "62%", "8", "3", "5", "1 ms", "1 ms"}},
                      RenderCase{"LossSevenOfEightHalvesUp",
                                 {8, 7, 1, 1, 1, 1},
                                 1,
                                 {"1 ms", "1 ms", "88%", "8", "1", "7", "1 ms", "1 ms"}},
                      RenderCase{"LossOneOfThree",
                                 {3, 1, 1, 1, 2, 1},
                                 1,
                                 {"1 ms", "1 ms", "33%", "3", "2", "1", "1 ms", "1 ms"}},
                      RenderCase{"LossTwoOfThree",
                                 {3, 2, 1, 1, 1, 1},
                                 1,
                                 {"1 ms", "1 ms", "67%", "3", "1", "2", "1 ms", "1 ms"}},
                      RenderCase{"NothingSentYet",
                                 {0, 0, -1, -1, 0, -1},
                                 2,
                                 {"-1 ms", "N/A", "0%", "0", "0", "0", "N/A", "N/A"}}),
    [](const auto& info) { return std::string(info.param.name); });

class RowLookup : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  WindowFixture window;
};

// Rows are found by their target, so two targets with one memo each keep their own row.
TEST_F(RowLookup, TwoTargetsWithOneMemoKeepSeparateRows) {
  window.WriteConfig(R"([
    {"memo": "same", "hostname": "198.18.0.2", "frequency": 60000},
    {"memo": "same", "hostname": "2001:db8:18::3", "frequency": 60000}])");
  TForm1& form = window.Open();
  ASSERT_EQ(window.RowCount(), 2);
  form.StatusUpdate("2001:db8:18::3", "same", Stats({1, 0, 7, 7, 7, 7}, true));
  EXPECT_EQ(window.RowTexts(0)[3], "0") << "the other target's row is untouched";
  EXPECT_EQ(window.RowTexts(1)[3], "7 ms");
  EXPECT_EQ(form.lvStatistics->Items().Item(1).SubItemImages[1], 9) << "IPv6 badge";
  form.StatusUpdate("198.18.0.2", "same", Stats({1, 1, -1, -1, 0, -1}));
  EXPECT_EQ(window.RowTexts(0)[3], "-1 ms");
  EXPECT_EQ(window.RowTexts(1)[3], "7 ms");
}

// Two saved entries whose hosts match share one target; both rows show it.
TEST_F(RowLookup, RowsOfMatchingHostsBothShowTheTarget) {
  window.WriteConfig(R"([
    {"memo": "lower", "hostname": "localhost", "frequency": 60000},
    {"memo": "upper", "hostname": "LOCALHOST", "frequency": 60000}])");
  TForm1& form = window.Open();
  ASSERT_EQ(window.RowCount(), 2);
  form.StatusUpdate("localhost", "lower", Stats({1, 0, 4, 4, 4, 4}));
  EXPECT_EQ(window.RowTexts(0)[3], "4 ms");
  EXPECT_EQ(window.RowTexts(1)[3], "4 ms");
}

TEST_F(RowLookup, ChartTakesThePointOnlyWhenTickedAndBoundToThatHostExactly) {
  window.WriteConfig(R"([{"memo": "m", "hostname": "localhost", "frequency": 60000}])");
  TForm1& form = window.Open();
  TFormFloatChart& chart = window.chart();
  const auto update = [&] { form.StatusUpdate("localhost", "m", Stats({1, 0, 9, 9, 9, 9})); };

  chart.host = "localhost";
  update();
  EXPECT_EQ(chart.PointCount(), 0) << "box not ticked";
  form.CheckFloatChart->setChecked(true);
  chart.host = "LOCALHOST";
  update();
  EXPECT_EQ(chart.PointCount(), 0) << "bound to a host that differs in letter case";
  chart.host = "localhost";
  update();
  update();
  ASSERT_EQ(chart.PointCount(), 2);
  EXPECT_EQ(chart.Point(1), QPointF(1, 9));
  EXPECT_EQ(window.RowTexts(0)[3], "9 ms") << "the row is written in every case";
}

}  // namespace
