#include "weekdayperiod.h"

#include <array>

#include "support/texts.h"

namespace schedule {

namespace {
std::string weekdayName(int code) {
    static const std::array<const char*, 7> keys = {"sunday",   "monday", "tuesday", "wednesday",
                                                    "thursday", "friday", "saturday"};
    if (code < 1 || code > 7) {
        return {};
    }
    return support::text(keys[static_cast<std::size_t>(code - 1)]);
}
}  // namespace

CWeekdayPeriod::CWeekdayPeriod(int position)
    : CDayTimePeriod("weekdaystart", "weekdayend", position) {}

std::string CWeekdayPeriod::getDescription() const {
    return weekdayName(getStart().getDay()) + formatLocal(storedStart(), " %H:%M -") +
           formatLocal(storedEnd(), " %H:%M\r\n");
}

}  // namespace schedule
