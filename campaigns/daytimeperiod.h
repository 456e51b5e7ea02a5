#pragma once

#include <cstdint>
#include <string>

#include "campaigns/period.h"

namespace schedule {

// The base of the weekday and the month-day periods: a window between two moments of a repeating
// cycle (`Time` is CWeekdayTime or CMonthdayTime), stored in the keys <start prefix><position>
// and <end prefix><position>, so that several periods share their campaign's section.
template <typename Time>
class CDayTimePeriod : public CPeriod {
  public:
    Time getStart() const { return read(startKey); }
    Time getEnd() const { return read(endKey); }
    void setStart(const Time& time) { write(startKey, time); }
    void setEnd(const Time& time) { write(endKey, time); }

    // Minute resolution, both bounds exclusive; a window never wraps past the end of its cycle
    // into the next.
    bool isActive(std::int64_t now) const override {
        const LocalMinute local = localMinute(now);
        const int minute = Time(dayOf(local), local.hour, local.minute).minuteOfCycle();
        if (minute >= getEnd().minuteOfCycle()) {
            return false;
        }
        return minute > getStart().minuteOfCycle();
    }

  protected:
    CDayTimePeriod(const std::string& startPrefix, const std::string& endPrefix, int position)
        : suffix(std::to_string(position)),
          startKey(startPrefix + suffix),
          endKey(endPrefix + suffix) {
        declareKey(startKey);
        declareKey(endKey);
    }

    // The day of the cycle a local moment falls on.
    virtual int dayOf(const LocalMinute& local) const = 0;

    std::int64_t storedStart() const { return getInt64(startKey); }
    std::int64_t storedEnd() const { return getInt64(endKey); }

    // The period's position in its schedule, as every key of it ends.
    const std::string suffix;

  private:
    Time read(const std::string& key) const {
        const DayTime stored = decodeJanuaryTime(getInt64(key));
        return Time(stored.day, stored.hour, stored.minute);
    }
    void write(const std::string& key, const Time& time) {
        setInt64(key, encodeJanuaryTime({time.getDay(), time.getHour(), time.getMinute()}));
    }

    const std::string startKey;
    const std::string endKey;
};

}  // namespace schedule
