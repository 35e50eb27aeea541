// The chart window follows the pointer over the list while the box is ticked.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include "ICMPMonitor.h"
#include "PrivateNetwork.h"
#include "StatisticsList.h"
#include "WindowTestSupport.h"

namespace {

using namespace std::chrono_literals;

// Row 0 answers quickly and soon has a history, rows 1 and 2 share one target, and row 3's
// counts are reset after its first probe: no history until its next probe, a minute later.
const char* const kTargets = R"([
  {"memo": "fast", "hostname": "127.0.0.1", "frequency": 100, "groupname": "A"},
  {"memo": "lower", "hostname": "localhost", "frequency": 60000, "groupname": "B"},
  {"memo": "upper", "hostname": "LOCALHOST", "frequency": 60000, "groupname": "B"},
  {"memo": "quiet", "hostname": "::1", "frequency": 60000, "groupname": "C"}])";
constexpr int kNoHistory = 3;

class Hover : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    SetPingGroupRange(true);
    window.WriteConfig(kTargets);
    form_ = &window.Open();
    form_->show();
    QApplication::setActiveWindow(form_);
    TICMPMonitor& monitor = form_->Monitor();
    ASSERT_TRUE(WindowFixture::ProcessEventsUntil([&] {
      return monitor.FindThread("127.0.0.1")->LatencyHistory().size() >= 2 &&
             monitor.GetStatistics("::1").Sent >= 1;
    }));
    monitor.ResetStatistics("::1");
    form_->CheckFloatChart->setChecked(true);
  }
  QPoint Cell(int item, int column = 2) const {
    return form_->lvStatistics->visualRect(form_->lvStatistics->Items().IndexOfItem(item, column))
        .center();
  }
  QPoint Empty() const { return QPoint(20, form_->lvStatistics->viewport()->height() - 5); }
  QPoint Screen(QPoint p) const { return form_->lvStatistics->viewport()->mapToGlobal(p); }
  void Move(QPoint p) { form_->lvStatisticsMouseMove(p.x(), p.y()); }

  WindowFixture window;
  TForm1* form_ = nullptr;
};

TEST_F(Hover, UntickedBoxLeavesTheChartAlone) {
  form_->CheckFloatChart->setChecked(false);
  TFormFloatChart& chart = window.chart();
  Move(Cell(0));
  EXPECT_FALSE(chart.isVisible());
  EXPECT_TRUE(chart.host.isEmpty());

  chart.host = "elsewhere";
  chart.move(10, 10);
  chart.show();
  Move(Cell(0));
  Move(Empty());
  form_->lvStatisticsMouseLeave();
  EXPECT_TRUE(chart.isVisible());
  EXPECT_EQ(chart.pos(), QPoint(10, 10));
  EXPECT_EQ(chart.host, "elsewhere");
}

TEST_F(Hover, RowWithHistoryShowsItsChartBesideThePointer) {
  TFormFloatChart& chart = window.chart();
  Move(Cell(0));
  ASSERT_TRUE(chart.isVisible());
  EXPECT_EQ(chart.host, "127.0.0.1");
  EXPECT_EQ(chart.TitleText(), "127.0.0.1 网络状态");
  EXPECT_GE(chart.PointCount(), 2);
  EXPECT_EQ(chart.pos(), Screen(Cell(0)) + QPoint(15, 15));
  EXPECT_EQ(QApplication::activeWindow(), form_) << "the main window stays active";
}

struct PlacementCase {
  const char* name;
  int rightRoom, bottomRoom;  // from the pointer to the work area's right and bottom edges
  QPoint offset;              // of the chart's corner from the pointer
};

class Placement : public Hover, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(Placement, FlipsAtTheWorkAreasEdges) {
  const PlacementCase& c = GetParam();
  const QPoint pointer = Screen(Cell(0));
  window.desktop.workArea = QRect(0, 0, pointer.x() + c.rightRoom, pointer.y() + c.bottomRoom);
  Move(Cell(0));
  ASSERT_TRUE(window.chart().isVisible());
  EXPECT_EQ(window.chart().pos(), pointer + c.offset);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Placement,
    ::testing::Values(PlacementCase{"PlentyOfRoom", 5000, 5000, {15, 15}},
                      PlacementCase{"NearTheRightEdge", 100, 5000, {-482 - 5, 15}},
                      PlacementCase{"ExactFitOnTheRight", 15 + 482, 5000, {15, 15}},
                      PlacementCase{"OnePixelShortOnTheRight", 15 + 481, 5000, {-482 - 5, 15}},
                      PlacementCase{"NearTheBottomEdge", 5000, 100, {15, -319 - 5}},
                      PlacementCase{"ExactFitAtTheBottom", 5000, 15 + 319, {15, 15}},
                      PlacementCase{"NearTheBottomRightCorner", 100, 100, {-482 - 5, -319 - 5}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Hover, MovesWithinARowFollowThePointerWithoutReloading) {
  TFormFloatChart& chart = window.chart();
  Move(Cell(0, 2));
  ASSERT_TRUE(chart.isVisible());
  chart.ClearSeries();  // a reload would fill it again
  Move(Cell(0, 5));
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_EQ(chart.pos(), Screen(Cell(0, 5)) + QPoint(15, 15));
}

TEST_F(Hover, EmptyAreaHidesAndUnbindsAndTheRowBindsAgain) {
  TFormFloatChart& chart = window.chart();
  Move(Cell(0));
  Move(Empty());
  EXPECT_FALSE(chart.isVisible());
  EXPECT_TRUE(chart.host.isEmpty());
  Move(Cell(0));
  EXPECT_TRUE(chart.isVisible());
  EXPECT_EQ(chart.host, "127.0.0.1");

  form_->lvStatisticsMouseLeave();
  EXPECT_FALSE(chart.isVisible());
  EXPECT_TRUE(chart.host.isEmpty());
}

TEST_F(Hover, RowWithoutHistoryClearsTheSeriesAndShowsNothingNew) {
  TFormFloatChart& chart = window.chart();
  Move(Cell(kNoHistory));  // hidden before: stays hidden
  EXPECT_FALSE(chart.isVisible());
  EXPECT_EQ(chart.host, "::1");

  Move(Cell(0));
  ASSERT_TRUE(chart.isVisible());
  const QPoint shownAt = chart.pos();
  Move(Cell(kNoHistory));  // visible for another target: stays, with the old title
  EXPECT_TRUE(chart.isVisible());
  EXPECT_EQ(chart.PointCount(), 0);
  EXPECT_EQ(chart.TitleText(), "127.0.0.1 网络状态");
  EXPECT_EQ(chart.pos(), shownAt);
  Move(Cell(kNoHistory, 6));
  EXPECT_EQ(chart.pos(), Screen(Cell(kNoHistory, 6)) + QPoint(15, 15))
      << "it follows from the next move";

  TPingStatistics lost;
  lost.Sent = lost.Lost = 1;
  lost.LastLatency = lost.MinLatency = lost.MaxLatency = -1;
  form_->StatusUpdate("::1", "quiet", lost);
  ASSERT_EQ(chart.PointCount(), 1);
  EXPECT_EQ(chart.Point(0), QPointF(0, -1)) << "the new target's points start at x 0";
}

TEST_F(Hover, RowWhoseWorkerIsGoneHidesTheChart) {
  TFormFloatChart& chart = window.chart();
  const QPoint lowerDeleteCell = Cell(1, 11);
  form_->lvStatisticsMouseDown(Qt::LeftButton, lowerDeleteCell.x(), lowerDeleteCell.y());
  ASSERT_EQ(form_->Monitor().FindThread("LOCALHOST"), nullptr) << "the shared worker went with it";
  WindowFixture::ProcessEventsFor(20ms);  // the view lays the rows out again
  const QPoint orphan = Cell(1);         // "upper" moved up into row 1
  Move(Cell(0));
  ASSERT_TRUE(chart.isVisible());
  Move(orphan);
  EXPECT_FALSE(chart.isVisible());
  EXPECT_EQ(chart.host, "LOCALHOST");
  Move(orphan + QPoint(3, 0));
  EXPECT_FALSE(chart.isVisible()) << "further moves within the row do nothing";
  EXPECT_EQ(chart.host, "LOCALHOST");
}

}  // namespace
