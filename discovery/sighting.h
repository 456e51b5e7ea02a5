#pragma once
// One sighting: the record the radio delivered plus the manufacturer name, and the moment the
// sighting was made. It travels between the scanner, the back office, the job machine and the
// push workers; whoever holds the object owns its record.

#include <chrono>
#include <memory>

#include "libs/include/btrecords.h"
#include "platform/clock.h"

namespace blto {

// True when both records exist and carry the same 8-byte address field.
bool sameDevice(const NyvexSighting* a, const NyvexSighting* b);

class CBtAdWCounter {
  public:
    CBtAdWCounter();
    virtual ~CBtAdWCounter();
    // A copy owns its own zero-filled record holding the other object's bytes, so later changes
    // to one record never show in the other.
    CBtAdWCounter(const CBtAdWCounter& other);
    CBtAdWCounter& operator=(const CBtAdWCounter& other);

    NyvexSighting* record() { return data.get(); }
    const NyvexSighting* record() const { return data.get(); }
    // Takes ownership of a record made by the scanner; a record held before is freed.
    void setRecord(std::unique_ptr<NyvexSighting> record) { data = std::move(record); }

    platform::TimePoint stamp() const { return made; }
    // True when more than `span` has passed since the sighting was made.
    bool isOlderThan(std::chrono::milliseconds span) const;

  private:
    std::unique_ptr<NyvexSighting> data;
    platform::TimePoint made;
};

}  // namespace blto
