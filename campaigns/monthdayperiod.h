#pragma once

#include "campaigns/daytimeperiod.h"
#include "campaigns/monthdaytime.h"

namespace schedule {

// A window within one month, from a start day and time to an end day and time. Its keys carry
// the period's position in the schedule ("monthdaystart0", "monthdayend0", ...). A window never
// wraps into the next month, and a day the month does not have is never reached.
class CMonthdayPeriod : public CDayTimePeriod<CMonthdayTime> {
  public:
    explicit CMonthdayPeriod(int position);

    std::string getDescription() const override;

  protected:
    int dayOf(const LocalMinute& local) const override { return local.monthday; }
};

}  // namespace schedule
