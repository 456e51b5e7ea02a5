#pragma once

#include "campaigns/daytime.h"

namespace schedule {

// A moment of the month as the month-day dialog sets it: day of month (1-31), hour and minute.
class CMonthdayTime : public CDayTime {
  public:
    using CDayTime::CDayTime;

    int minuteOfMonth() const { return minuteOfCycle(); }
};

}  // namespace schedule
