#pragma once
// The outcomes a sender handed to its recorder, kept for the test to read from its own thread.

#include <chrono>
#include <mutex>
#include <vector>

#include "sending/pushoutcome.h"
#include "tests/common/waituntil.h"

namespace sendingtest {

class OutcomeLog {
  public:
    btsend::OutcomeRecorder recorder() {
        return [this](const btsend::PushOutcome& outcome) {
            std::lock_guard guard(lock);
            outcomes.push_back(outcome);
        };
    }
    std::vector<btsend::PushOutcome> all() {
        std::lock_guard guard(lock);
        return outcomes;
    }
    // True once `count` outcomes have arrived.
    bool reach(std::size_t count) {
        return testing_support::waitUntil([&] { return all().size() >= count; });
    }

  private:
    std::mutex lock;
    std::vector<btsend::PushOutcome> outcomes;
};

}  // namespace sendingtest
