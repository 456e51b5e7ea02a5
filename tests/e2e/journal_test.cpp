// The outcome journal of a station run as a process: every kind of push lands in it with its
// outcome, under the phone's memory key only; a report printed while or after the station runs
// agrees with the rows; a damaged journal neither stops the station nor is overwritten.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "journal/journalstore.h"
#include "journal/report.h"
#include "memory/recordtexts.h"
#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"

using testing_support::TempFolder;

namespace e2e {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

const StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};

// Every entry of the journal up to the year 2100.
constexpr journal::TimeRange everything{0, 4102444800};

std::uint64_t addressValue(const std::string& colonForm) {
    return std::stoull(compactAddress(colonForm), nullptr, 16);
}

// The key the station stores for a phone: the salted digest of its address.
std::string memoryKeyOf(const std::string& colonForm) {
    NyvexSighting record{};
    record.device.size = sizeof(NyvexDeviceRecord);
    record.device.address = addressValue(colonForm);
    return backo::CBtAdWrapper().memoryKey(record);
}

// The journal's entries by device key; empty while the journal cannot be read.
std::map<std::string, journal::Entry> entriesByKey(const fs::path& file) {
    std::map<std::string, journal::Entry> entries;
    journal::CJournalStore store;
    if (!fs::exists(file) || !store.open(file.string(), journal::CJournalStore::Access::readOnly)) {
        return entries;
    }
    store.forEachEntry(everything, [&](const journal::Entry& entry) {
        entries[entry.deviceKey] = entry;
        return true;
    });
    return entries;
}

// The ways an address could be written into a file: colon form, compact form in both cases,
// and its six bytes in either order.
std::vector<std::string> addressForms(const std::string& colonForm) {
    std::string lower = colonForm;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::uint64_t value = addressValue(colonForm);
    std::string littleEndian;
    std::string bigEndian;
    for (int i = 0; i < 6; ++i) {
        littleEndian += static_cast<char>((value >> (8 * i)) & 0xFF);
        bigEndian += static_cast<char>((value >> (8 * (5 - i))) & 0xFF);
    }
    return {colonForm,    lower,    compactAddress(colonForm), compactAddress(lower),
            littleEndian, bigEndian};
}

std::string withoutObexEndpoint(std::string world, const Phone& phone) {
    const std::string line = "obex=127.0.0.1:" + std::to_string(phone.port->port()) + "\n";
    world.erase(world.find(line), line.size());
    return world;
}

class JournalEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        // The silent phone's user never decides: a short answer wait ends its push soon.
        prepareStation(paths, stationFolder.path(), "answerwait=1\n");
        fs::create_directory(runtime());
    }

    fs::path runtime() const { return work.path() / "runtime"; }
    fs::path world() const { return work.path() / "world.ini"; }
    fs::path journalFile() const { return stationFolder.path() / journal::journalFileName; }
    std::string errorLog() const {
        const std::string bytes = readWholeFile(stationFolder.path() / "Nyvex_err.txt");
        std::string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            text += bytes[i + 1] == 0 ? bytes[i] : '?';
        }
        return text;
    }

    // Runs phonesim and the station until the journal holds `entries` entries, then stops both.
    void runUntilJournalHolds(std::size_t entries, std::size_t listening, const char* run) {
        SCOPED_TRACE(run);
        auto phonesim = startPhonesim(paths, world(), work.path() / "inbox", work.path());
        ASSERT_TRUE(phonesimListening(*phonesim, listening)) << phonesim->errors();
        auto station = startStation(paths, stationFolder.path(), world(), runtime(), run);
        const bool written = waitUntil(
            [&] { return entriesByKey(journalFile()).size() >= entries; }, seconds(120), pollFiles);
        EXPECT_TRUE(written) << station->output() << station->errors() << errorLog();
        const auto exitCode = station->stop(SIGTERM, seconds(10));
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, 0) << station->errors();
        EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
    }

    // `Nyvex --report` in the station folder, as an operator runs it.
    std::string report(const std::vector<std::string>& options, int expectedExit) {
        std::vector<std::string> argv{paths.binDir + "/Nyvex", "--report"};
        argv.insert(argv.end(), options.begin(), options.end());
        const std::string out = (work.path() / "report.out").string();
        ChildProcess nyvex(ChildProcess::Setup{
            argv, stationFolder.path().string(), {}, out, (work.path() / "report.err").string()});
        const auto exitCode = nyvex.waitForExit(seconds(20));
        EXPECT_EQ(exitCode, expectedExit) << nyvex.errors();
        reportErrors = nyvex.errors();
        return nyvex.output();
    }

    TempFolder stationFolder;
    TempFolder work;
    std::string reportErrors;
};

TEST_F(JournalEndToEnd, EveryPushKindLandsInTheJournalUnderTheMemoryKeyOnly) {
    const std::vector<Phone> phones{{"00:11:22:AA:BB:01", "accept"},
                                    {"00:11:22:AA:BB:02", "refuse"},
                                    {"00:11:22:AA:BB:03", "silent"},
                                    {"00:11:22:AA:BB:04", "accept"}};
    const Phone& noService = phones[3];
    replaceWorld(world(), withoutObexEndpoint(worldText(phones, 0.05), noService));
    runUntilJournalHolds(4, 3, "first");

    // A phone that comes later, while the campaign's file is empty: nothing can be sent.
    const std::string picture = readWholeFile(stationFolder.path() / "testpic.gif");
    writeWholeFile(stationFolder.path() / "testpic.gif", "");
    std::vector<Phone> later = phones;
    later.push_back({"00:11:22:AA:BB:05", "accept"});
    replaceWorld(world(), withoutObexEndpoint(worldText(later, 0.05), noService));
    runUntilJournalHolds(5, 4, "second");

    const auto entries = entriesByKey(journalFile());
    const struct {
        const char* address;
        journal::Outcome outcome;
    } expected[] = {
        {"00:11:22:AA:BB:01", journal::Outcome::delivered},
        {"00:11:22:AA:BB:02", journal::Outcome::refused},
        {"00:11:22:AA:BB:03", journal::Outcome::noAnswer},
        {"00:11:22:AA:BB:04", journal::Outcome::noService},
        {"00:11:22:AA:BB:05", journal::Outcome::fileUnusable},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.address);
        const auto found = entries.find(memoryKeyOf(e.address));
        ASSERT_NE(found, entries.end());
        const journal::Entry& entry = found->second;
        EXPECT_EQ(journal::outcomeName(entry.outcome), journal::outcomeName(e.outcome));
        EXPECT_EQ(entry.delivered, e.outcome == journal::Outcome::delivered);
        EXPECT_EQ(entry.campaign, "Welcome");
        EXPECT_EQ(entry.sendName, "welcome.gif");
        EXPECT_EQ(entry.radio, "Nyvex test");
    }
    const journal::Entry& delivered = entries.at(memoryKeyOf("00:11:22:AA:BB:01"));
    EXPECT_EQ(delivered.bytes, picture.size());
    EXPECT_GT(delivered.packets, 0);

    std::string stored = readWholeFile(journalFile());
    for (const char* companion : {"-wal", "-journal"}) {
        stored += readWholeFile(journalFile().string() + companion);
    }
    for (const Phone& phone : later) {
        for (const std::string& form : addressForms(phone.address)) {
            EXPECT_EQ(stored.find(form), std::string::npos) << phone.address;
        }
    }
    EXPECT_EQ(stored.find("Phone 1"), std::string::npos);

    // The CSV a report prints is the CSV of the rows.
    journal::CJournalStore store;
    ASSERT_TRUE(store.open(journalFile().string(), journal::CJournalStore::Access::readOnly));
    std::ostringstream rows;
    ASSERT_TRUE(journal::writeCsv(store, everything, rows));
    EXPECT_EQ(report({"--since", "1970-01-02", "--until", "2099-12-31", "--csv"}, 0), rows.str());
    const std::string summary = report({"--since", "1970-01-02", "--until", "2099-12-31"}, 0);
    for (const auto& e : expected) {
        EXPECT_NE(summary.find(std::string(journal::outcomeName(e.outcome))), std::string::npos)
            << summary;
    }
}

TEST_F(JournalEndToEnd, ADamagedJournalNeitherStopsTheStationNorIsOverwritten) {
    std::string damaged;
    for (int i = 0; i < 200; ++i) {
        damaged += "not a journal, just bytes ";
    }
    writeWholeFile(journalFile(), damaged);
    const std::vector<Phone> phones{{"00:11:22:AA:BB:01", "accept"}};
    replaceWorld(world(), worldText(phones, 0.05));
    const fs::path inbox = work.path() / "inbox";
    const std::string picture = readWholeFile(stationFolder.path() / "testpic.gif");
    {
        auto phonesim = startPhonesim(paths, world(), inbox, work.path());
        ASSERT_TRUE(phonesimListening(*phonesim, 1)) << phonesim->errors();
        auto station = startStation(paths, stationFolder.path(), world(), runtime(), "damaged");
        const bool delivered = waitUntil(
            [&] {
                return readWholeFile(inbox / compactAddress(phones[0].address) / "welcome.gif") ==
                       picture;
            },
            seconds(90), pollFiles);
        EXPECT_TRUE(delivered) << station->output() << station->errors() << errorLog();
        const auto exitCode = station->stop(SIGTERM, seconds(10));
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, 0) << station->errors();
        EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
    }
    EXPECT_EQ(readWholeFile(journalFile()), damaged);
    EXPECT_EQ(countOf(errorLog(), journal::journalFileName), 1u) << errorLog();

    EXPECT_EQ(report({}, 1), "");
    EXPECT_NE(reportErrors.find(journal::journalFileName), std::string::npos) << reportErrors;
}

}  // namespace
}  // namespace e2e
