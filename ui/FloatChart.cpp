#include "FloatChart.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QPen>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace {

constexpr int kClientWidth = 482;
constexpr int kClientHeight = 319;
// From this many points on, each live append drops the oldest one.
constexpr qsizetype kTrimFrom = 100;

// The closing step of a chart change: draw the result at once, also when a step failed.
class TRepaintOnExit {
 public:
  explicit TRepaintOnExit(QWidget& widget) : widget_(widget) {}
  ~TRepaintOnExit() { widget_.repaint(); }
  TRepaintOnExit(const TRepaintOnExit&) = delete;
  TRepaintOnExit& operator=(const TRepaintOnExit&) = delete;

 private:
  QWidget& widget_;
};

}  // namespace

TFormFloatChart::TFormFloatChart(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput),
      Chart1(new QChart),
      // Given at construction, so that the view makes no default chart of its own.
      chartView_(new QChartView(Chart1, this)),
      leftAxis_(new QValueAxis),
      bottomAxis_(new QValueAxis) {
  // Showing the chart must not take the focus from the main window's edit boxes, and the pointer
  // must reach the list beneath it.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle(QStringLiteral("FormFloatChart"));
  QFont font(QStringLiteral("Segoe UI"));
  font.setPixelSize(12);
  setFont(font);
  setGeometry(0, 0, kClientWidth, kClientHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(chartView_);
  chartView_->setFocusPolicy(Qt::NoFocus);
  chartView_->setFrameShape(QFrame::NoFrame);
  chartView_->setRenderHint(QPainter::Antialiasing);

  Chart1->setTitle(QStringLiteral("TChart"));
  Chart1->setTitleFont(font);
  Chart1->legend()->setFont(font);
  Chart1->legend()->setAlignment(Qt::AlignBottom);
  Chart1->setBackgroundRoundness(0);
  Chart1->layout()->setContentsMargins(0, 0, 0, 0);
  Chart1->setMargins(QMargins(4, 4, 12, 0));
  for (QValueAxis* axis : {leftAxis_, bottomAxis_}) {
    axis->setLabelsFont(font);
    Chart1->addAxis(axis, axis == leftAxis_ ? Qt::AlignLeft : Qt::AlignBottom);
  }
  leftAxis_->setLabelFormat(QStringLiteral("%g"));
  bottomAxis_->setLabelFormat(QStringLiteral("%d"));

  FormCreate();
  hide();
}

void TFormFloatChart::FormCreate() {
  series_ = new QLineSeries(Chart1);
  series_->setName(QStringLiteral("延迟值"));
  // Colour and width go in before the series joins the chart, so that the theme keeps them.
  QPen pen(QColor(0, 0, 255));
  pen.setWidth(2);
  series_->setPen(pen);
  Chart1->addSeries(series_);
  series_->attachAxis(bottomAxis_);
  series_->attachAxis(leftAxis_);
}

void TFormFloatChart::BindData(const QString& HostName, std::vector<int32_t> History) {
  TRepaintOnExit repaint(*chartView_->viewport());
  Chart1->setTitle(HostName + QStringLiteral(" 网络状态"));
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(History.size()));
  for (std::size_t i = 0; i < History.size(); ++i) {
    points.append(QPointF(static_cast<double>(i), History[i]));
  }
  // One replacement redraws the line once instead of once per point.
  series_->replace(points);
  if (bottomAxisAutomatic_) FollowPointsOnBottomAxis();
}

void TFormFloatChart::AppendChartPoint(int32_t LastLatency, const std::vector<int32_t>& History) {
  TRepaintOnExit repaint(*chartView_->viewport());
  QList<QPointF> points = series_->points();
  if (points.size() >= kTrimFrom) points.removeFirst();
  const double CurrentX = points.isEmpty() ? 0.0 : points.last().x() + 1;
  points.append(QPointF(CurrentX, LastLatency));
  // Trim and append as one replacement, so the line is rebuilt once per probe.
  series_->replace(points);
  ScaleLeftAxis(History);
  bottomAxisAutomatic_ = false;
  bottomAxis_->setRange(std::max(CurrentX - 301, 0.0), std::max(CurrentX + 1, 30.0));
}

void TFormFloatChart::ScaleLeftAxis(const std::vector<int32_t>& History) {
  if (History.empty()) return;
  const int32_t largest = *std::max_element(History.begin(), History.end());
  if (largest == -1) {
    leftAxis_->setMin(-2);
    leftAxis_->setMax(1);
  } else {
    leftAxis_->setMin(0);
    leftAxis_->setMax(largest * 1.2);
  }
}

void TFormFloatChart::ClearSeries() {
  TRepaintOnExit repaint(*chartView_->viewport());
  series_->clear();
}

int TFormFloatChart::SeriesCount() const {
  return static_cast<int>(Chart1->series().size());
}

int TFormFloatChart::PointCount() const {
  return static_cast<int>(series_->count());
}

QPointF TFormFloatChart::Point(int index) const {
  return series_->at(index);
}

QString TFormFloatChart::TitleText() const {
  return Chart1->title();
}

const QLineSeries& TFormFloatChart::Series() const {
  return *series_;
}

TAxisRange TFormFloatChart::LeftAxisRange() const {
  return {leftAxis_->min(), leftAxis_->max()};
}

TAxisRange TFormFloatChart::BottomAxisRange() const {
  return {bottomAxis_->min(), bottomAxis_->max()};
}

// What an automatic axis does: span the points (x rises along the series), at least one unit.
void TFormFloatChart::FollowPointsOnBottomAxis() {
  if (series_->count() == 0) return;
  const double first = series_->at(0).x();
  const double last = series_->at(series_->count() - 1).x();
  bottomAxis_->setRange(first, std::max(last, first + 1));
}
