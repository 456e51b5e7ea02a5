#pragma once
// A station in a fresh temporary folder: settings file, configuration, operator texts, the
// campaign manager, a manual clock and a chosen time zone.

#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "campaigns/campaignmgr.h"
#include "platform/clock.h"
#include "support/texts.h"
#include "tests/common/tempfolder.h"

namespace testing_station {

// Sets TZ for the lifetime of the object and restores the previous value.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* previous = std::getenv("TZ")) {
            saved = previous;
            hadZone = true;
        }
        use(zone);
    }
    ~ScopedTimeZone() {
        if (hadZone) {
            use(saved.c_str());
        } else {
            unsetenv("TZ");
            tzset();
        }
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    static void use(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

  private:
    std::string saved;
    bool hadZone = false;
};

// Seconds since 1970 of a local date and time in the current zone.
inline std::int64_t localSeconds(int year, int month, int day, int hour, int minute,
                                 int second = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(mktime(&tm));
}

class StationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        station.write("resource.xml", resourceXml());
        support::texts().load(station.file("resource.xml"));
    }

    // The data folder ("path" of the settings), ending in '/'.
    std::string dataFolder() const { return config::configCopy().getString("path", false); }
    std::string listFile() const { return station.file("tolvik.ini"); }

    void setNow(std::int64_t seconds) {
        clock.set(platform::fromTimeT(static_cast<std::time_t>(seconds)));
    }

    static std::string resourceXml() {
        return R"(<?xml version="1.0" encoding="UTF-8"?>
<resources>
<resstr cod="always">Always</resstr>
<resstr cod="sunday">Sunday</resstr>
<resstr cod="monday">Monday</resstr>
<resstr cod="tuesday">Tuesday</resstr>
<resstr cod="wednesday">Wednesday</resstr>
<resstr cod="thursday">Thursday</resstr>
<resstr cod="friday">Friday</resstr>
<resstr cod="saturday">Saturday</resstr>
<resstr cod="every">Every</resstr>
<resstr cod="middle_monthly_periode">. day of the month,</resstr>
<resstr cod="to__">to</resstr>
<resstr cod="start">Start:</resstr>
<resstr cod="end">End:</resstr>
</resources>
)";
    }

    ScopedTimeZone zone{"Europe/Berlin"};
    platform::ManualClock clock;
    platform::ScopedClock scopedClock{clock};
    testing_support::StationFolder station;
    campag::CCampaignMgr manager;
};

}  // namespace testing_station
