#include <gtest/gtest.h>

#include <QApplication>
#include <QLineSeries>
#include <cstdint>
#include <vector>

#include "FloatChart.h"

namespace {

// A history of n answered probes of 10 ms and more, none as large as 250.
std::vector<int32_t> Ramp(int n) {
  std::vector<int32_t> history;
  for (int i = 0; i < n; ++i) history.push_back(10 + i % 7);
  return history;
}

class FloatChartTest : public testing::Test {
 protected:
  // Appends until the newest point has x == lastX, starting from an empty series.
  void AppendUpTo(int lastX, const std::vector<int32_t>& history = {}) {
    chart.ClearSeries();
    for (int x = 0; x <= lastX; ++x) chart.AppendChartPoint(x % 50, history);
  }

  void ExpectXRisesByOne() const {
    for (int i = 1; i < chart.PointCount(); ++i) {
      ASSERT_EQ(chart.Point(i).x(), chart.Point(i - 1).x() + 1) << "at point " << i;
    }
  }

  TFormFloatChart chart{nullptr};
};

TEST_F(FloatChartTest, StartsHiddenUnboundWithOneEmptyBlueSeries) {
  EXPECT_TRUE(chart.isHidden());
  EXPECT_TRUE(chart.host.isEmpty());
  EXPECT_EQ(chart.TitleText(), "TChart");
  EXPECT_EQ(chart.windowTitle(), "FormFloatChart");
  EXPECT_EQ(chart.SeriesCount(), 1);
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_TRUE(chart.BottomAxisAutomatic());
  // The chart's theme must not have overridden the series' own look.
  EXPECT_EQ(chart.Series().name(), "延迟值");
  EXPECT_EQ(chart.Series().pen().color(), QColor(0, 0, 255));
  EXPECT_EQ(chart.Series().pen().width(), 2);
}

TEST_F(FloatChartTest, IsAFramelessTopmostToolWindowThatTakesNoFocusNorMouse) {
  const Qt::WindowFlags flags = chart.windowFlags();
  EXPECT_EQ(chart.windowType(), Qt::Tool);
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
  EXPECT_TRUE(chart.testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_TRUE(chart.testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(chart.size(), QSize(482, 319));
}

// Whether showing it leaves the main window active is up to the window system (the offscreen
// platform activates every window it shows), so only the ownership is checked here.
TEST(FloatChartOwnerTest, IsAWindowOfItsOwnOwnedByTheMainWindow) {
  QWidget owner;
  auto* chart = new TFormFloatChart(&owner);
  EXPECT_TRUE(chart->isWindow());
  EXPECT_EQ(chart->parentWidget(), &owner);
  EXPECT_TRUE(chart->isHidden());
}

TEST_F(FloatChartTest, BindDataOfNoEntriesEmptiesTheSeriesAndSetsTheTitle) {
  chart.BindData("a", Ramp(20));
  chart.BindData("www.example.com", {});
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_EQ(chart.TitleText(), "www.example.com 网络状态");
}

TEST_F(FloatChartTest, BindDataLoadsTheHistoryInOrderWithLostProbesAtMinusOne) {
  std::vector<int32_t> history = Ramp(300);
  history[0] = -1;
  history[150] = -1;
  history[299] = 0;
  chart.BindData("::1", history);
  ASSERT_EQ(chart.PointCount(), 300);
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(chart.Point(i), QPointF(i, history[i])) << "at point " << i;
  }
  EXPECT_EQ(chart.Point(150).y(), -1);
  EXPECT_EQ(chart.TitleText(), "::1 网络状态");
}

TEST_F(FloatChartTest, BottomAxisFollowsBoundDataUntilTheFirstAppend) {
  chart.BindData("a", Ramp(300));
  EXPECT_TRUE(chart.BottomAxisAutomatic());
  EXPECT_EQ(chart.BottomAxisRange().Min, 0);
  EXPECT_EQ(chart.BottomAxisRange().Max, 299);

  chart.AppendChartPoint(12, Ramp(300));
  EXPECT_FALSE(chart.BottomAxisAutomatic());
  const TAxisRange afterAppend = chart.BottomAxisRange();
  chart.BindData("b", Ramp(40));
  EXPECT_FALSE(chart.BottomAxisAutomatic());
  EXPECT_EQ(chart.BottomAxisRange().Min, afterAppend.Min);
  EXPECT_EQ(chart.BottomAxisRange().Max, afterAppend.Max);
}

TEST_F(FloatChartTest, BindDataLeavesTheLeftAxisAndHostAlone) {
  chart.host = "a";
  chart.ScaleLeftAxis({50});
  chart.BindData("b", {500, 600});
  EXPECT_EQ(chart.LeftAxisRange().Min, 0);
  EXPECT_DOUBLE_EQ(chart.LeftAxisRange().Max, 60);
  EXPECT_EQ(chart.host, "a");
}

struct TrimCase {
  int bound;           // points loaded by BindData before the append
  int countAfter;      // points after one append
  double firstXAfter;  // x of the oldest point after the append
};

class AppendTrimTest : public FloatChartTest, public testing::WithParamInterface<TrimCase> {};

TEST_P(AppendTrimTest, DeletesTheOldestPointFromOneHundredOnAndContinuesTheNumbering) {
  const TrimCase c = GetParam();
  chart.BindData("a", Ramp(c.bound));
  chart.AppendChartPoint(-1, Ramp(c.bound + 1));
  ASSERT_EQ(chart.PointCount(), c.countAfter);
  EXPECT_EQ(chart.Point(0).x(), c.firstXAfter);
  EXPECT_EQ(chart.Point(chart.PointCount() - 1), QPointF(c.bound, -1));
  ExpectXRisesByOne();
}

INSTANTIATE_TEST_SUITE_P(Counts, AppendTrimTest,
                         testing::Values(TrimCase{0, 1, 0}, TrimCase{99, 100, 0},
                                         TrimCase{100, 100, 1}, TrimCase{300, 300, 1}));

TEST_F(FloatChartTest, ManyAppendsKeepOneHundredConsecutivePoints) {
  chart.BindData("a", Ramp(100));
  for (int i = 0; i < 250; ++i) chart.AppendChartPoint(i, {});
  ASSERT_EQ(chart.PointCount(), 100);
  EXPECT_EQ(chart.Point(0).x(), 250);
  EXPECT_EQ(chart.Point(99), QPointF(349, 249));
  ExpectXRisesByOne();
}

struct BottomWindowCase {
  int currentX;
  double min;
  double max;
};

class BottomAxisWindowTest : public FloatChartTest,
                             public testing::WithParamInterface<BottomWindowCase> {};

TEST_P(BottomAxisWindowTest, ShowsTheLatestThreeHundredAndOneUnitsAndAtLeastThirty) {
  const BottomWindowCase c = GetParam();
  AppendUpTo(c.currentX);
  ASSERT_EQ(chart.Point(chart.PointCount() - 1).x(), c.currentX);
  EXPECT_FALSE(chart.BottomAxisAutomatic());
  EXPECT_EQ(chart.BottomAxisRange().Min, c.min);
  EXPECT_EQ(chart.BottomAxisRange().Max, c.max);
}

INSTANTIATE_TEST_SUITE_P(CurrentX, BottomAxisWindowTest,
                         testing::Values(BottomWindowCase{0, 0, 30}, BottomWindowCase{29, 0, 30},
                                         BottomWindowCase{30, 0, 31}, BottomWindowCase{300, 0, 301},
                                         BottomWindowCase{301, 0, 302},
                                         BottomWindowCase{302, 1, 303},
                                         BottomWindowCase{1000, 699, 1001}));

struct LeftAxisCase {
  const char* name;
  std::vector<int32_t> history;
  double min;
  double max;
};

class LeftAxisScalingTest : public FloatChartTest,
                            public testing::WithParamInterface<LeftAxisCase> {};

TEST_P(LeftAxisScalingTest, SpansTheWholeHistoryWhateverTheRangeBefore) {
  const LeftAxisCase& c = GetParam();
  // The range before must not matter: both bounds move, in either direction.
  for (const std::vector<int32_t>& before : {std::vector<int32_t>{-1}, {1000}, {0}}) {
    chart.ScaleLeftAxis(before);
    chart.AppendChartPoint(7, c.history);
    EXPECT_EQ(chart.LeftAxisRange().Min, c.min) << "after " << before[0];
    EXPECT_DOUBLE_EQ(chart.LeftAxisRange().Max, c.max) << "after " << before[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Histories, LeftAxisScalingTest,
                         testing::Values(LeftAxisCase{"AllLost", {-1, -1, -1}, -2, 1},
                                         LeftAxisCase{"LargestZero", {0, -1, 0}, 0, 0},
                                         LeftAxisCase{"Largest250", {12, 250, -1, 30}, 0, 300},
                                         LeftAxisCase{"Largest17", {17}, 0, 20.4}),
                         [](const testing::TestParamInfo<LeftAxisCase>& info) {
                           return info.param.name;
                         });

TEST_F(FloatChartTest, LeftAxisFollowsTheHistoryMaximumAfterItsPointHasLeftTheSeries) {
  // Bound before the first probe: series and history grow together, but from 100 points on the
  // series drops its oldest point while the history keeps 300.
  std::vector<int32_t> history;
  for (int probe = 0; probe < 150; ++probe) {
    const int32_t latency = probe == 20 ? 250 : 15;
    history.push_back(latency);
    chart.AppendChartPoint(latency, history);
  }
  ASSERT_EQ(chart.Point(0).x(), 50);
  EXPECT_EQ(chart.LeftAxisRange().Min, 0);
  EXPECT_DOUBLE_EQ(chart.LeftAxisRange().Max, 300);
}

TEST_F(FloatChartTest, AppendWithoutHistoryLeavesTheLeftAxisButStillAppendsAndSetsTheBottom) {
  chart.ScaleLeftAxis({100});
  chart.BindData("a", Ramp(50));
  chart.AppendChartPoint(400, {});
  EXPECT_EQ(chart.LeftAxisRange().Min, 0);
  EXPECT_DOUBLE_EQ(chart.LeftAxisRange().Max, 120);
  EXPECT_EQ(chart.Point(50), QPointF(50, 400));
  EXPECT_EQ(chart.BottomAxisRange().Min, 0);
  EXPECT_EQ(chart.BottomAxisRange().Max, 51);
}

TEST_F(FloatChartTest, AfterClearSeriesTheNextAppendStartsAtZeroUnderTheOldTitle) {
  chart.host = "a";
  chart.BindData("a", Ramp(300));
  chart.AppendChartPoint(5, Ramp(300));
  const TAxisRange left = chart.LeftAxisRange();

  chart.ClearSeries();
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_EQ(chart.TitleText(), "a 网络状态");
  EXPECT_EQ(chart.host, "a");
  EXPECT_EQ(chart.LeftAxisRange().Max, left.Max);
  EXPECT_EQ(chart.BottomAxisRange().Max, 301);

  chart.AppendChartPoint(9, {9});
  ASSERT_EQ(chart.PointCount(), 1);
  EXPECT_EQ(chart.Point(0), QPointF(0, 9));
  EXPECT_EQ(chart.BottomAxisRange().Min, 0);
  EXPECT_EQ(chart.BottomAxisRange().Max, 30);
  EXPECT_EQ(chart.TitleText(), "a 网络状态");
}

TEST_F(FloatChartTest, ChangesWhileShownDrawWithoutTrouble) {
  chart.show();
  chart.ScaleLeftAxis({0});  // a range of 0 to 0
  chart.BindData("a", {0, -1, 0});
  chart.AppendChartPoint(0, {0, -1, 0, 0});
  QApplication::processEvents();
  EXPECT_FALSE(chart.grab().isNull());
  EXPECT_EQ(chart.PointCount(), 4);
}

}  // namespace
