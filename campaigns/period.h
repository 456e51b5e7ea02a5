#pragma once

#include <cstdint>
#include <string>

#include "config/iniserializer.h"

namespace schedule {

// One time window of a broadcast schedule, stored as keys of its campaign's section. Times are
// seconds since 1970-01-01 00:00 UTC.
class CPeriod : public CList2IniSerializer {
  public:
    // True when `now` lies strictly inside the window.
    virtual bool isActive(std::int64_t now) const = 0;
    // The window for the operator, built from operator texts.
    virtual std::string getDescription() const = 0;

  protected:
    struct DayTime {
        int day = 0;
        int hour = 0;
        int minute = 0;
    };

    // Weekday and month-day times are kept as the local time 1996-01-<day> <hour>:<minute>:00;
    // only the day of month, hour and minute of that instant carry meaning. Throws
    // std::invalid_argument for a day outside 1-31, an hour outside 0-23 or a minute outside 0-59.
    static std::int64_t encodeJanuaryTime(const DayTime& time);
    static DayTime decodeJanuaryTime(std::int64_t seconds);
    // Day of week (1 = Sunday), day of month, hour and minute of `seconds` in local time.
    struct LocalMinute {
        int weekday = 1;
        int monthday = 1;
        int hour = 0;
        int minute = 0;
    };
    static LocalMinute localMinute(std::int64_t seconds);
    // strftime formatting of `seconds` in local time.
    static std::string formatLocal(std::int64_t seconds, const char* format);
};

}  // namespace schedule
