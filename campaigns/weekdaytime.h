#pragma once

#include "campaigns/daytime.h"

namespace schedule {

// A moment of the week as the weekday dialog sets it: weekday code (1 = Sunday ... 7 = Saturday),
// hour and minute.
class CWeekdayTime : public CDayTime {
  public:
    using CDayTime::CDayTime;
    virtual ~CWeekdayTime() = default;
    CWeekdayTime(const CWeekdayTime&) = default;
    CWeekdayTime& operator=(const CWeekdayTime&) = default;

    int minuteOfWeek() const { return minuteOfCycle(); }
};

}  // namespace schedule
