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

// "numperiods" changes only as periods are added: it stays as the file gives it for a type
// without periods, and for a specific period it keeps the number of periods the file names.
bool CSchedule::load(int n) {
    clearPeriods();
    if (!CList2IniSerializer::load(n)) {
        return false;
    }
    const int type = getType();
    const int count = getInt(countKey);
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<CPeriod> period = makePeriod(type, i);
        if (!period) {
            break;
        }
        period->setListName(getListName());
        if (!period->load(n)) {
            return false;
        }
        addPeriod(std::move(period));
        // The specific period's keys carry no position, so every period the count names is
        // this same one: one object stands for them all.
        if (type == specific) {
            setInt(countKey, count);
            break;
        }
    }
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
