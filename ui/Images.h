#pragma once

#include <QIcon>
#include <QPixmap>

// The eleven 24 x 24 images of the list and its row menu, by index:
// 0 grey circle (no probe yet), 1 green check mark (answered), 2 red no-entry sign (lost),
// 3 red X (delete), 4 green down arrow, 5 pencil, 6 copy-document symbol, 7 green circular
// refresh arrows, 8 green up arrow, 9 green badge (IPv6), 10 grey and red badge (IPv4).
constexpr int kImageCount = 11;
QPixmap ListImage(int index);
const QIcon& ListIcon(int index);
