#pragma once

#include "campaigns/daytimeperiod.h"
#include "campaigns/weekdaytime.h"

namespace schedule {

// A window within one week, from a start weekday and time to an end weekday and time. Its keys
// carry the period's position in the schedule ("weekdaystart0", "weekdayend0", ...). A window
// never wraps past Saturday into Sunday.
class CWeekdayPeriod : public CDayTimePeriod<CWeekdayTime> {
  public:
    explicit CWeekdayPeriod(int position);

    std::string getDescription() const override;

  protected:
    int dayOf(const LocalMinute& local) const override { return local.weekday; }
};

}  // namespace schedule
