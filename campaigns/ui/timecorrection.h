#pragma once
// The rule the weekday and month-day dialogs share: in a row, the from-time never lies after the
// to-time. The picker the operator just changed is moved back to the other one, with a beep.

#include <QTimeEdit>

namespace schedule {

constexpr unsigned timeCorrectionBeepHz = 2345;
constexpr unsigned timeCorrectionBeepMs = 23;

// Keeps `from` <= `to` whenever either picker changes.
void keepOrdered(QTimeEdit* from, QTimeEdit* to);

// The start of a day row's pickers: 00:00 to 23:59.
void resetTimes(QTimeEdit* from, QTimeEdit* to);

}  // namespace schedule
