#pragma once
// The rate column of the statistics window's tables.

#include "journal/journalstore.h"

#include <string>

namespace journal::ui {

// Deliveries as a percentage of pushes with one decimal ("83.3"); "-" when there were no pushes,
// since a rate of nothing is not 0 %.
std::string rateText(const Rate& rate);

}  // namespace journal::ui
