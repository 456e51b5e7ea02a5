#pragma once
// The one source of "now" for the whole station. Production code reads the time only through
// platform::now(); tests install a ManualClock and move it by hand, so schedules, ageing and
// staleness are tested without sleeping.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

namespace platform {

using TimePoint = std::chrono::system_clock::time_point;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock : public Clock {
  public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

// A clock that only moves when told to; safe to read from worker threads.
class ManualClock : public Clock {
  public:
    explicit ManualClock(TimePoint start = TimePoint{}) : current(start) {}
    TimePoint now() const override;
    void set(TimePoint t);
    void advance(std::chrono::milliseconds step);

  private:
    mutable std::mutex lock;
    TimePoint current;
};

// The clock in use; the system clock unless a test installed another one.
const Clock& clock();
TimePoint now();
// Installs `replacement` (nullptr restores the system clock). The caller keeps it alive.
void setClock(const Clock* replacement);

// Installs a clock for the lifetime of a scope (tests).
class ScopedClock {
  public:
    explicit ScopedClock(const Clock& c) { setClock(&c); }
    ~ScopedClock() { setClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

// Broken-down local time, with milliseconds and the weekday (0 = Sunday).
struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
    int weekday = 4;
};

std::time_t toTimeT(TimePoint t);
TimePoint fromTimeT(std::time_t t);
LocalTime toLocal(TimePoint t);
// Local date and time to a time point; the C library's mktime decides daylight saving.
TimePoint fromLocal(const LocalTime& local);
// strftime with the C locale's conventions on the local time of `t`.
std::string formatLocal(TimePoint t, const char* format);

// OLE automation dates: days since 30 December 1899, midnight, as local wall-clock time.
double toOleDate(TimePoint t);
TimePoint fromOleDate(double oleDate);

}  // namespace platform
