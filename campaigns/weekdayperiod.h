#pragma once

#include "campaigns/period.h"
#include "campaigns/weekdaytime.h"

namespace schedule {

// A window within one week, from a start weekday and time to an end weekday and time. Its keys
// carry the period's position in the schedule ("weekdaystart0", "weekdayend0", ...).
class CWeekdayPeriod : public CPeriod {
  public:
    explicit CWeekdayPeriod(int position);

    CWeekdayTime getStart() const;
    CWeekdayTime getEnd() const;
    void setStart(const CWeekdayTime& time);
    void setEnd(const CWeekdayTime& time);

    // Minute resolution, both bounds exclusive; a window never wraps past Saturday into Sunday.
    bool isActive(std::int64_t now) const override;
    std::string getDescription() const override;

  private:
    CWeekdayTime read(const std::string& key) const;
    void write(const std::string& key, const CWeekdayTime& time);

    std::string suffix;
};

}  // namespace schedule
