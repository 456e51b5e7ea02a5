#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include "memory/btadmemory.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/common/tempfolder.h"

using backo::CBtAdMemory;
using backo::OleStamp;
using testing_support::TempFolder;

namespace {

const std::string keyA = "2109b48c8ab8e0faa8c78c661426dfa1";
const std::string keyB = "8eaa06e28d4f49944b9d6bed155417e5";

// A summer noon without daylight-saving changes nearby, so OLE day arithmetic is exact.
platform::TimePoint summerNoon() {
    platform::LocalTime local;
    local.year = 2024;
    local.month = 7;
    local.day = 10;
    local.hour = 12;
    return platform::fromLocal(local);
}

std::string key(int n) {
    char text[33];
    std::snprintf(text, sizeof text, "%032x", n);
    return text;
}

std::string u16le(std::uint16_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8)};
}
std::string u32le(std::uint32_t v) {
    return u16le(v & 0xFFFF) + u16le(v >> 16);
}

std::string stampBytes(double date, std::int32_t status = 0) {
    std::string bytes(12, '\0');
    std::memcpy(bytes.data(), &date, 8);
    std::memcpy(bytes.data() + 8, &status, 4);
    return bytes;
}

std::string taggedKey(const std::string& ascii) {
    std::string bytes = "\xFF\xFE\xFF";
    bytes += static_cast<char>(ascii.size());
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

class CBtAdMemoryTest : public ::testing::Test {
  protected:
    CBtAdMemoryTest() : clock(summerNoon()), scoped(clock) { memory.setPath(archive); }

    std::string readArchive() const { return platform::readFile(archive).value_or("<missing>"); }

    TempFolder folder;
    std::string archive = folder.path("devices.arc");
    platform::ManualClock clock;
    platform::ScopedClock scoped;
    CBtAdMemory memory;
};

}  // namespace

TEST_F(CBtAdMemoryTest, ADeviceServedTwiceKeepsItsFirstStamp) {
    EXPECT_TRUE(memory.addIfAbsent(keyA));
    const OleStamp first = *memory.stampOf(keyA);
    clock.advance(std::chrono::hours(1));
    EXPECT_FALSE(memory.addIfAbsent(keyA));
    EXPECT_EQ(memory.stampOf(keyA)->date, first.date);
    EXPECT_EQ(first.date, platform::toOleDate(summerNoon()));
    EXPECT_EQ(memory.count(), 1);
}

TEST_F(CBtAdMemoryTest, StampsHaveWholeSeconds) {
    clock.advance(std::chrono::milliseconds(999));
    memory.addIfAbsent(keyA);
    EXPECT_EQ(memory.stampOf(keyA)->date, platform::toOleDate(summerNoon()));
}

TEST_F(CBtAdMemoryTest, PurgeKeepsAnEntryExactlyAsOldAsTheLimit) {
    memory.addIfAbsent(keyA);
    ASSERT_TRUE(memory.saveIfChanged());
    clock.advance(std::chrono::seconds(86400));
    memory.purgeOlderThan(1.0);
    EXPECT_TRUE(memory.lookup(keyA, false));
    EXPECT_FALSE(memory.isChanged());

    clock.advance(std::chrono::seconds(1));
    memory.purgeOlderThan(1.0);
    EXPECT_FALSE(memory.lookup(keyA, false));
    EXPECT_TRUE(memory.isChanged());
}

TEST_F(CBtAdMemoryTest, PurgeLimitInMinutesForTestMode) {
    memory.addIfAbsent(keyA);
    clock.advance(std::chrono::seconds(60));
    memory.purgeOlderThan(1.0 / 1440);
    EXPECT_EQ(memory.count(), 1);
    clock.advance(std::chrono::seconds(1));
    memory.purgeOlderThan(1.0 / 1440);
    EXPECT_EQ(memory.count(), 0);
}

TEST_F(CBtAdMemoryTest, PoliteLookupsPushTheStampIntoTheFuture) {
    memory.addIfAbsent(keyA);
    const double served = memory.stampOf(keyA)->date;
    ASSERT_TRUE(memory.saveIfChanged());
    EXPECT_TRUE(memory.lookup(keyA, false));
    EXPECT_FALSE(memory.isChanged());

    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(memory.lookup(keyA, true));
    }
    EXPECT_TRUE(memory.isChanged());
    EXPECT_NEAR(memory.stampOf(keyA)->date - served, 2000.0 / 1440, 1e-6);
    // Within a day of real time the entry is more than a day ahead: it survives any purge.
    clock.advance(std::chrono::hours(23));
    memory.purgeOlderThan(0);
    EXPECT_EQ(memory.count(), 1);
    EXPECT_FALSE(memory.lookup(keyB, true));
}

TEST_F(CBtAdMemoryTest, PurgeDropsStampsThatCannotBeAged) {
    const double now = platform::toOleDate(summerNoon());
    const std::string file = u16le(3) + taggedKey(keyA) + stampBytes(now, OleStamp::invalid) +
                             taggedKey(keyB) + stampBytes(std::nan("")) + taggedKey(key(1)) +
                             stampBytes(now);
    platform::replaceFileAtomically(archive, file);
    ASSERT_TRUE(memory.load());
    memory.purgeOlderThan(30);
    EXPECT_EQ(memory.count(), 1);
    EXPECT_TRUE(memory.lookup(key(1), false));
}

TEST_F(CBtAdMemoryTest, OneRecordIsEightyBytesInTheDocumentedLayout) {
    memory.addIfAbsent(keyA);
    ASSERT_TRUE(memory.saveIfChanged());
    const std::string expected =
        u16le(1) + taggedKey(keyA) + stampBytes(platform::toOleDate(summerNoon()));
    EXPECT_EQ(expected.size(), 2u + 80u);
    EXPECT_EQ(readArchive(), expected);
}

TEST_F(CBtAdMemoryTest, RoundTripKeepsKeysStampsAndBytes) {
    for (int i = 0; i < 50; ++i) {
        memory.addIfAbsent(key(i));
        clock.advance(std::chrono::seconds(7));
    }
    memory.lookup(key(3), true);
    ASSERT_TRUE(memory.saveIfChanged());
    EXPECT_FALSE(memory.isChanged());
    EXPECT_FALSE(memory.saveIfChanged());

    CBtAdMemory reloaded;
    reloaded.setPath(archive);
    ASSERT_TRUE(reloaded.load());
    EXPECT_FALSE(reloaded.isChanged());
    ASSERT_EQ(reloaded.count(), 50);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(reloaded.stampOf(key(i))->date, memory.stampOf(key(i))->date) << i;
    }
    EXPECT_EQ(reloaded.serialize().size(), readArchive().size());
}

TEST_F(CBtAdMemoryTest, RecordsFollowTheBucketsNewestFirst) {
    // "a" and "r" share bucket 97 % 17 = 12 = 114 % 17; "b" is in bucket 13.
    memory.addIfAbsent("a");
    memory.addIfAbsent("b");
    memory.addIfAbsent("r");
    const std::string bytes = memory.serialize();
    const std::size_t recordBytes = 4 + 2 + 12;
    ASSERT_EQ(bytes.size(), 2 + 3 * recordBytes);
    EXPECT_EQ(bytes[2 + 4], 'r');
    EXPECT_EQ(bytes[2 + recordBytes + 4], 'a');
    EXPECT_EQ(bytes[2 + 2 * recordBytes + 4], 'b');
}

TEST_F(CBtAdMemoryTest, AnEmptyTableIsWrittenOnlyWhenMarkedChanged) {
    EXPECT_FALSE(memory.saveIfChanged());
    EXPECT_FALSE(platform::fileExists(archive));

    memory.addIfAbsent(keyA);
    ASSERT_TRUE(memory.saveIfChanged());
    memory.removeAll();
    EXPECT_TRUE(memory.isChanged());
    ASSERT_TRUE(memory.saveIfChanged());
    EXPECT_EQ(readArchive(), std::string(2, '\0'));
}

TEST_F(CBtAdMemoryTest, ManyRecordsUseTheLongCount) {
    for (int i = 0; i < 70000; ++i) {
        memory.addIfAbsent(key(i));
    }
    ASSERT_TRUE(memory.saveIfChanged());
    const std::string bytes = readArchive();
    EXPECT_EQ(bytes.substr(0, 6), std::string("\xFF\xFF\x70\x11\x01\x00", 6));
    EXPECT_EQ(bytes.size(), 6u + 70000u * 80u);

    CBtAdMemory reloaded;
    reloaded.setPath(archive);
    ASSERT_TRUE(reloaded.load());
    EXPECT_EQ(reloaded.count(), 70000);
}

TEST_F(CBtAdMemoryTest, EightBitKeysLoadAsTheSameKeys) {
    const double date = platform::toOleDate(summerNoon());
    const std::string file = u16le(2) + static_cast<char>(32) + keyA + stampBytes(date) + "\xFF" +
                             u16le(32) + keyB + stampBytes(date + 1);
    platform::replaceFileAtomically(archive, file);
    ASSERT_TRUE(memory.load());
    EXPECT_TRUE(memory.lookup(keyA, false));
    EXPECT_EQ(memory.stampOf(keyB)->date, date + 1);
    EXPECT_FALSE(memory.isChanged());
}

TEST_F(CBtAdMemoryTest, LoadAddsToTheTableAndOverwritesKnownKeys) {
    const double date = platform::toOleDate(summerNoon()) - 3;
    platform::replaceFileAtomically(archive, u16le(1) + taggedKey(keyA) + stampBytes(date));
    memory.addIfAbsent(keyA);
    memory.addIfAbsent(keyB);
    ASSERT_TRUE(memory.load());
    EXPECT_EQ(memory.count(), 2);
    EXPECT_EQ(memory.stampOf(keyA)->date, date);
}

// Damaged files keep the complete records before the damage, return false, and never make the
// reader allocate for lengths or counts that the file does not back.
TEST_F(CBtAdMemoryTest, DamagedFilesLoadWhatIsCompleteAndFail) {
    const std::string good = taggedKey(keyA) + stampBytes(45000.5);
    const struct {
        const char* what;
        std::string bytes;
        int keptRecords;
    } cases[] = {
        {"empty file", "", 0},
        {"one byte", "\x01", 0},
        {"ends inside the second record", u16le(2) + good + good.substr(0, 40), 1},
        {"ends inside a time stamp", u16le(1) + good.substr(0, good.size() - 3), 0},
        {"count of four billion", u16le(0xFFFF) + u32le(0xFFFFFFF0) + good, 1},
        {"32-bit key length",
         u16le(1) + "\xFF\xFE\xFF\xFF" + u16le(0xFFFF) + u32le(0xFFFFFFFE) + "abcd", 0},
        {"key length 2^64-1",
         u16le(1) + "\xFF\xFE\xFF\xFF" + u16le(0xFFFF) + u32le(0xFFFFFFFF) + std::string(8, '\xFF'),
         0},
        {"odd byte count of UTF-16 text", u16le(1) + "\xFF\xFE\xFF\x03" + "abcde", 0},
        {"garbage", std::string(100, '\x7F'), 0},
    };
    for (const auto& c : cases) {
        platform::replaceFileAtomically(archive, c.bytes);
        CBtAdMemory damaged;
        damaged.setPath(archive);
        EXPECT_FALSE(damaged.load()) << c.what;
        EXPECT_EQ(damaged.count(), c.keptRecords) << c.what;
        EXPECT_FALSE(damaged.lastError().empty()) << c.what;
    }
}

TEST_F(CBtAdMemoryTest, AMissingFileFailsToLoad) {
    EXPECT_FALSE(memory.load());
    EXPECT_EQ(memory.count(), 0);
}

TEST_F(CBtAdMemoryTest, AFailedSaveKeepsTheOldArchiveAndTheChangedMark) {
    memory.addIfAbsent(keyA);
    ASSERT_TRUE(memory.saveIfChanged());
    const std::string before = readArchive();

    for (int i = 0; i < 200; ++i) {
        memory.addIfAbsent(key(i));
    }
    // The file-size limit makes the write stop half-way, as a full disk would.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit original{};
    ::getrlimit(RLIMIT_FSIZE, &original);
    rlimit small = original;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = memory.saveIfChanged();
    ::setrlimit(RLIMIT_FSIZE, &original);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(saved);
    EXPECT_TRUE(memory.isChanged());
    EXPECT_FALSE(memory.lastError().empty());
    EXPECT_EQ(readArchive(), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.folder()), {}), 1)
        << "no temporary file is left behind";

    ASSERT_TRUE(memory.saveIfChanged());
    EXPECT_EQ(readArchive().size(), 2u + 201u * 80u);
}

TEST_F(CBtAdMemoryTest, ASaveIntoAMissingFolderFailsAndStaysChanged) {
    memory.setPath(folder.path("absent/devices.arc"));
    memory.addIfAbsent(keyA);
    EXPECT_FALSE(memory.saveIfChanged());
    EXPECT_TRUE(memory.isChanged());
}
