// Phones nobody controls: every hostile mode of phonesim against the push library itself, and a
// station that meets all of them at once. Each push ends with the outcome that matches what the
// phone stored (a failed push is never counted as delivered) within the bound its waits set,
// and the station goes on serving the polite phones.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "libs/obexa/btsender.h"
#include "libs/obexa/transport.h"
#include "platform/text.h"
#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"
#include "tools/phonesim/hostile.h"
#include "tools/phonesim/phoneserver.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::TempFolder;

constexpr std::uint64_t phoneAddress = 0x001122AABBCCULL;
// Five PUT packets of 430 bytes: an object the phone can be in the middle of.
constexpr std::size_t objectBytes = 2000;

struct ModeCase {
    const char* answer;  // the world file's answer= value
    bool delivered;      // the push reports every packet accepted, and the phone stored it
};

const ModeCase modes[] = {
    {"accept", true},   {"refuse", false},  {"silent", false},  {"noise", false},
    {"trickle", true},  {"lielong", false}, {"lieshort", true}, {"liebelow3", true},
    {"oversize", true}, {"cutoff", false},  {"flood", false},
};

std::optional<phonesim::PhoneSettings> settingsFor(const std::string& answer) {
    phonesim::PhoneSettings settings{phoneAddress, "127.0.0.1", 0};
    const auto polite = phonesim::parseAnswer(answer);
    settings.hostility = phonesim::parseHostility(answer);
    if (!polite && !settings.hostility) {
        return std::nullopt;
    }
    settings.answer = polite.value_or(phonesim::Answer::accept);
    return settings;
}

TEST(HostilePhones, EveryPushEndsInTheOutcomeOfWhatThePhoneStoredWithinItsBound) {
    TempFolder folder;
    const std::string object = folder.write("promo.gif", std::string(objectBytes, 'p'));
    // Every wait a tenth of the station's: 0.5 s for a send, 0.9 s for an answer.
    const obexa::Waits waits = obexa::waitsFor(obexa::PushSettings{}, 0.1);
    for (const ModeCase& mode : modes) {
        SCOPED_TRACE(mode.answer);
        const auto settings = settingsFor(mode.answer);
        ASSERT_TRUE(settings);
        const fs::path inbox = folder.path() / mode.answer;
        phonesim::PhoneServer phone(*settings, inbox, nullptr);
        ASSERT_EQ(phone.start(), std::nullopt);
        const std::string world =
            folder.write("world.ini",
                         "[radio]\naddress=00:1A:7D:DA:71:13\n[phone1]\naddress=00:11:22:AA:BB:CC\n"
                         "obex=127.0.0.1:" +
                             std::to_string(phone.port()) + "\n");
        const auto transport = obexa::makeSimTransport(world);
        obexa::CBTSender sender(*transport, 0x22AABBCC, 0x0011, waits);

        const auto started = std::chrono::steady_clock::now();
        const std::int32_t packets =
            sender.push("image/gif", u"promo.gif", platform::toUtf16(object));
        const auto took = std::chrono::steady_clock::now() - started;

        ASSERT_GT(packets, 0);
        const bool delivered = sender.lastAnsweredPacket() == packets;
        EXPECT_EQ(delivered, mode.delivered) << "status " << sender.status();
        phone.stop();  // the phone has settled what it stored
        const fs::path stored = inbox / "001122AABBCC" / "promo.gif";
        EXPECT_EQ(fs::exists(stored), mode.delivered);
        if (mode.delivered) {
            EXPECT_EQ(readWholeFile(stored), std::string(objectBytes, 'p'));
        }
        // CONNECT, every PUT and DISCONNECT: each at most one send and one answer wait.
        const auto bound = (packets + 2) * (waits.writable + waits.readable) + 1s;
        EXPECT_LE(took, bound)
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    }
}

// The station meets every hostile phone at once, beside two polite ones: all of them end served
// (remembered), the polite ones and those whose lies still carried the object hold it, and the
// counters name exactly those as sent and every other push as failed.
TEST(HostilePhones, TheStationServesEveryPhoneAndCountsOnlyStoredObjectsAsSent) {
    TempFolder stationFolder;
    TempFolder work;
    const StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};
    prepareStation(paths, stationFolder.path(), "");
    fs::create_directory(work.path() / "runtime");
    std::vector<Phone> phones;
    int expectSent = 0;
    for (std::size_t i = 0; i < std::size(modes); ++i) {
        char address[18];
        std::snprintf(address, sizeof address, "00:11:22:AA:CC:%02zX", i + 1);
        phones.push_back({address, modes[i].answer});
        expectSent += modes[i].delivered ? 1 : 0;
    }
    const fs::path world = work.path() / "world.ini";
    replaceWorld(world, worldText(phones, 0.05));
    const fs::path inbox = work.path() / "inbox";
    auto phonesim = startPhonesim(paths, world, inbox, work.path());
    ASSERT_TRUE(phonesimListening(*phonesim, phones.size())) << phonesim->errors();
    auto station =
        startStation(paths, stationFolder.path(), world, work.path() / "runtime", "nyvex");

    const std::string counters = "sent " + std::to_string(expectSent) + " failed " +
                                 std::to_string(phones.size() - expectSent) + " remembered " +
                                 std::to_string(phones.size());
    const bool settled = waitUntil(
        [&] {
            return station->output().find(counters) != std::string::npos || !station->running();
        },
        std::chrono::seconds(150), pollFiles);
    EXPECT_TRUE(settled) << counters << "\nstation:\n"
                         << station->output() << station->errors() << "phonesim:\n"
                         << phonesim->output();
    for (std::size_t i = 0; i < phones.size(); ++i) {
        SCOPED_TRACE(phones[i].answer);
        const fs::path stored = inbox / compactAddress(phones[i].address) / "welcome.gif";
        EXPECT_EQ(fs::exists(stored), modes[i].delivered);
    }
    const auto exitCode = station->stop(SIGTERM, std::chrono::seconds(30));
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_EQ(station->errors(), "");
    EXPECT_EQ(phonesim->stop(SIGTERM, std::chrono::seconds(10)), 0);
}

}  // namespace
}  // namespace e2e
