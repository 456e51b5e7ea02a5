#pragma once
// One send job: a device and the campaign whose file it is to receive. Range-test jobs never go
// stale; every other job is dropped once its sighting is older than the job list allows.

#include <chrono>
#include <cstdint>
#include <memory>

#include "discovery/sighting.h"

namespace campag {
class CCampaign;
}

namespace btsend {

class CSendJob {
  public:
    // Keeps a copy of `device` (with its stamp) and its own copy of what a push reads from
    // `campaign` (campag::CCampaign::copyForSending): the operator may change or delete the
    // campaign, and the range test renames its campaign at every test, while the job waits or
    // its push is in flight.
    CSendJob(const blto::CBtAdWCounter& device, const campag::CCampaign& campaign, bool rangeTest);
    virtual ~CSendJob();
    CSendJob(const CSendJob&) = delete;
    CSendJob& operator=(const CSendJob&) = delete;

    const blto::CBtAdWCounter& device() const { return sighting; }
    const campag::CCampaign& campaign() const { return *target; }
    bool isRangeTest() const { return rangeTestJob; }

    // The address as the object-push library takes it: for AA:BB:CC:DD:EE:FF the high half is
    // 0x0000AABB and the low half 0xCCDDEEFF.
    std::uint32_t addressLow() const;
    std::uint32_t addressHigh() const;

    // Same device (both halves) and campaigns of the same name, ignoring case.
    bool sameJob(const CSendJob& other) const;
    // True when the sighting was made more than `span` ago.
    bool isStale(std::chrono::milliseconds span) const { return sighting.isOlderThan(span); }

  private:
    std::uint64_t address() const;

    blto::CBtAdWCounter sighting;
    std::unique_ptr<const campag::CCampaign> target;
    bool rangeTestJob;
};

}  // namespace btsend
