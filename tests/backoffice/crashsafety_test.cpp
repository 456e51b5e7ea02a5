// The station killed at any moment of its saves: every file it keeps reads back whole, as the
// version before or the version after the save, and no device whose save was reported is lost.
// The temporary files of saves cut short are found beside their files and removed, as the next
// start does.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "memory/btadmemory.h"
#include "memory/recordtexts.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "tests/common/childprocess.h"
#include "tests/common/sightings.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t firstAddress = 0x0000'5A00'0000'0000ULL;
// A memory of 3.2 MB: each save takes a while, so most kills land inside one.
constexpr int preloaded = 40000;
constexpr int rounds = 40;

std::string keyOf(long long device) {
    const auto sighting = testing_support::makeSighting(firstAddress + device);
    return backo::CBtAdWrapper().memoryKey(*sighting->record());
}

// The last "memory N", "settings N" and "list N" the child printed; -1 for none.
struct Reported {
    long long memory = -1;
    long long settings = -1;
    long long list = -1;
    long long latest() const { return std::max({memory, settings, list}); }
};

Reported reportedIn(const std::string& output) {
    Reported reported;
    std::istringstream lines(output);
    std::string what;
    long long n = 0;
    while (lines >> what) {
        if (what == "ready" || !(lines >> n)) {
            continue;
        }
        (what == "memory"     ? reported.memory
         : what == "settings" ? reported.settings
                              : reported.list) = n;
    }
    return reported;
}

class CrashSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        folder.write("appTolvik.ini", "[Tolvik]\nversion=1.061\n");
        backo::CBtAdMemory memory;
        memory.setPath(archive);
        for (int device = 0; device < preloaded; ++device) {
            memory.addIfAbsent(keyOf(device));
        }
        ASSERT_TRUE(memory.saveIfChanged());
    }

    std::vector<std::string> leftovers() const {
        std::vector<std::string> all;
        for (const std::string& file : {archive, settings, list}) {
            for (const std::string& leftover : platform::leftoverTemporaries(file)) {
                all.push_back(leftover);
            }
        }
        return all;
    }

    testing_support::TempFolder folder;
    const std::string archive = folder.file("mem.arc");
    const std::string settings = folder.file("appTolvik.ini");
    const std::string list = folder.file("tolvik.ini");
};

TEST_F(CrashSafety, EveryFileSurvivesSigkillAtAnyMomentOfItsSaves) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pause(0, 400);
    long long served = preloaded;  // devices 0 .. served - 1 are remembered
    int cutShort = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string output = folder.file("output");
        testing_support::ChildProcess child(
            {{SAVE_UNTIL_KILLED, folder.path().string(), std::to_string(served)},
             folder.path().string(),
             {},
             output,
             output});
        ASSERT_TRUE(testing_support::waitUntil(
            [&] { return child.output().find("ready") != std::string::npos || !child.running(); },
            30s));
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        ASSERT_FALSE(child.stop(SIGKILL, 10s).has_value()) << child.output();
        const Reported reported = reportedIn(child.output());
        const long long lastTried = std::max(served, reported.latest() + 1);

        // The memory loads whole, with every device reported saved and no other.
        backo::CBtAdMemory memory;
        memory.setPath(archive);
        ASSERT_TRUE(memory.load()) << memory.lastError();
        ASSERT_GE(memory.count(), std::max(served, reported.memory + 1));
        ASSERT_LE(memory.count(), lastTried + 1);
        for (long long device = served; device < memory.count(); ++device) {
            ASSERT_TRUE(memory.lookup(keyOf(device), false)) << "device " << device;
        }
        served = memory.count();

        // The settings and the list are whole: each holds the value of a write that was made,
        // the latest reported one or a later one, beside what it held before.
        namespace profile = platform::profile;
        EXPECT_EQ(profile::read(settings, "Tolvik", "version", ""), "1.061");
        for (const auto& [file, section, key, written] :
             {std::tuple{settings, "Tolvik", "served", reported.settings},
              std::tuple{list, "campaign1", "prio", reported.list}}) {
            const std::string value = profile::read(file, section, key, "-1");
            EXPECT_GE(std::stoll(value), written) << file;
            EXPECT_LE(std::stoll(value), lastTried) << file;
        }

        // What a save cut short left is found, and removed as at the next start.
        cutShort += leftovers().empty() ? 0 : 1;
        for (const std::string& file : {archive, settings, list}) {
            platform::removeLeftoverTemporaries(file);
        }
        ASSERT_TRUE(leftovers().empty());
    }
    // The kills did land inside saves, not only between them.
    EXPECT_GT(cutShort, 0);
}

}  // namespace
