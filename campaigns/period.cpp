#include "period.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "platform/clock.h"

namespace schedule {

namespace {
// A time value from the file may be any 64-bit number; the clock's time points span about
// 292 years either side of 1970, so values beyond are pinned to that span before conversion.
platform::TimePoint toTimePoint(std::int64_t seconds) {
    const std::int64_t limit = std::chrono::duration_cast<std::chrono::seconds>(
                                   platform::TimePoint::max().time_since_epoch())
                                   .count() -
                               1;
    return platform::fromTimeT(static_cast<std::time_t>(std::clamp(seconds, -limit, limit)));
}
}  // namespace

std::int64_t CPeriod::encodeJanuaryTime(const DayTime& time) {
    if (time.day < 1 || time.day > 31 || time.hour < 0 || time.hour > 23 || time.minute < 0 ||
        time.minute > 59) {
        throw std::invalid_argument("day time out of range");
    }
    platform::LocalTime local;
    local.year = 1996;
    local.month = 1;
    local.day = time.day;
    local.hour = time.hour;
    local.minute = time.minute;
    local.second = 0;
    return platform::toTimeT(platform::fromLocal(local));
}

CPeriod::DayTime CPeriod::decodeJanuaryTime(std::int64_t seconds) {
    const LocalMinute local = localMinute(seconds);
    return DayTime{local.monthday, local.hour, local.minute};
}

CPeriod::LocalMinute CPeriod::localMinute(std::int64_t seconds) {
    const platform::LocalTime local = platform::toLocal(toTimePoint(seconds));
    return LocalMinute{local.weekday + 1, local.day, local.hour, local.minute};
}

std::string CPeriod::formatLocal(std::int64_t seconds, const char* format) {
    return platform::formatLocal(toTimePoint(seconds), format);
}

}  // namespace schedule
