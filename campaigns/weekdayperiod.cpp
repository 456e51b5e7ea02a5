#include "weekdayperiod.h"

#include <array>

#include "support/texts.h"

namespace schedule {

namespace {
const std::string startKey = "weekdaystart";
const std::string endKey = "weekdayend";

std::string weekdayName(int code) {
    static const std::array<const char*, 7> keys = {"sunday",   "monday", "tuesday", "wednesday",
                                                    "thursday", "friday", "saturday"};
    if (code < 1 || code > 7) {
        return {};
    }
    return support::text(keys[static_cast<std::size_t>(code - 1)]);
}
}  // namespace

CWeekdayPeriod::CWeekdayPeriod(int position) : suffix(std::to_string(position)) {
    declareKey(startKey + suffix);
    declareKey(endKey + suffix);
}

CWeekdayTime CWeekdayPeriod::getStart() const {
    return read(startKey + suffix);
}
CWeekdayTime CWeekdayPeriod::getEnd() const {
    return read(endKey + suffix);
}
void CWeekdayPeriod::setStart(const CWeekdayTime& time) {
    write(startKey + suffix, time);
}
void CWeekdayPeriod::setEnd(const CWeekdayTime& time) {
    write(endKey + suffix, time);
}

CWeekdayTime CWeekdayPeriod::read(const std::string& key) const {
    const DayTime stored = decodeJanuaryTime(getInt64(key));
    return CWeekdayTime(stored.day, stored.hour, stored.minute);
}

void CWeekdayPeriod::write(const std::string& key, const CWeekdayTime& time) {
    setInt64(key, encodeJanuaryTime({time.getDay(), time.getHour(), time.getMinute()}));
}

bool CWeekdayPeriod::isActive(std::int64_t now) const {
    const LocalMinute local = localMinute(now);
    const int minuteOfWeek = (local.weekday * 24 + local.hour) * 60 + local.minute;
    if (minuteOfWeek >= getEnd().minuteOfWeek()) {
        return false;
    }
    return minuteOfWeek > getStart().minuteOfWeek();
}

std::string CWeekdayPeriod::getDescription() const {
    const std::int64_t start = getInt64(startKey + suffix);
    const std::int64_t end = getInt64(endKey + suffix);
    return weekdayName(getStart().getDay()) + formatLocal(start, " %H:%M -") +
           formatLocal(end, " %H:%M\r\n");
}

}  // namespace schedule
