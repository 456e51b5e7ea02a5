// A long run of the headless station in the simulated world: phones arrive one after the other,
// stay a while and leave, hundreds of them in the long soak. The station's memory, open files and
// threads (read from /proc) must stay bounded, and every phone that stayed long enough must have
// been served exactly once. The run's length comes from the environment, so that the same test
// is CI's short soak and scripts/soak.sh's long one:
//   NYVEX_SOAK_PHONES     phones in all (60)
//   NYVEX_SOAK_ARRIVAL_MS one phone arrives every this many milliseconds (1000)
//   NYVEX_SOAK_STAY_S     how long a phone stays (15); every tenth only passes by for 1 s

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;
using testing_support::TempFolder;

long setting(const char* name, long fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::strtol(value, nullptr, 10) : fallback;
}

// What /proc tells of a process at one moment.
struct Usage {
    long rssKb = 0;
    long threads = 0;
    long openFiles = 0;
};

Usage usageOf(pid_t pid) {
    Usage usage;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string name;
        long value = 0;
        fields >> name >> value;
        if (name == "VmRSS:") {
            usage.rssKb = value;
        } else if (name == "Threads:") {
            usage.threads = value;
        }
    }
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         it != fs::directory_iterator(); it.increment(error)) {
        ++usage.openFiles;
    }
    return usage;
}

struct Visit {
    Clock::duration arrives;
    Clock::duration leaves;
    bool staysLongEnough;
};

// The world with the phones in range at `now` marked so; all of them are in the file from the
// start, so that phonesim serves every one.
std::string worldAt(std::vector<Phone>& phones, const std::vector<Visit>& visits,
                    Clock::duration now) {
    for (std::size_t i = 0; i < phones.size(); ++i) {
        phones[i].inRange = visits[i].arrives <= now && now < visits[i].leaves;
    }
    return worldText(phones, 0.05);
}

// How often phonesim stored the campaign's file for each phone (by compact address).
std::map<std::string, int> storedPerPhone(const std::string& phonesimOutput) {
    std::map<std::string, int> stored;
    std::istringstream lines(phonesimOutput);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" stored welcome.gif ") != std::string::npos) {
            ++stored[compactAddress(line.substr(0, line.find(' ')))];
        }
    }
    return stored;
}

TEST(Soak, PhonesComeAndGoWhileMemoryFilesAndThreadsStayBounded) {
    const long phoneCount = setting("NYVEX_SOAK_PHONES", 60);
    const milliseconds arrival(setting("NYVEX_SOAK_ARRIVAL_MS", 1000));
    const seconds stay(setting("NYVEX_SOAK_STAY_S", 15));
    const StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};
    TempFolder stationFolder;
    TempFolder work;
    prepareStation(paths, stationFolder.path(), "");
    fs::create_directory(work.path() / "runtime");

    std::vector<Phone> phones;
    std::vector<Visit> visits;
    for (long i = 0; i < phoneCount; ++i) {
        char address[18];
        std::snprintf(address, sizeof address, "00:11:22:CC:%02lX:%02lX", (i >> 8) & 0xFF,
                      i & 0xFF);
        phones.push_back({address, "accept", false});
        const bool passerBy = i % 10 == 9;
        const Clock::duration arrives = arrival * i;
        visits.push_back(
            {arrives, arrives + (passerBy ? Clock::duration(seconds(1)) : stay), !passerBy});
    }
    const fs::path world = work.path() / "world.ini";
    replaceWorld(world, worldAt(phones, visits, Clock::duration::zero()));
    const fs::path inbox = work.path() / "inbox";
    auto phonesim = startPhonesim(paths, world, inbox, work.path());
    ASSERT_TRUE(phonesimListening(*phonesim, phones.size())) << phonesim->errors();
    auto station =
        startStation(paths, stationFolder.path(), world, work.path() / "runtime", "nyvex");

    // The station settles for 5 s, then the phones come; it is watched once a second until the
    // last phone has left.
    std::this_thread::sleep_for(seconds(5));
    const auto begin = Clock::now();
    const Clock::duration end = visits.back().leaves + seconds(5);
    std::vector<Usage> samples;
    while (Clock::now() - begin < end && station->running()) {
        replaceWorld(world, worldAt(phones, visits, Clock::now() - begin));
        samples.push_back(usageOf(station->pid()));
        std::this_thread::sleep_for(seconds(1));
    }
    const Clock::duration ran = Clock::now() - begin;
    ASSERT_TRUE(station->running()) << station->output() << station->errors();
    ASSERT_GE(samples.size(), 4u);

    // Bounded: after the first quarter of the run, nothing grows past what it had then (memory
    // by a little: allocators keep some of what they were given).
    const std::size_t warmUp = samples.size() / 4;
    const auto peak = [&](std::size_t from, std::size_t to, long Usage::*field) {
        long most = 0;
        for (std::size_t i = from; i < to; ++i) {
            most = std::max(most, samples[i].*field);
        }
        return most;
    };
    const long rssEarly = peak(0, warmUp + 1, &Usage::rssKb);
    const long rssLate = peak(warmUp, samples.size(), &Usage::rssKb);
    const long threadsEarly = peak(0, warmUp + 1, &Usage::threads);
    const long threadsLate = peak(warmUp, samples.size(), &Usage::threads);
    const long filesEarly = peak(0, warmUp + 1, &Usage::openFiles);
    const long filesLate = peak(warmUp, samples.size(), &Usage::openFiles);
    EXPECT_LE(threadsLate, threadsEarly + 6) << "push threads come and go, five jobs at most";
    EXPECT_LE(filesLate, filesEarly + 12) << "a socket and a file per push in flight";
#ifndef NYVEX_SANITIZED
    // Under the sanitizers freed memory waits in quarantine, so the figure says nothing there.
    EXPECT_LE(rssLate, rssEarly + rssEarly / 4 + 8192) << "kB";
#endif

    // Every phone that stayed long enough was served, and no phone twice.
    const auto stored = storedPerPhone(phonesim->output());
    long served = 0;
    long passersServed = 0;
    for (std::size_t i = 0; i < phones.size(); ++i) {
        const auto found = stored.find(compactAddress(phones[i].address));
        const int times = found == stored.end() ? 0 : found->second;
        EXPECT_LE(times, 1) << phones[i].address << " was pushed to twice";
        if (visits[i].staysLongEnough) {
            EXPECT_EQ(times, 1) << phones[i].address << " stayed and was not served";
            served += times;
        } else {
            passersServed += times;
        }
    }
    const auto exitCode = station->stop(SIGTERM, seconds(30));
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_EQ(station->errors(), "");
    EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);

    std::printf(
        "soak: %ld phones over %.0f s; %ld of %ld that stayed served once, %ld of %ld "
        "passers-by; rss %ld -> %ld kB (peak after warm-up), threads %ld -> %ld, open "
        "files %ld -> %ld\n",
        phoneCount, std::chrono::duration<double>(ran).count(), served,
        phoneCount - phoneCount / 10, passersServed, phoneCount / 10, rssEarly, rssLate,
        threadsEarly, threadsLate, filesEarly, filesLate);
}

}  // namespace
}  // namespace e2e
