#pragma once
// What the sending side tells the station about its pushes: the outcome of every push attempt
// (handed to an outcome recorder, which must not block: it runs on the push threads) and the
// pushes in flight with the bytes the phone has accepted so far (read by the main window).

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/sighting.h"
#include "libs/include/obexa.h"
#include "platform/clock.h"
#include "platform/timedmutex.h"

namespace btsend {

enum class PushKind { normal, rangeTest };

// One push attempt, successful or not.
struct PushOutcome {
    PushKind kind = PushKind::normal;
    blto::CBtAdWCounter device;  // a copy of the job's device record
    std::string campaignName;    // the campaign's name ("campaname")
    std::string sendName;        // the name the phone receives the file under
    platform::TimePoint started;
    // What the library reported; a push that never reached the library (the campaign threw)
    // reports obexaFileUnusable with everything else 0.
    ObexaPushReport report{};
    bool delivered = false;  // the outcome the station's counters count
};

// Receives every push outcome on the thread that pushed; must return at once.
using OutcomeRecorder = std::function<void(const PushOutcome&)>;

// The pushes running now. Push threads add themselves when they start, report their progress
// and remove themselves when they end; the main window reads a snapshot.
class CPushesInFlight {
  public:
    static constexpr std::chrono::milliseconds lockWait{50};

    struct Push {
        std::uint64_t id = 0;
        std::string phoneName;  // as the phone reported it (UTF-8)
        std::string campaignName;
        std::uint64_t bytesAccepted = 0;
        std::uint64_t fileBytes = 0;
    };

    // The id under which the push reports progress and ends; 0 when the list was busy beyond
    // the wait (the push then simply does not show).
    std::uint64_t begin(std::string phoneName, std::string campaignName);
    void progress(std::uint64_t id, std::uint64_t bytesAccepted, std::uint64_t fileBytes);
    void end(std::uint64_t id);
    // The pushes in the order they started; empty when the list was busy beyond the wait.
    std::vector<Push> snapshot() const;

  private:
    mutable platform::TimedMutex lock;
    std::vector<Push> pushes;
    std::uint64_t lastId = 0;
};

}  // namespace btsend
