#include "Formatting.h"

#include <cmath>

QString MsText(qint64 milliseconds) {
  return QString::number(milliseconds) + QStringLiteral(" ms");
}

QString LossRateText(qint32 lost, qint32 sent) {
  if (sent == 0) return QStringLiteral("0%");
  // long double keeps the 64-bit mantissa the rounding of exact halves depends on; nearbyint
  // rounds half to even in the default rounding mode.
  const long double rate = static_cast<long double>(lost) / static_cast<long double>(sent) * 100.0L;
  return QString::number(static_cast<qint64>(std::nearbyint(rate))) + QLatin1Char('%');
}
