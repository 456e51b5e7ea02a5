#pragma once
// waitUntil waits for a condition that another thread or process brings about: polls it until it
// holds or a generous bound passes, so tests depend on what happens, never on how fast. Checks
// that read files or a child's output poll less often. ScopedTimeScale shortens the fixed pauses
// of the workers for tests of workers.

#include <chrono>
#include <thread>

#include "worker/workerbase.h"

namespace testing_support {

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds bound = std::chrono::seconds(20),
               std::chrono::milliseconds pollEvery = std::chrono::milliseconds(1)) {
    const auto giveUp = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return condition();
        }
        std::this_thread::sleep_for(pollEvery);
    }
    return true;
}

// Shortens every worker pause while it lives.
class ScopedTimeScale {
  public:
    explicit ScopedTimeScale(double scale) { blto::CBlueSync::setTimeScale(scale); }
    ~ScopedTimeScale() { blto::CBlueSync::setTimeScale(1.0); }
    ScopedTimeScale(const ScopedTimeScale&) = delete;
    ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;
};

}  // namespace testing_support
