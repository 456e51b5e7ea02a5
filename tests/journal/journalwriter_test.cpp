// The journal writer off the push threads: everything recorded is written, a bad journal never
// holds a push up and is logged once, a full queue drops and counts, old entries go at start
// and later on.

#include "journal/journalwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/logentry.h"
#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"
#include "tests/journal/journalfixture.h"

namespace {

using journal::CJournalStore;
using journal::CJournalWriter;
using journal::Entry;
using journal::Outcome;
using journal_testing::dayStart;
using journal_testing::entryAt;
using journal_testing::sampleEntries;
using namespace std::chrono_literals;

constexpr journal::TimeRange everything{0, 4'000'000'000};

std::vector<Entry> entriesIn(const std::string& path) {
    CJournalStore store;
    std::vector<Entry> found;
    EXPECT_TRUE(store.open(path, CJournalStore::Access::readOnly)) << store.problem();
    store.forEachEntry(everything, [&found](const Entry& entry) {
        found.push_back(entry);
        return true;
    });
    return found;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

platform::TimePoint at(std::int64_t seconds) {
    return platform::fromTimeT(static_cast<std::time_t>(seconds));
}

class JournalWriter : public ::testing::Test {
  protected:
    std::string path() const { return station.file(journal::journalFileName); }

    testing_support::StationFolder station{false};
    platform::ManualClock clock{at(dayStart)};
    platform::ScopedClock useClock{clock};
};

TEST_F(JournalWriter, WritesEverythingRecordedOnFlushAndOnShutdown) {
    const auto entries = sampleEntries(700);
    {
        CJournalWriter writer(path(), 365);
        for (std::size_t n = 0; n < 400; ++n) {
            ASSERT_TRUE(writer.record(entries[n]));
        }
        ASSERT_TRUE(writer.flush(10s));
        EXPECT_EQ(entriesIn(path()).size(), 400u);
        for (std::size_t n = 400; n < entries.size(); ++n) {
            ASSERT_TRUE(writer.record(entries[n]));
        }
        EXPECT_EQ(writer.dropped(), 0u);
        EXPECT_EQ(writer.problem(), "");
    }
    EXPECT_EQ(entriesIn(path()), entries);
    EXPECT_EQ(testing_support::errorLogText(), "");
}

// The station goes on pushing whatever is wrong with its journal: record() still takes every
// entry at once, the entries are dropped and counted, the problem is logged once however
// often the writer tries again, the file is not touched, and the journal is used once it can.
TEST_F(JournalWriter, ABadJournalIsLoggedOnceAndUsedOnceItIsMended) {
    std::string newer;
    {
        CJournalStore store;
        ASSERT_TRUE(store.open(path(), CJournalStore::Access::readWrite));
    }
    newer = station.read(journal::journalFileName);
    newer[63] = 9;
    std::filesystem::remove(path());
    const struct {
        const char* what;
        const char* content;  // nullptr: no folder for the journal
        std::string logged;
    } cases[] = {
        {"missing folder", nullptr, "its folder does not exist"},
        {"damaged", "this is not a database, but the operator may want it back", "is damaged or"},
        {"newer version", newer.c_str(), "written by a newer version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = station.file(c.what);
        const std::string journalPath = folder + "/" + journal::journalFileName;
        std::string bytes;
        if (c.content) {
            std::filesystem::create_directory(folder);
            bytes = c.what == std::string("newer version") ? newer : c.content;
            station.write(std::string(c.what) + "/" + journal::journalFileName, bytes);
        }
        {
            CJournalWriter writer(journalPath, 365);
            for (int attempt = 0; attempt < 3; ++attempt) {
                for (const Entry& entry : sampleEntries(50)) {
                    EXPECT_TRUE(writer.record(entry));
                }
                ASSERT_TRUE(writer.flush(10s));
                EXPECT_NE(writer.problem().find(c.logged), std::string::npos) << writer.problem();
                clock.advance(CJournalWriter::reopenInterval + 1s);
            }
            EXPECT_EQ(writer.dropped(), 150u);
            EXPECT_EQ(occurrences(testing_support::errorLogText(), c.logged), 1u)
                << testing_support::errorLogText();
            if (c.content) {
                EXPECT_TRUE(station.read(std::string(c.what) + "/" + journal::journalFileName) ==
                            bytes);
                std::filesystem::remove(journalPath);
            } else {
                std::filesystem::create_directory(folder);
            }
            // Mended: the next attempt after the pause opens a new journal.
            clock.advance(CJournalWriter::reopenInterval + 1s);
            ASSERT_TRUE(writer.record(entryAt(dayStart, Outcome::delivered)));
            ASSERT_TRUE(writer.flush(10s));
            EXPECT_EQ(writer.problem(), "");
        }
        EXPECT_EQ(entriesIn(journalPath).size(), 1u);
    }
}

TEST_F(JournalWriter, AFullQueueDropsCountsAndIsLoggedOnce) {
    std::filesystem::create_directory(station.file("journal"));
    const std::string journalPath = station.file("journal") + "/" + journal::journalFileName;
    std::vector<bool> taken;
    {
        // While the log is held the worker cannot get past its first note of the missing
        // folder, so nothing leaves the queue.
        std::unique_lock<platform::TimedMutex> log(support::logLock());
        std::filesystem::remove(station.file("journal"));
        CJournalWriter writer(journalPath, 365);
        const Entry entry = entryAt(dayStart, Outcome::refused);
        for (std::size_t n = 0; n < CJournalWriter::queueCapacity + 5; ++n) {
            taken.push_back(writer.record(entry));
        }
        log.unlock();
        ASSERT_TRUE(writer.flush(10s));
        EXPECT_EQ(writer.dropped(), CJournalWriter::queueCapacity + 5);
        for (int more = 0; more < 3; ++more) {
            for (std::size_t n = 0; n < CJournalWriter::queueCapacity + 5; ++n) {
                writer.record(entry);
            }
            ASSERT_TRUE(writer.flush(10s));
        }
    }
    EXPECT_EQ(std::count(taken.begin(), taken.end(), false), 5);
    EXPECT_EQ(std::count(taken.begin(), taken.begin() + CJournalWriter::queueCapacity, false), 0);
    EXPECT_EQ(occurrences(testing_support::errorLogText(), "journal queue full, entries dropped"),
              1u)
        << testing_support::errorLogText();
}

TEST_F(JournalWriter, RemovesOldEntriesAtStartAndEveryFewMinutes) {
    const std::int64_t now = dayStart + 10 * 86400;
    const std::int64_t twoDays = 2 * 86400;
    const std::vector<Entry> old{entryAt(now - twoDays - 1, Outcome::delivered, 1),
                                 entryAt(now - twoDays, Outcome::refused, 2),
                                 entryAt(now - twoDays + 3600, Outcome::noAnswer, 3)};
    {
        CJournalStore store;
        ASSERT_TRUE(store.open(path(), CJournalStore::Access::readWrite));
        ASSERT_TRUE(store.append(old));
    }
    clock.set(at(now));
    CJournalWriter writer(path(), 2);
    const Entry fresh = entryAt(now, Outcome::delivered, 4);
    ASSERT_TRUE(writer.record(fresh));
    ASSERT_TRUE(writer.flush(10s));
    EXPECT_EQ(entriesIn(path()), (std::vector<Entry>{old[1], old[2], fresh}));

    clock.advance(std::chrono::seconds(3600) + CJournalWriter::retentionInterval);
    // The first entry wakes the worker; the second is taken after its look at the old ones.
    for (int n = 0; n < 2; ++n) {
        ASSERT_TRUE(writer.record(fresh));
        ASSERT_TRUE(writer.flush(10s));
    }
    EXPECT_EQ(entriesIn(path()), (std::vector<Entry>{fresh, fresh, fresh}));
}

}  // namespace
