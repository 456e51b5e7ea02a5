#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "memory/btadmemory.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
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

// The table's contents in insertion order, and the archive bytes the documented format gives
// for them, written here without the code under test: the count, then bucket 0 to 16 (bucket =
// h mod 17, h = 33·h + c over the key's UTF-16 units), each bucket newest first.
class ArchiveModel {
  public:
    struct Entry {
        std::u16string key;
        double date;
        std::int32_t status;
    };

    // As the table inserts: a new key goes last; a known key keeps its place, takes the stamp.
    void remember(const std::u16string& key, double date, std::int32_t status = 0) {
        const auto [known, added] = places.try_emplace(key, entries.size());
        if (added) {
            entries.push_back({key, date, status});
            return;
        }
        entries[known->second].date = date;
        entries[known->second].status = status;
    }

    template <typename Predicate>
    void forgetIf(Predicate forget) {
        std::erase_if(entries, forget);
        places.clear();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            places.emplace(entries[i].key, i);
        }
    }

    std::string bytes() const {
        std::string out = entries.size() < 0xFFFF
                              ? u16le(static_cast<std::uint16_t>(entries.size()))
                              : u16le(0xFFFF) + u32le(static_cast<std::uint32_t>(entries.size()));
        for (std::uint32_t bucket = 0; bucket < 17; ++bucket) {
            for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
                if (bucketOf(entry->key) == bucket) {
                    out += record(*entry);
                }
            }
        }
        return out;
    }

    // The model of a table that loaded these bytes: the entries in the order they were written.
    ArchiveModel asLoaded() const {
        ArchiveModel loaded;
        for (std::uint32_t bucket = 0; bucket < 17; ++bucket) {
            for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
                if (bucketOf(entry->key) == bucket) {
                    loaded.remember(entry->key, entry->date, entry->status);
                }
            }
        }
        return loaded;
    }

    static std::string record(const Entry& entry) {
        std::string out = "\xFF\xFE\xFF";
        const std::size_t n = entry.key.size();
        if (n < 0xFF) {
            out += static_cast<char>(n);
        } else if (n < 0xFFFE) {
            out += "\xFF" + u16le(static_cast<std::uint16_t>(n));
        } else {
            out += "\xFF" + u16le(0xFFFF) + u32le(static_cast<std::uint32_t>(n));
        }
        for (const char16_t unit : entry.key) {
            out += u16le(unit);
        }
        return out + stampBytes(entry.date, entry.status);
    }

    static std::uint32_t bucketOf(const std::u16string& key) {
        std::uint32_t h = 0;
        for (const char16_t unit : key) {
            h = 33 * h + unit;
        }
        return h % 17;
    }

    std::vector<Entry> entries;

  private:
    std::unordered_map<std::u16string, std::size_t> places;
};

// Archive bytes compared by their first difference, not printed whole.
testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
    const auto [a, e] =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (a == actual.end() && e == expected.end()) {
        return testing::AssertionSuccess();
    }
    const auto offset = static_cast<std::size_t>(a - actual.begin());
    const auto window = [offset](const std::string& bytes) {
        std::string hex;
        for (std::size_t i = offset; i < std::min(bytes.size(), offset + 16); ++i) {
            char two[4];
            std::snprintf(two, sizeof two, " %02X", static_cast<unsigned char>(bytes[i]));
            hex += two;
        }
        return hex;
    };
    return testing::AssertionFailure()
           << actual.size() << " bytes against " << expected.size() << ", first difference at byte "
           << offset << ":" << window(actual) << " instead of" << window(expected);
}

// Keys the station never makes but an archive may hold: each must come back as it went in.
const std::u16string oddKeys[] = {
    u"", u"a",
    u"0123456789abcdef0123456789abcde",    // 31 digits
    u"0123456789abcdef0123456789abcdef0",  // 33 digits
    u"0123456789ABCDEF0123456789ABCDEF",   // upper case
    u"0123456789abcdef0123456789abcdeg",
    // U+0130 ends in the byte of the digit 0: a key of 32 units that is not a digest
    u"\u01300123456789abcdef0123456789abcde", u"Ger\u00e4t \u2013 ausgeliefert",
    std::u16string(255, u'k'), std::u16string(0xFFFE, u'l'),  // the 32-bit length
};

std::u16string randomDigestKey(std::mt19937_64& random) {
    static constexpr char16_t digits[] = u"0123456789abcdef";
    std::u16string key;
    for (int i = 0; i < 32; ++i) {
        key += digits[random() & 15];
    }
    return key;
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

// Files the station would not write that still load whole: each gives the table the model
// gives, in the same order.
TEST_F(CBtAdMemoryTest, UnusualButCompleteFilesLoadWhole) {
    const std::u16string digest = u"2109b48c8ab8e0faa8c78c661426dfa1";
    const std::string digestKey = platform::toUtf8(digest);
    std::string wideDigest;
    for (const char16_t unit : digest) {
        wideDigest += u16le(unit);
    }
    const ArchiveModel::Entry first{digest, 45000.25, 0};
    const ArchiveModel::Entry other{u"0123456789abcdef0123456789abcdef", 45001.5, 0};
    const struct {
        const char* what;
        std::string bytes;
        std::vector<ArchiveModel::Entry> records;  // in file order
    } cases[] = {
        {"bytes after the last record",
         u16le(1) + ArchiveModel::record(first) + "padding!",
         {first}},
        {"a 16-bit length",
         u16le(1) + "\xFF\xFE\xFF\xFF" + u16le(32) + wideDigest + stampBytes(first.date),
         {first}},
        {"an 8-bit key",
         u16le(1) + static_cast<char>(32) + digestKey + stampBytes(first.date),
         {first}},
        {"a key twice: the later stamp at the first place",
         u16le(3) + ArchiveModel::record(first) + ArchiveModel::record(other) +
             ArchiveModel::record({digest, 45002.0, 0}),
         {first, other, {digest, 45002.0, 0}}},
        {"the long count for few records",
         u16le(0xFFFF) + u32le(2) + ArchiveModel::record(first) + ArchiveModel::record(other),
         {first, other}},
    };
    for (const auto& c : cases) {
        platform::replaceFileAtomically(archive, c.bytes);
        CBtAdMemory loaded;
        loaded.setPath(archive);
        EXPECT_TRUE(loaded.load()) << c.what;
        ArchiveModel model;
        for (const ArchiveModel::Entry& e : c.records) {
            model.remember(e.key, e.date, e.status);
        }
        EXPECT_EQ(loaded.count(), static_cast<int>(model.entries.size())) << c.what;
        EXPECT_TRUE(sameBytes(loaded.serialize(), model.bytes())) << c.what;
        EXPECT_TRUE(loaded.lookup(digestKey, false)) << c.what;
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

// 70000 records (past the 16-bit count), mostly digests, with keys of every other form among
// them, through polite lookups, a purge of a few, re-additions and a purge of most: after every
// step the table gives exactly the bytes the format gives for the model.
TEST_F(CBtAdMemoryTest, ALargeMemoryIsWrittenByteForByteThroughPurgesAndAdditions) {
    std::mt19937_64 random(1056);
    ArchiveModel model;
    const auto add = [&](const std::u16string& key) {
        ASSERT_TRUE(memory.addIfAbsent(platform::toUtf8(key)));
        model.remember(key, platform::toOleDate(clock.now()));
        clock.advance(std::chrono::seconds(1));
    };
    for (int i = 0; i < 70000; ++i) {
        const std::size_t odd = i / 7000;
        add(i % 7000 == 0 && odd < std::size(oddKeys) ? oddKeys[odd] : randomDigestKey(random));
    }
    for (const int polite : {5, 77, 69999}) {
        ASSERT_TRUE(memory.lookup(platform::toUtf8(model.entries[polite].key), true));
        model.entries[polite].date += CBtAdMemory::oneMinute;
    }
    ASSERT_TRUE(memory.saveIfChanged());
    ASSERT_TRUE(sameBytes(readArchive(), model.bytes()));

    // Served at start + i seconds: a limit of 70000 - 100 seconds ago forgets the first 100.
    const double start = model.entries[0].date;
    const auto purgeFirst = [&](int oldest) {
        const double now = platform::toOleDate(clock.now());
        const double limitSeconds = std::round((now - start) * 86400) - oldest;
        memory.purgeOlderThan(limitSeconds / 86400);
        model.forgetIf([&](const ArchiveModel::Entry& e) {
            return std::round((now - e.date) * 86400) > limitSeconds;
        });
    };
    const std::vector<ArchiveModel::Entry> before = model.entries;
    purgeFirst(100);
    ASSERT_EQ(model.entries.size(), 69901u);  // 77 was seen again: a minute younger, it stays
    EXPECT_TRUE(sameBytes(memory.serialize(), model.bytes()));

    for (int i = 0; i < 40; ++i) {  // forgotten keys come back as the newest
        add(before[i].key);
    }
    for (int i = 0; i < 40; ++i) {
        add(randomDigestKey(random));
    }
    EXPECT_TRUE(sameBytes(memory.serialize(), model.bytes()));

    purgeFirst(50000);
    ASSERT_LT(model.entries.size(), 20100u);
    EXPECT_EQ(memory.count(), static_cast<int>(model.entries.size()));
    EXPECT_TRUE(sameBytes(memory.serialize(), model.bytes()));
    add(oddKeys[1]);
    add(randomDigestKey(random));
    EXPECT_TRUE(sameBytes(memory.serialize(), model.bytes()));
}

// Forgetting most of one bucket and few overall moves that bucket's records up: every record
// left must still be found, and every forgotten one be gone.
TEST_F(CBtAdMemoryTest, PurgingMostOfOneBucketKeepsTheRestFindable) {
    std::mt19937_64 random(3856);
    ArchiveModel model;
    const auto add = [&](const std::u16string& key) {
        ASSERT_TRUE(memory.addIfAbsent(platform::toUtf8(key)));
        model.remember(key, platform::toOleDate(clock.now()));
        clock.advance(std::chrono::seconds(1));
    };
    const auto keyInBucket = [&](std::uint32_t bucket) {
        std::u16string key;
        do {
            key = randomDigestKey(random);
        } while (ArchiveModel::bucketOf(key) != bucket);
        return key;
    };
    for (int i = 0; i < 300; ++i) {
        add(keyInBucket(3));
    }
    for (int i = 0; i < 3000; ++i) {
        add(randomDigestKey(random));
    }
    const std::vector<ArchiveModel::Entry> all = model.entries;
    clock.advance(std::chrono::seconds(10));
    memory.purgeOlderThan((3000 + 10) / 86400.0);  // the first 300 go
    model.forgetIf([&](const ArchiveModel::Entry& e) { return e.date < all[300].date; });

    EXPECT_TRUE(sameBytes(memory.serialize(), model.bytes()));
    EXPECT_EQ(memory.count(), 3000);
    std::vector<std::u16string> added;
    for (int i = 0; i < 300; ++i) {  // into the places the moved records left
        added.push_back(keyInBucket(3));
        add(added.back());
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(memory.lookup(platform::toUtf8(all[i].key), false), i >= 300) << i;
    }
    for (const std::u16string& key : added) {
        EXPECT_TRUE(memory.lookup(platform::toUtf8(key), false));
    }
    EXPECT_FALSE(memory.addIfAbsent(platform::toUtf8(all.back().key)));
    add(all.front().key);
    EXPECT_TRUE(sameBytes(memory.serialize(), model.bytes()));
}

// A loaded table holds the records in the order they were read, so saving it again writes each
// bucket reversed, and a second round trip gives the first file back.
TEST_F(CBtAdMemoryTest, ALargeArchiveLoadsBackRecordForRecord) {
    std::mt19937_64 random(2041);
    ArchiveModel model;
    for (int i = 0; i < 70000; ++i) {
        const std::size_t odd = i / 5000;
        const std::u16string key =
            i % 5000 == 0 && odd < std::size(oddKeys) ? oddKeys[odd] : randomDigestKey(random);
        model.remember(key, 45000.0 + i / 86400.0, i % 3);
    }
    const std::string written = model.bytes();
    platform::replaceFileAtomically(archive, written);

    CBtAdMemory loaded;
    loaded.setPath(archive);
    ASSERT_TRUE(loaded.load());
    EXPECT_FALSE(loaded.isChanged());
    EXPECT_EQ(loaded.count(), 70000);
    const std::string again = loaded.serialize();
    EXPECT_TRUE(sameBytes(again, model.asLoaded().bytes()));

    platform::replaceFileAtomically(archive, again);
    CBtAdMemory twice;
    twice.setPath(archive);
    ASSERT_TRUE(twice.load());
    EXPECT_TRUE(sameBytes(twice.serialize(), written));
    for (const std::size_t i : {0u, 1u, 5000u, 45000u, 69999u}) {
        const ArchiveModel::Entry& entry = model.entries[i];
        const auto stamp = twice.stampOf(platform::toUtf8(entry.key));
        ASSERT_TRUE(stamp) << i;
        EXPECT_EQ(stamp->date, entry.date) << i;
        EXPECT_EQ(stamp->status, entry.status) << i;
    }
}
