#pragma once

#include "campaigns/period.h"

namespace schedule {

// One window between two calendar date-times (seconds since 1970). A schedule keeps at most one:
// its keys "specificstart" and "specificend" carry no position.
class CSpecificPeriod : public CPeriod {
  public:
    CSpecificPeriod();

    std::int64_t getStart() const;
    std::int64_t getEnd() const;
    void setStart(std::int64_t seconds);
    void setEnd(std::int64_t seconds);
    // True when the end is strictly later than the start.
    bool isOrdered() const;

    // Whole seconds, both bounds exclusive.
    bool isActive(std::int64_t now) const override;
    std::string getDescription() const override;
};

}  // namespace schedule
