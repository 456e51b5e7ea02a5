#include "monthdayperiod.h"

#include "support/texts.h"

namespace schedule {

CMonthdayPeriod::CMonthdayPeriod(int position)
    : CDayTimePeriod("monthdaystart", "monthdayend", position) {}

std::string CMonthdayPeriod::getDescription() const {
    const std::int64_t start = storedStart();
    return support::text("every") + formatLocal(start, " %d") +
           support::text("middle_monthly_periode") + formatLocal(start, " %H:%M ") +
           support::text("to__") + formatLocal(storedEnd(), " %H:%M\r\n");
}

}  // namespace schedule
