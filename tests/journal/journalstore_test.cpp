// The journal's file: entries come back as they went in, the hourly totals agree with the rows
// before and after old rows are removed, and a journal that is damaged, from a newer version
// or out of reach is refused with a clear reason and left as it was.

#include "journal/journalstore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "memory/recordtexts.h"
#include "tests/common/ordinaryuser.h"
#include "tests/common/tempfolder.h"
#include "tests/journal/journalfixture.h"

namespace {

using journal::CJournalStore;
using journal::Entry;
using journal::Grouping;
using journal::HourCount;
using journal::Outcome;
using journal::Rate;
using journal::TimeRange;
using journal_testing::dayStart;
using journal_testing::entryAt;
using journal_testing::sampleEntries;
using Access = CJournalStore::Access;

constexpr TimeRange everything{0, 4'000'000'000};

std::vector<Entry> entriesOf(const CJournalStore& store, TimeRange range = everything) {
    std::vector<Entry> found;
    EXPECT_TRUE(store.forEachEntry(range, [&found](const Entry& entry) {
        found.push_back(entry);
        return true;
    })) << store.problem();
    return found;
}

// What the hourly totals must say, worked out from the rows themselves.
std::vector<HourCount> hourlyOfRows(const std::vector<Entry>& rows) {
    std::map<std::pair<std::int64_t, Outcome>, std::int64_t> counts;
    for (const Entry& entry : rows) {
        ++counts[{entry.time - entry.time % 3600, entry.outcome}];
    }
    std::vector<HourCount> hourly;
    for (const auto& [key, pushes] : counts) {
        hourly.push_back({key.first, key.second, pushes});
    }
    return hourly;
}

std::vector<Rate> ratesOfRows(const std::vector<Entry>& rows, Grouping grouping) {
    std::map<std::string, Rate> rates;
    for (const Entry& entry : rows) {
        const std::string& name =
            grouping == Grouping::campaign ? entry.campaign : entry.manufacturer;
        Rate& rate = rates[name];
        rate.name = name;
        ++rate.pushes;
        rate.delivered += entry.outcome == Outcome::delivered || entry.delivered;
        rate.bytes += entry.bytes;
    }
    std::vector<Rate> ordered;
    for (const auto& [name, rate] : rates) {
        ordered.push_back(rate);
    }
    return ordered;
}

// Runs `sql` on the SQLite file at `path` and closes it; `keepLog` leaves its write-ahead log
// beside it unfolded, as a program that stopped while it had the file open does.
void runOnFile(const std::string& path, const char* sql, bool keepLog = false) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, keepLog ? 1 : 0, nullptr);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

class JournalStore : public ::testing::Test {
  protected:
    std::string path() const { return folder.file(journal::journalFileName); }

    // A journal holding `entries`, closed again.
    void makeJournal(const std::vector<Entry>& entries) {
        CJournalStore store;
        ASSERT_TRUE(store.open(path(), Access::readWrite)) << store.problem();
        ASSERT_TRUE(store.append(entries)) << store.problem();
    }

    testing_support::TempFolder folder;
};

TEST_F(JournalStore, EntriesComeBackAsTheyWentIn) {
    const auto entries = sampleEntries();
    makeJournal(entries);

    CJournalStore store;
    ASSERT_TRUE(store.open(path(), Access::readOnly)) << store.problem();
    EXPECT_EQ(entriesOf(store), entries);
    EXPECT_EQ(store.entryCount(), static_cast<std::int64_t>(entries.size()));

    const TimeRange secondHour{dayStart + 3600, dayStart + 7199};
    std::vector<Entry> inRange;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(inRange), [](const Entry& e) {
        return e.time >= dayStart + 3600 && e.time <= dayStart + 7199;
    });
    EXPECT_EQ(entriesOf(store, secondHour), inRange);
}

// The journal names a phone only by its salted memory key, stored as its 16 bytes: neither the
// phone's address in any spelling nor the key's text is in the file, and an address handed
// over where a key belongs is not kept at all.
TEST_F(JournalStore, OnlyTheKeysBytesAreStoredNeverItsTextOrAnAddress) {
    NyvexSighting sighting{};
    sighting.device.address = 0x001A7DDA7113;
    backo::CBtAdWrapper texts;
    const std::string key = texts.memoryKey(sighting);
    Entry pushed = entryAt(dayStart, Outcome::delivered, 1);
    pushed.deviceKey = key;
    Entry address = entryAt(dayStart + 1, Outcome::refused, 2);
    address.deviceKey = backo::CBtAdWrapper::addressWithColons(sighting);
    Entry upperCase = entryAt(dayStart + 2, Outcome::noAnswer, 3);
    upperCase.deviceKey = "00112233445566778899AABBCCDDEEFF";
    makeJournal({pushed, address, upperCase});

    CJournalStore store;
    ASSERT_TRUE(store.open(path(), Access::readOnly));
    const auto back = entriesOf(store);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].deviceKey, key);
    EXPECT_EQ(back[1].deviceKey, "") << "what is not a key is not kept";
    EXPECT_EQ(back[2].deviceKey, "00112233445566778899aabbccddeeff");

    const std::string bytes = folder.read(journal::journalFileName);
    for (const std::string& text :
         {backo::CBtAdWrapper::addressWithColons(sighting), std::string("00:1a:7d:da:71:13"),
          backo::CBtAdWrapper::addressPlain(sighting), std::string("001a7dda7113"), key}) {
        EXPECT_EQ(bytes.find(text), std::string::npos) << text;
    }
    std::string keyBytes;
    for (std::size_t i = 0; i < key.size(); i += 2) {
        keyBytes += static_cast<char>(std::stoi(key.substr(i, 2), nullptr, 16));
    }
    EXPECT_NE(bytes.find(keyBytes), std::string::npos);
}

TEST_F(JournalStore, TotalsAgreeWithTheRowsBeforeAndAfterOldRowsGo) {
    const struct {
        const char* what;
        TimeRange range;
    } ranges[] = {
        {"everything", everything},
        {"the first day", {dayStart, dayStart + 86399}},
        {"starts and ends inside hours", {dayStart + 1800, dayStart + 5 * 3600 + 1234}},
        {"inside one hour", {dayStart + 3600 + 100, dayStart + 3600 + 2000}},
        {"across one hour's end", {dayStart + 3000, dayStart + 4000}},
        {"one second", {dayStart + 577 * 10, dayStart + 577 * 10}},
        {"one whole hour", {dayStart + 7200, dayStart + 10799}},
        {"a whole day and parts of two more", {dayStart - 100, dayStart + 86400 + 50000}},
        {"parts of two days", {dayStart + 50000, dayStart + 86400 + 5000}},
        {"before everything", {0, dayStart - 1}},
    };
    const auto entries = sampleEntries();
    CJournalStore store;
    ASSERT_TRUE(store.open(path(), Access::readWrite));
    ASSERT_TRUE(store.append(entries));

    for (const std::int64_t removeBefore : {std::int64_t{0}, dayStart + 4 * 3600 + 1000}) {
        ASSERT_GE(store.removeOlderThan(removeBefore, 1000), 0);
        for (const auto& c : ranges) {
            SCOPED_TRACE(std::string(c.what) + ", rows before " + std::to_string(removeBefore) +
                         " removed");
            const auto rows = entriesOf(store, c.range);
            EXPECT_EQ(store.hourly(c.range), hourlyOfRows(rows));
            EXPECT_EQ(store.rates(c.range, Grouping::campaign),
                      ratesOfRows(rows, Grouping::campaign));
            EXPECT_EQ(store.rates(c.range, Grouping::manufacturer),
                      ratesOfRows(rows, Grouping::manufacturer));
        }
        EXPECT_EQ(store.entryCount(), static_cast<std::int64_t>(entriesOf(store).size()));
    }
}

TEST_F(JournalStore, RemovesExactlyTheEntriesOlderThanTheCutoffInSteps) {
    const std::int64_t cutoff = dayStart + 5000;
    std::vector<Entry> entries;
    for (int n = 0; n < 5; ++n) {
        entries.push_back(entryAt(cutoff - 3600 + n, Outcome::delivered, n));
    }
    entries.push_back(entryAt(cutoff - 1, Outcome::refused, 5));
    entries.push_back(entryAt(cutoff, Outcome::noAnswer, 6));
    entries.push_back(entryAt(cutoff + 1, Outcome::delivered, 7));
    CJournalStore store;
    ASSERT_TRUE(store.open(path(), Access::readWrite));
    ASSERT_TRUE(store.append(entries));

    EXPECT_EQ(store.removeOlderThan(cutoff, 4), 4);
    EXPECT_EQ(store.removeOlderThan(cutoff, 4), 2);
    EXPECT_EQ(store.removeOlderThan(cutoff, 4), 0);
    EXPECT_EQ(entriesOf(store), std::vector<Entry>(entries.end() - 2, entries.end()));
    EXPECT_EQ(store.hourly(everything), hourlyOfRows(entriesOf(store)));
}

// A journal that cannot be used is refused with words that say why, and its bytes stay as they
// were: the station must never write over what an operator may still want to rescue.
TEST_F(JournalStore, RefusesNewerDamagedAndForeignFilesAndLeavesThemAlone) {
    makeJournal(sampleEntries(2000));
    const std::string journalBytes = folder.read(journal::journalFileName);
    std::string newer = journalBytes;
    newer[63] = 2;  // the schema version the file carries: 1 + 1
    // Another program's database that happens to carry the journal's version number.
    runOnFile(folder.file("other.db"), "PRAGMA user_version = 1; CREATE TABLE notes(text);");
    const std::string foreign = folder.read("other.db");
    const struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"newer version", newer, "written by a newer version"},
        {"garbage", std::string(8192, '\x5a'), "damaged"},
        {"truncated", journalBytes.substr(0, journalBytes.size() / 2), "damaged"},
        {"header lost", std::string(100, '\0') + journalBytes.substr(100), "damaged"},
        {"empty file of text", "hello\n", "damaged"},
        {"another program's file of version 1", foreign, "damaged"},
    };
    for (const auto& c : cases) {
        for (const Access access : {Access::readWrite, Access::readOnly}) {
            SCOPED_TRACE(std::string(c.what) +
                         (access == Access::readOnly ? ", read-only" : ", read-write"));
            folder.write(journal::journalFileName, c.bytes);
            CJournalStore store;
            EXPECT_FALSE(store.open(path(), access));
            EXPECT_FALSE(store.isOpen());
            EXPECT_NE(store.problem().find(c.reason), std::string::npos) << store.problem();
            EXPECT_NE(store.problem().find(path()), std::string::npos) << store.problem();
            EXPECT_FALSE(store.append(sampleEntries(1)));
            EXPECT_TRUE(store.hourly(everything).empty());
            EXPECT_TRUE(folder.read(journal::journalFileName) == c.bytes) << "the file changed";
        }
    }
}

// A newer station stopped with part of its journal still in the write-ahead log: refusing the
// journal must not fold that log into the file.
TEST_F(JournalStore, ANewerJournalsLogIsNotFoldedIntoItsFile) {
    makeJournal(sampleEntries(20));
    runOnFile(path(), "PRAGMA user_version = 2; DELETE FROM entries;", true);
    ASSERT_TRUE(std::filesystem::exists(path() + "-wal"));
    const std::string journalBytes = folder.read(journal::journalFileName);
    const std::string logBytes = folder.read(std::string(journal::journalFileName) + "-wal");
    for (const Access access : {Access::readWrite, Access::readOnly}) {
        CJournalStore store;
        EXPECT_FALSE(store.open(path(), access));
        EXPECT_NE(store.problem().find("newer version"), std::string::npos) << store.problem();
    }
    EXPECT_TRUE(folder.read(journal::journalFileName) == journalBytes) << "the file changed";
    EXPECT_TRUE(folder.read(std::string(journal::journalFileName) + "-wal") == logBytes);
}

TEST_F(JournalStore, SaysWhyAJournalOutOfReachCannotBeOpened) {
    CJournalStore store;
    const std::string inMissingFolder = folder.file("gone") + "/journal.sqlite";
    EXPECT_FALSE(store.open(inMissingFolder, Access::readWrite));
    EXPECT_NE(store.problem().find("folder does not exist"), std::string::npos) << store.problem();

    EXPECT_FALSE(store.open(path(), Access::readOnly));
    EXPECT_NE(store.problem().find("no journal"), std::string::npos) << store.problem();
    EXPECT_FALSE(std::filesystem::exists(path())) << "reading never creates the journal";

    ::chmod(folder.folder().c_str(), 0555);
    {
        testing_support::OrdinaryUserFiles asNobody;
        EXPECT_FALSE(store.open(path(), Access::readWrite));
    }
    EXPECT_NE(store.problem().find("cannot create the journal " + path()), std::string::npos)
        << store.problem();
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// An operator who may read the station's folder but not write in it still gets a report while
// no station has the journal open.
TEST_F(JournalStore, AReaderWithoutWritePermissionReadsAJournalNobodyWrites) {
    makeJournal(sampleEntries(20));
    ::chmod(folder.folder().c_str(), 0555);
    ::chmod(path().c_str(), 0444);
    CJournalStore reader;
    {
        testing_support::OrdinaryUserFiles asNobody;
        ASSERT_TRUE(reader.open(path(), Access::readOnly)) << reader.problem();
        EXPECT_EQ(entriesOf(reader).size(), 20u);
    }
    EXPECT_EQ(reader.entryCount(), 20);
}

TEST_F(JournalStore, AReaderSeesWhatTheWriterAddsWhileBothAreOpen) {
    CJournalStore writer;
    ASSERT_TRUE(writer.open(path(), Access::readWrite));
    ASSERT_TRUE(writer.append(sampleEntries(10)));

    CJournalStore reader;
    ASSERT_TRUE(reader.open(path(), Access::readOnly)) << reader.problem();
    EXPECT_EQ(reader.entryCount(), 10);
    ASSERT_TRUE(writer.append(sampleEntries(5)));
    EXPECT_EQ(reader.entryCount(), 15);
    EXPECT_EQ(reader.removeOlderThan(everything.until, 100), -1) << "a reader never writes";
    EXPECT_EQ(writer.entryCount(), 15);
}

// Another program holding the journal's write lock: the station's write gives up after its
// short wait and says why, while readers go on reading.
TEST_F(JournalStore, ALockedJournalFailsAWriteAfterAShortWaitAndReadersGoOn) {
    makeJournal(sampleEntries(10));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    CJournalStore writer;
    ASSERT_TRUE(writer.open(path(), Access::readWrite)) << writer.problem();
    EXPECT_FALSE(writer.append(sampleEntries(3)));
    EXPECT_NE(writer.problem().find("locked by another program"), std::string::npos)
        << writer.problem();
    EXPECT_EQ(writer.removeOlderThan(everything.until, 10), -1);

    CJournalStore reader;
    ASSERT_TRUE(reader.open(path(), Access::readOnly)) << reader.problem();
    EXPECT_EQ(reader.entryCount(), 10);

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(writer.append(sampleEntries(3))) << writer.problem();
    EXPECT_EQ(writer.problem(), "");
    EXPECT_EQ(reader.entryCount(), 13);
}

}  // namespace
