#pragma once

#include <QString>
#include <QtGlobal>

// A latency as the list shows it: "%d ms".
QString MsText(qint64 milliseconds);

// The loss rate as "%d%%": Lost / Sent x 100 in extended precision, rounded half to even.
// With nothing sent there is no rate; it reads "0%" like a new row.
QString LossRateText(qint32 lost, qint32 sent);
