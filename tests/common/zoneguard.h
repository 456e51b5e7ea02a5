#pragma once
// While a ZoneGuard lives, local time is the zone it was given (a TZ value such as "UTC",
// "Europe/Berlin" or "EET-2"); afterwards the TZ the test started with is back.

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

namespace testing_support {

class ZoneGuard {
  public:
    explicit ZoneGuard(const char* zone) {
        if (const char* current = ::getenv("TZ")) {
            previous = current;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (previous) {
            ::setenv("TZ", previous->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

  private:
    std::optional<std::string> previous;
};

}  // namespace testing_support
