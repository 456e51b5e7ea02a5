#include "monthdayperiod.h"

#include "support/texts.h"

namespace schedule {

namespace {
const std::string startKey = "monthdaystart";
const std::string endKey = "monthdayend";
}  // namespace

CMonthdayPeriod::CMonthdayPeriod(int position) : suffix(std::to_string(position)) {
    declareKey(startKey + suffix);
    declareKey(endKey + suffix);
}

CMonthdayTime CMonthdayPeriod::getStart() const {
    return read(startKey + suffix);
}
CMonthdayTime CMonthdayPeriod::getEnd() const {
    return read(endKey + suffix);
}
void CMonthdayPeriod::setStart(const CMonthdayTime& time) {
    write(startKey + suffix, time);
}
void CMonthdayPeriod::setEnd(const CMonthdayTime& time) {
    write(endKey + suffix, time);
}

CMonthdayTime CMonthdayPeriod::read(const std::string& key) const {
    const DayTime stored = decodeJanuaryTime(getInt64(key));
    return CMonthdayTime(stored.day, stored.hour, stored.minute);
}

void CMonthdayPeriod::write(const std::string& key, const CMonthdayTime& time) {
    setInt64(key, encodeJanuaryTime({time.getDay(), time.getHour(), time.getMinute()}));
}

bool CMonthdayPeriod::isActive(std::int64_t now) const {
    const LocalMinute local = localMinute(now);
    const int minuteOfMonth = (local.monthday * 24 + local.hour) * 60 + local.minute;
    if (minuteOfMonth >= getEnd().minuteOfMonth()) {
        return false;
    }
    return minuteOfMonth > getStart().minuteOfMonth();
}

std::string CMonthdayPeriod::getDescription() const {
    const std::int64_t start = getInt64(startKey + suffix);
    const std::int64_t end = getInt64(endKey + suffix);
    return support::text("every") + formatLocal(start, " %d") +
           support::text("middle_monthly_periode") + formatLocal(start, " %H:%M ") +
           support::text("to__") + formatLocal(end, " %H:%M\r\n");
}

}  // namespace schedule
