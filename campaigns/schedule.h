#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "campaigns/period.h"
#include "config/iniserializer.h"

namespace schedule {

// The schedule types, as stored in "scheduletyp".
constexpr int always = 0;
constexpr int weekdays = 1;
constexpr int monthdays = 2;
constexpr int specific = 3;

// The current time in whole seconds since 1970, as schedules compare it.
std::int64_t currentTime();

// When a campaign may be sent: always, or inside any of its periods. Kept in the campaign's own
// section; the campaign sets the section prefix before every save, load or erase.
class CSchedule : public CList2IniSerializer {
  public:
    CSchedule();

    int getType() const;
    // Changes only the type; the campaign decides what happens to the periods.
    void setType(int type);

    // The schedule takes ownership of `period`.
    void addPeriod(std::unique_ptr<CPeriod> period);
    void clearPeriods();
    CPeriod* getPeriod(int i) const;
    int getNumPeriods() const { return static_cast<int>(periods.size()); }

    bool isActive(std::int64_t now) const;
    std::string getDescription() const;

    // Writes the schedule's and its periods' keys into section n; the form with a batch only
    // adds them to it.
    void save(int n);
    void save(int n, CIniBatch& batch);
    // Replaces the periods by those of section n; false when a schedule or period key is
    // missing.
    bool load(int n);
    // Deletes the schedule's and its periods' keys from section n; the periods stay in memory.
    // The form with a batch only adds the deletions to it.
    void erase(int n);
    void erase(int n, CIniBatch& batch);

  private:
    std::unique_ptr<CPeriod> makePeriod(int type, int position) const;
    void updatePeriodCount();

    std::vector<std::unique_ptr<CPeriod>> periods;
};

}  // namespace schedule
