#pragma once
// A station in the simulated radio world for tests of the workers that discover devices: a
// station folder with its settings, a small manufacturer table that blocks one maker, a world
// file the test rewrites, a manual clock and shortened worker pauses.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "libs/simworld/simworld.h"
#include "memory/manufacturer.h"
#include "platform/btaddress.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/common/sightings.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"

namespace testing_support {

constexpr const char* radioLibrary = NYVEX_BIN_DIR "/libRadiox.so";

// Makers by address prefix: 00:11:22 is Goodco, 00:BB:00 is Blockco (on the blocked list).
inline const std::string goodPhone1 = "00:11:22:00:00:01";
inline const std::string goodPhone2 = "00:11:22:00:00:02";
inline const std::string goodPhone3 = "00:11:22:00:00:03";
inline const std::string blockedPhone1 = "00:BB:00:00:00:01";
inline const std::string blockedPhone2 = "00:BB:00:00:00:02";

// A sighting of the device with the colon-form `address`.
inline std::unique_ptr<blto::CBtAdWCounter> makeSightingFor(const std::string& address) {
    return makeSighting(platform::btaddress::parse(address).value_or(0));
}

// The manufacturer file: UTF-16LE records "resource_STRING<oui>" name "resource_END<oui>".
inline std::string manufacturerFile(const std::map<std::uint32_t, std::string>& makers) {
    std::string text;
    for (const auto& [oui, name] : makers) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%09u", oui);
        text += std::string("resource_STRING") + digits + name + "resource_END" + digits + "\r\n";
    }
    std::string bytes;
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

class SimulatedStation : public ::testing::Test {
  protected:
    void SetUp() override {
        station = std::make_unique<StationFolder>(true, "[Tolvik]\nversion=1.061\nnumblocks=1\n");
        station->write("tolvik.ini", "[nameblocks0]\nnblock1=Blockco\n");
        station->write("manufacturers.dat",
                       manufacturerFile({{0x001122, "Goodco"}, {0x00BB00, "Blockco"}}));
        makers.open(station->file("manufacturers.dat"));
        ASSERT_TRUE(makers.isOpen());
        worldPath = station->file("world.ini");
        setWorld({});
        // Set before any worker runs: the radio library reads it on the workers' threads.
        ::setenv(simworld::environmentVariable, worldPath.c_str(), 1);
    }

    void TearDown() override {
        stopWorkers();
        ::unsetenv(simworld::environmentVariable);
        station.reset();
    }

    // Every worker the test made must have ended before the station goes.
    virtual void stopWorkers() {}

    // Rewrites the world as a whole (as world writers do): the phones in range, an inquiry
    // lasting `timescale` times as long as a real one.
    void setWorld(const std::vector<std::string>& phones, double timescale = 0) {
        std::string text = "[radio]\naddress=00:1A:7D:DA:71:13\nname=Nyvex test\ntimescale=" +
                           std::to_string(timescale) + "\n";
        for (std::size_t i = 0; i < phones.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            text += "[phone" + n + "]\naddress=" + phones[i] + "\nname=Phone " + n +
                    "\nclass=0x5A020C\ninrange=1\n";
        }
        ASSERT_TRUE(platform::replaceFileAtomically(worldPath, text));
    }

    void setWorldWithoutRadio() {
        ASSERT_TRUE(
            platform::replaceFileAtomically(worldPath, "[phone1]\naddress=" + goodPhone1 + "\n"));
    }

    platform::ManualClock clock{platform::fromLocal({2024, 5, 17, 10, 30, 0, 0, 5})};
    platform::ScopedClock clockInUse{clock};
    ScopedTimeScale shortPauses{0.01};
    std::unique_ptr<StationFolder> station;
    CManufacturer makers;
    std::string worldPath;
};

}  // namespace testing_support
