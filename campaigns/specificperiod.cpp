#include "specificperiod.h"

#include "support/texts.h"

namespace schedule {

namespace {
const std::string startKey = "specificstart";
const std::string endKey = "specificend";
}  // namespace

CSpecificPeriod::CSpecificPeriod() {
    declareKey(startKey);
    declareKey(endKey);
}

std::int64_t CSpecificPeriod::getStart() const {
    return getInt64(startKey);
}
std::int64_t CSpecificPeriod::getEnd() const {
    return getInt64(endKey);
}
void CSpecificPeriod::setStart(std::int64_t seconds) {
    setInt64(startKey, seconds);
}
void CSpecificPeriod::setEnd(std::int64_t seconds) {
    setInt64(endKey, seconds);
}
bool CSpecificPeriod::isOrdered() const {
    return getEnd() > getStart();
}

bool CSpecificPeriod::isActive(std::int64_t now) const {
    return getStart() < now && now < getEnd();
}

std::string CSpecificPeriod::getDescription() const {
    return support::text("start") + formatLocal(getStart(), " %A, %B %d, %Y    %H:%M\r\n") +
           support::text("end") + formatLocal(getEnd(), " %A, %B %d, %Y    %H:%M");
}

}  // namespace schedule
