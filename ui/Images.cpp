#include "Images.h"

#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr int kSize = 24;

const QColor kGreen(46, 160, 67);
const QColor kDarkGreen(27, 110, 42);
const QColor kRed(218, 40, 40);
const QColor kDarkRed(150, 20, 20);
const QColor kGrey(150, 150, 150);
const QColor kDarkGrey(100, 100, 100);
const QColor kInk(70, 80, 95);

QPen Stroke(const QColor& colour, double width) {
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawGreyCircle(QPainter& p) {
  p.setPen(Stroke(kDarkGrey, 1.5));
  p.setBrush(kGrey);
  p.drawEllipse(QPointF(12, 12), 8, 8);
}

void DrawCheckMark(QPainter& p) {
  const QPolygonF tick{{4.5, 12.5}, {9.5, 17.5}, {19.5, 6.5}};
  p.setPen(Stroke(kDarkGreen, 5));
  p.drawPolyline(tick);
  p.setPen(Stroke(kGreen, 3));
  p.drawPolyline(tick);
}

void DrawNoEntry(QPainter& p) {
  p.setPen(Stroke(kDarkRed, 1));
  p.setBrush(kRed);
  p.drawEllipse(QPointF(12, 12), 10, 10);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(6, 10, 12, 4), 1, 1);
}

void DrawCross(QPainter& p) {
  for (const auto& [pen, width] : {std::pair{kDarkRed, 5.5}, std::pair{kRed, 3.5}}) {
    p.setPen(Stroke(pen, width));
    p.drawLine(QPointF(6, 6), QPointF(18, 18));
    p.drawLine(QPointF(18, 6), QPointF(6, 18));
  }
}

// A block arrow pointing down; the up arrow is the same picture turned over.
void DrawArrow(QPainter& p, bool up) {
  if (up) {
    p.translate(0, kSize);
    p.scale(1, -1);
  }
  const QPolygonF arrow{{9, 3}, {15, 3}, {15, 11.5}, {20, 11.5}, {12, 21}, {4, 11.5}, {9, 11.5}};
  p.setPen(Stroke(kDarkGreen, 1.2));
  p.setBrush(kGreen);
  p.drawPolygon(arrow);
}

void DrawPencil(QPainter& p) {
  // Drawn lying along x, then turned so that the point is at the bottom left.
  p.translate(12, 12);
  p.rotate(-45);
  const QPen outline = Stroke(QColor(90, 60, 30), 1);
  p.setPen(outline);
  p.setBrush(QColor(244, 180, 0));
  p.drawRect(QRectF(-6, -3, 12, 6));
  p.setBrush(QColor(180, 180, 185));
  p.drawRect(QRectF(6, -3, 2, 6));
  p.setBrush(QColor(232, 120, 130));
  p.drawRoundedRect(QRectF(8, -3, 3, 6), 1, 1);
  p.setBrush(QColor(240, 210, 165));
  p.drawPolygon(QPolygonF{{-6, -3}, {-11.5, 0}, {-6, 3}});
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(50, 50, 50));
  p.drawPolygon(QPolygonF{{-9.5, -1.1}, {-11.5, 0}, {-9.5, 1.1}});
}

void DrawCopy(QPainter& p) {
  p.setPen(Stroke(kInk, 1.2));
  p.setBrush(QColor(205, 215, 228));
  p.drawRoundedRect(QRectF(3.5, 2.5, 11, 14), 1.5, 1.5);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(9.5, 7.5, 11, 14), 1.5, 1.5);
  p.setPen(Stroke(kInk, 1));
  for (double y : {11.5, 14.5, 17.5}) p.drawLine(QPointF(12, y), QPointF(18, y));
}

// Two arcs chasing each other clockwise, each ending in an arrow head.
void DrawRefresh(QPainter& p) {
  const QPointF centre(12, 12);
  const double radius = 7.5;
  const double span = 130;
  p.setBrush(kGreen);
  for (double start : {200.0, 20.0}) {
    // Qt's angles run anticlockwise; the arc is drawn from its head back to its tail.
    const double head = start - span;
    p.setPen(Stroke(kGreen, 2.6));
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
              static_cast<int>(head * 16), static_cast<int>(span * 16));
    const double a = head * std::numbers::pi / 180;
    const QPointF tip(centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a));
    const QPointF along(std::sin(a), std::cos(a));     // clockwise direction of travel
    const QPointF outward(std::cos(a), -std::sin(a));  // away from the centre
    p.setPen(Stroke(kGreen, 1));
    p.drawPolygon(QPolygonF{tip + along * 3.5, tip + outward * 3.8 - along * 0.8,
                            tip - outward * 3.8 - along * 0.8});
  }
}

// A rounded tag with the protocol's digit on it.
void DrawBadge(QPainter& p, const QColor& body, const QColor& edge, const QString& digit) {
  const QRectF tag(2.5, 4.5, 19, 15);
  p.setPen(Stroke(edge, 1.6));
  p.setBrush(body);
  p.drawRoundedRect(tag, 4, 4);
  QFont font;
  font.setPixelSize(13);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(tag, Qt::AlignCenter, digit);
}

// The painters by image index.
const std::array<void (*)(QPainter&), kImageCount> kPainters = {
    DrawGreyCircle,
    DrawCheckMark,
    DrawNoEntry,
    DrawCross,
    [](QPainter& p) { DrawArrow(p, false); },
    DrawPencil,
    DrawCopy,
    DrawRefresh,
    [](QPainter& p) { DrawArrow(p, true); },
    [](QPainter& p) { DrawBadge(p, kGreen, kDarkGreen, QStringLiteral("6")); },
    [](QPainter& p) { DrawBadge(p, kGrey, kRed, QStringLiteral("4")); },
};

QImage DrawImage(int index) {
  QImage image(kSize, kSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  kPainters[index](p);
  return image;
}

struct TImageCache {
  std::array<QPixmap, kImageCount> pixmaps;
  std::array<QIcon, kImageCount> icons;
};

std::unique_ptr<TImageCache>& CacheSlot() {
  static std::unique_ptr<TImageCache> cache;
  return cache;
}

// Built on first use (pixmaps need the application object) and dropped with the application,
// so that no pixmap outlives the window system.
const TImageCache& Cache() {
  std::unique_ptr<TImageCache>& cache = CacheSlot();
  if (!cache) {
    cache = std::make_unique<TImageCache>();
    for (int i = 0; i < kImageCount; ++i) {
      cache->pixmaps[i] = QPixmap::fromImage(DrawImage(i));
      cache->icons[i] = QIcon(cache->pixmaps[i]);
    }
    qAddPostRoutine([] { CacheSlot().reset(); });
  }
  return *cache;
}

}  // namespace

QPixmap ListImage(int index) {
  if (index < 0 || index >= kImageCount) return QPixmap();
  return Cache().pixmaps[index];
}

const QIcon& ListIcon(int index) {
  static const QIcon kNone;
  if (index < 0 || index >= kImageCount) return kNone;
  return Cache().icons[index];
}
