#pragma once

#include <QPointF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

// A value axis range as the chart holds it.
struct TAxisRange {
  double Min;
  double Max;
};

// The floating latency chart: one line series of a target's latency history, x the running
// probe number, y the round-trip time in ms (-1 for a lost probe). A frameless, always-on-top
// tool window owned by the main window; it never takes the focus and lets the mouse through,
// so that hovering over the list beneath it is not disturbed. UI thread only.
class TFormFloatChart : public QWidget {
  Q_OBJECT

 public:
  explicit TFormFloatChart(QWidget* owner);

  // The target key the chart is bound to; empty for none. Written only by the hover tracking.
  QString host;

  // Replaces the points by a whole history (x = 0 .. n-1) and titles the chart after HostName.
  // Leaves both axes alone, except that a still automatic bottom axis follows the new points.
  void BindData(const QString& HostName, std::vector<int32_t> History);
  // Adds the latest probe result of the bound target after the last point, trimming the oldest
  // point from 100 points on. History is a copy of the target's whole history (empty when the
  // target is unknown or has none); the left axis is scaled from it when it is not empty.
  void AppendChartPoint(int32_t LastLatency, const std::vector<int32_t>& History);
  // The vertical range from a whole history: -2 .. 1 when every probe was lost, else 0 .. 1.2 x
  // the largest entry. Does nothing for an empty history.
  void ScaleLeftAxis(const std::vector<int32_t>& History);
  // Removes every point; title, axes and host stay.
  void ClearSeries();
  int SeriesCount() const;

  int PointCount() const;
  QPointF Point(int index) const;
  QString TitleText() const;
  const QLineSeries& Series() const;
  TAxisRange LeftAxisRange() const;
  TAxisRange BottomAxisRange() const;
  // Whether the bottom axis still follows the points (true until the first AppendChartPoint).
  bool BottomAxisAutomatic() const { return bottomAxisAutomatic_; }

 private:
  void FormCreate();
  void FollowPointsOnBottomAxis();

  QChart* Chart1;  // owned by the view
  QChartView* chartView_;
  QLineSeries* series_ = nullptr;
  QValueAxis* leftAxis_;
  QValueAxis* bottomAxis_;
  bool bottomAxisAutomatic_ = true;
};
