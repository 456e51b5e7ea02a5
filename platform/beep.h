#pragma once
// Short operator feedback tones. Where no sound device answers, the request is only recorded;
// tests install an observer to see each request.

#include <functional>

namespace platform {

using BeepObserver = std::function<void(unsigned frequencyHz, unsigned durationMs)>;

void beep(unsigned frequencyHz, unsigned durationMs);
// Replaces the sound output (nullptr restores it); the observer runs on the caller's thread.
void setBeepObserver(BeepObserver observer);

}  // namespace platform
