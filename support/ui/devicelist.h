#pragma once
// The list of devices in range that the range-test and blocking-list dialogs show: whole rows,
// the small device picture in a narrow first column, then the address in colon form, the name
// the radio reported and the maker. It is refilled from copies of the discovery front's
// sightings; the column widths follow the list's width.

#include <QIcon>
#include <QStringList>
#include <QTreeWidget>
#include <functional>

#include "discovery/sightingqueue.h"

namespace devicelist {

enum Column { iconColumn = 0, addressColumn = 1, nameColumn = 2, manufacturerColumn = 3 };

// The most rows a refill shows.
constexpr int maxRows = 20;
// The small device picture (bitmap 137) cut to its 10 x 15 image. When the picture cannot be
// had, a beep of 400 Hz for 40 ms and a null icon: the lists then go without pictures.
QIcon smallDeviceIcon();

// Sets `list` up as a device list: whole-row single selection, `headings` after the empty
// heading of the picture column, and column widths that follow the list's client width W:
// 12 pixels for the picture, then (W - 14) / 3, (W - 16) / 3 and (W - 14) / 3 with four
// columns, or W - 14 with two.
void setUp(QTreeWidget* list, const QStringList& headings);

// One copy of the sighting at an index, or none past the end.
using SightingSource = std::function<CArrSyncMgr::Sighting(int index)>;
// Empties `list` and adds one row per sighting from index 0 up to the first missing one, at
// most maxRows. The device that was selected stays selected while it is still there.
void fill(QTreeWidget* list, const SightingSource& sightingAt, const QIcon& icon);

}  // namespace devicelist
