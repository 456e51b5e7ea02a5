#include "schedule.h"

#include <chrono>

#include "campaigns/monthdayperiod.h"
#include "campaigns/specificperiod.h"
#include "campaigns/weekdayperiod.h"
#include "platform/clock.h"
#include "support/texts.h"

namespace schedule {

namespace {
const std::string typeKey = "scheduletyp";
const std::string countKey = "numperiods";
}  // namespace

std::int64_t currentTime() {
    return std::chrono::floor<std::chrono::seconds>(platform::now()).time_since_epoch().count();
}

CSchedule::CSchedule() {
    declareKey(typeKey);
    declareKey(countKey);
    setInt(typeKey, always);
    setInt(countKey, 0);
}

int CSchedule::getType() const {
    return getInt(typeKey);
}
void CSchedule::setType(int type) {
    setInt(typeKey, type);
}

void CSchedule::addPeriod(std::unique_ptr<CPeriod> period) {
    periods.push_back(std::move(period));
    updatePeriodCount();
}

void CSchedule::clearPeriods() {
    periods.clear();
    updatePeriodCount();
}

CPeriod* CSchedule::getPeriod(int i) const {
    if (i < 0 || i >= getNumPeriods()) {
        return nullptr;
    }
    return periods[static_cast<std::size_t>(i)].get();
}

void CSchedule::updatePeriodCount() {
    setInt(countKey, getNumPeriods());
}

bool CSchedule::isActive(std::int64_t now) const {
    if (getType() == always) {
        return true;
    }
    for (const auto& period : periods) {
        if (period->isActive(now)) {
            return true;
        }
    }
    return false;
}

std::string CSchedule::getDescription() const {
    const int type = getType();
    if (type == always) {
        return support::text("always");
    }
    if (type < weekdays || type > specific) {
        return {};
    }
    std::string description;
    for (const auto& period : periods) {
        description += period->getDescription();
    }
    return description;
}

void CSchedule::save(int n) {
    CIniBatch batch;
    save(n, batch);
    batch.commit();
}

void CSchedule::save(int n, CIniBatch& batch) {
    store(n, batch);
    for (const auto& period : periods) {
        period->setListName(getListName());
        period->store(n, batch);
    }
}

bool CSchedule::load(int n) {
    clearPeriods();
    if (!CList2IniSerializer::load(n)) {
        return false;
    }
    const int type = getType();
    int count = getInt(countKey);
    // The specific period's keys carry no position, so a section holds at most one of them;
    // a larger count would only repeat the same period.
    if (type == specific && count > 1) {
        count = 1;
    }
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<CPeriod> period = makePeriod(type, i);
        if (!period) {
            break;
        }
        period->setListName(getListName());
        if (!period->load(n)) {
            updatePeriodCount();
            return false;
        }
        addPeriod(std::move(period));
    }
    updatePeriodCount();
    return true;
}

void CSchedule::erase(int n) {
    CIniBatch batch;
    erase(n, batch);
    batch.commit();
}

void CSchedule::erase(int n, CIniBatch& batch) {
    for (const auto& period : periods) {
        period->setListName(getListName());
        period->erase(n, batch);
    }
    CList2IniSerializer::erase(n, batch);
}

std::unique_ptr<CPeriod> CSchedule::makePeriod(int type, int position) const {
    switch (type) {
        case weekdays:
            return std::make_unique<CWeekdayPeriod>(position);
        case monthdays:
            return std::make_unique<CMonthdayPeriod>(position);
        case specific:
            return std::make_unique<CSpecificPeriod>();
        default:
            return nullptr;
    }
}

}  // namespace schedule
