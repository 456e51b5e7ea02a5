#pragma once

#include "campaigns/monthdaytime.h"
#include "campaigns/period.h"

namespace schedule {

// A window within one month, from a start day and time to an end day and time. Its keys carry
// the period's position in the schedule ("monthdaystart0", "monthdayend0", ...).
class CMonthdayPeriod : public CPeriod {
  public:
    explicit CMonthdayPeriod(int position);

    CMonthdayTime getStart() const;
    CMonthdayTime getEnd() const;
    void setStart(const CMonthdayTime& time);
    void setEnd(const CMonthdayTime& time);

    // Minute resolution, both bounds exclusive; a window never wraps into the next month, and a
    // day the month does not have is never reached.
    bool isActive(std::int64_t now) const override;
    std::string getDescription() const override;

  private:
    CMonthdayTime read(const std::string& key) const;
    void write(const std::string& key, const CMonthdayTime& time);

    std::string suffix;
};

}  // namespace schedule
