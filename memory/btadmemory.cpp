#include "btadmemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/buckethash.h"

namespace backo {

namespace {

constexpr std::size_t bucketCount = 17;
constexpr double secondsPerDay = 86400.0;
// A record whose key is a digest: FF FE FF 20, 32 UTF-16 code units, 8 + 4 bytes of stamp.
constexpr std::size_t digestRecordBytes = 80;
constexpr std::size_t digestKeyUnits = 32;
// Files are read and written a chunk at a time, through a buffer that stays small however
// large the memory grows.
constexpr std::size_t chunkBytes = 64 * 1024;

using Digest = std::array<std::uint8_t, 16>;

enum class KeyForm : std::uint32_t { digest, text, forgotten };

// One remembered device in 32 bytes. A key in the form the station makes, 32 lowercase
// hexadecimal digits, is held as the 16 bytes they spell. Any other key an archive brings is
// kept as text in the list of text keys, and the record holds its place in that list.
struct MemoryRecord {
    Digest key;
    double date;
    std::int32_t status;
    KeyForm form;
};
static_assert(sizeof(MemoryRecord) == 32);

}  // namespace

// The records of the 17-bucket hash table that the archive's order follows: one array per
// bucket, each in insertion order, so writing each bucket newest first walks its array back
// to front. A forgotten record stays in place, marked, until its array is compacted.
struct DeviceRecords {
    std::array<std::vector<MemoryRecord>, bucketCount> buckets;
    std::vector<std::u16string> textKeys;
    std::size_t live = 0;
};

namespace {

// 0 to 15 for a lowercase hexadecimal digit, 16 for any other byte.
constexpr std::array<std::uint8_t, 256> hexDigitValues = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(16);
    for (int c = '0'; c <= '9'; ++c) {
        values[c] = static_cast<std::uint8_t>(c - '0');
    }
    for (int c = 'a'; c <= 'f'; ++c) {
        values[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    }
    return values;
}();

// A byte as the two UTF-16LE code units of its lowercase hexadecimal digits.
constexpr std::array<std::array<char, 4>, 256> hexUnits = [] {
    constexpr char digits[] = "0123456789abcdef";
    std::array<std::array<char, 4>, 256> units{};
    for (int b = 0; b < 256; ++b) {
        units[b] = {digits[b >> 4], 0, digits[b & 15], 0};
    }
    return units;
}();

// support::bucketOf over the 32 code units of a digest key, unrolled for the load: unit i weighs
// 33^(31 - i) (modulo 2^32), so the products do not wait for each other.
constexpr std::array<std::uint32_t, digestKeyUnits> bucketWeights = [] {
    std::array<std::uint32_t, digestKeyUnits> weights{};
    std::uint32_t weight = 1;
    for (std::size_t i = digestKeyUnits; i-- > 0;) {
        weights[i] = weight;
        weight *= 33;
    }
    return weights;
}();

// Reads a key of 32 lowercase hexadecimal digits, the i-th code unit given by `unitAt(i)`, into
// its 16 bytes and its bucket. False for a key of any other form.
template <typename UnitAt>
bool readDigestKey(UnitAt unitAt, Digest& digest, std::uint32_t& bucket) {
    std::uint32_t invalid = 0;
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const std::uint32_t high = unitAt(2 * i);
        const std::uint32_t low = unitAt(2 * i + 1);
        const std::uint32_t highValue = hexDigitValues[high & 0xFF];
        const std::uint32_t lowValue = hexDigitValues[low & 0xFF];
        invalid |= ((highValue | lowValue) & 0x10) | (high >> 8) | (low >> 8);
        digest[i] = static_cast<std::uint8_t>(highValue << 4 | (lowValue & 0xF));
        h += high * bucketWeights[2 * i] + low * bucketWeights[2 * i + 1];
    }
    bucket = h % bucketCount;
    return invalid == 0;
}

template <typename T>
T loadLittle(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    }
    return static_cast<T>(value);
}

void storeLittle(char* bytes, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
}

double dateFromBits(std::uint64_t bits) {
    double date = 0;
    std::memcpy(&date, &bits, sizeof date);
    return date;
}

std::uint64_t bitsOfDate(double date) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &date, sizeof bits);
    return bits;
}

std::uint32_t textSlotOf(const MemoryRecord& record) {
    std::uint32_t slot = 0;
    std::memcpy(&slot, record.key.data(), sizeof slot);
    return slot;
}

// A key as the table looks it up: its 16 bytes when it has the station's form, else its text.
struct Key {
    KeyForm form = KeyForm::digest;
    Digest digest{};
    std::u16string text;
    std::uint32_t bucket = 0;
};

Key keyFromText(std::u16string text) {
    Key key;
    if (text.size() == digestKeyUnits &&
        readDigestKey([&text](std::size_t i) { return std::uint32_t{text[i]}; }, key.digest,
                      key.bucket)) {
        return key;
    }
    key.form = KeyForm::text;
    key.bucket = support::bucketOf(text, bucketCount);
    key.text = std::move(text);
    return key;
}

Key keyOf(const std::string& utf8) {
    Key key;
    if (utf8.size() == digestKeyUnits &&
        readDigestKey(
            [&utf8](std::size_t i) { return std::uint32_t{static_cast<unsigned char>(utf8[i])}; },
            key.digest, key.bucket)) {
        return key;
    }
    return keyFromText(platform::toUtf16(utf8));
}

std::uint64_t mixBits(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// The index's slots, zero at the start. Taken with calloc, so a large index comes as fresh
// pages the system has zeroed already instead of being cleared once more by hand.
class SlotArray {
  public:
    explicit SlotArray(std::size_t count)
        : slots(static_cast<std::uint64_t*>(std::calloc(count, sizeof(std::uint64_t)))),
          count(count) {
        if (!slots) {
            throw std::bad_alloc();
        }
    }

    std::uint64_t& operator[](std::size_t i) { return slots.get()[i]; }
    std::uint64_t operator[](std::size_t i) const { return slots.get()[i]; }
    const std::uint64_t* at(std::size_t i) const { return slots.get() + i; }
    std::size_t size() const { return count; }

  private:
    struct Free {
        void operator()(std::uint64_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint64_t[], Free> slots;
    std::size_t count;
};

}  // namespace

// The table: the records (above) and an index that finds a key's record, open addressing with
// linear probing. An index slot holds the record's place (position in its bucket's array and
// the bucket, plus one) in its low half and the high half of the key's hash in its high half,
// so most probes never touch a record. The hash is seeded per table, so that an archive
// cannot bring keys chosen to pile up in one stretch of the index.
class DeviceTable {
  public:
    DeviceTable() : slots(minimumSlots), seed(std::random_device{}()) {}

    const DeviceRecords& records() const { return data; }
    std::size_t size() const { return data.live; }

    const MemoryRecord* find(const Key& key) const {
        const Probe found = probe(key, hashOf(key));
        return found.place == emptyPlace ? nullptr : &recordAt(found.place);
    }
    MemoryRecord* find(const Key& key) {
        return const_cast<MemoryRecord*>(std::as_const(*this).find(key));
    }

    std::uint64_t hashOf(const Key& key) const {
        return key.form == KeyForm::digest ? hashOf(key.digest) : hashOf(key.text);
    }

    // Asks the processor to fetch the index slot of `hash` ahead of its use: a load looks up
    // a run of keys whose slots are fetched all at once rather than one after the other.
    void prefetch(std::uint64_t hash) const {
        __builtin_prefetch(slots.at(hash & (slots.size() - 1)));
    }

    // The record of `key`, added with `stamp` when absent; true when it was added.
    std::pair<MemoryRecord*, bool> findOrAdd(Key& key, const OleStamp& stamp) {
        return findOrAdd(key, stamp, hashOf(key));
    }
    std::pair<MemoryRecord*, bool> findOrAdd(Key& key, const OleStamp& stamp, std::uint64_t hash) {
        makeRoom(1);
        const Probe found = probe(key, hash);
        if (found.place != emptyPlace) {
            return {&recordAt(found.place), false};
        }
        std::vector<MemoryRecord>& bucket = data.buckets[key.bucket];
        if (bucket.size() >= maxPerBucket) {
            throw std::bad_alloc();  // far beyond what the machine's memory could hold anyway
        }
        MemoryRecord record{};
        record.date = stamp.date;
        record.status = stamp.status;
        record.form = key.form;
        record.key = key.digest;
        bucket.push_back(record);
        if (key.form == KeyForm::text) {
            const std::uint32_t slot = keepText(std::move(key.text));
            std::memcpy(bucket.back().key.data(), &slot, sizeof slot);
        }
        ++data.live;
        if (slotPlace(slots[found.freeSlot]) == emptyPlace) {
            ++occupied;
        }
        slots[found.freeSlot] =
            tagOf(hash) | placeOf(key.bucket, static_cast<std::uint32_t>(bucket.size() - 1));
        return {&bucket.back(), true};
    }

    // Makes room for `more` records, so that loading a file grows nothing step by step. Each
    // bucket gets its share and four standard deviations more.
    void expect(std::size_t more) {
        const double share = static_cast<double>(more) / bucketCount;
        const auto perBucket = static_cast<std::size_t>(share + 4 * std::sqrt(share)) + 16;
        for (auto& bucket : data.buckets) {
            bucket.reserve(bucket.size() + perBucket);
        }
        const std::size_t wanted = slotsFor(data.live + more);
        if (wanted > slots.size()) {
            rebuildIndex(wanted);
        }
    }

    // Forgets every record for which `expired(record)` is true; the number forgotten.
    template <typename Expired>
    std::size_t forgetIf(Expired expired) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> gone;  // hash and place
        for (std::uint32_t b = 0; b < bucketCount; ++b) {
            std::vector<MemoryRecord>& bucket = data.buckets[b];
            for (std::uint32_t position = 0; position < bucket.size(); ++position) {
                MemoryRecord& record = bucket[position];
                if (record.form == KeyForm::forgotten || !expired(record)) {
                    continue;
                }
                gone.emplace_back(hashOf(record), placeOf(b, position));
                if (record.form == KeyForm::text) {
                    releaseText(textSlotOf(record));
                }
                record.form = KeyForm::forgotten;
                ++forgottenIn[b];
                --data.live;
            }
        }
        if (gone.size() > data.live / 4) {
            // Many gone: dropping them all and indexing the rest anew is the cheaper way.
            for (std::uint32_t b = 0; b < bucketCount; ++b) {
                compact(b, false);
            }
            rebuildIndex(slotsFor(data.live));
        } else {
            for (const auto& [hash, place] : gone) {
                slots[slotHolding(hash, place)] = tombstone;
            }
            for (std::uint32_t b = 0; b < bucketCount; ++b) {
                if (forgottenIn[b] * 2 > data.buckets[b].size()) {
                    compact(b, true);
                }
            }
        }
        return gone.size();
    }

    void clear() {
        data = DeviceRecords{};
        freeTextSlots.clear();
        forgottenIn.fill(0);
        slots = SlotArray(minimumSlots);
        occupied = 0;
    }

  private:
    // A place is position << 5 | bucket, plus one; 0 marks an empty slot, all ones a slot
    // whose record was forgotten (a tombstone, which a probe passes over).
    static constexpr std::uint32_t emptyPlace = 0;
    static constexpr std::uint64_t tombstone = 0xFFFFFFFF;
    static constexpr std::size_t maxPerBucket = (std::size_t{1} << 27) - 1;
    static constexpr std::size_t minimumSlots = 16;

    struct Probe {
        std::uint32_t place = emptyPlace;  // the key's record, if found
        std::size_t freeSlot = 0;          // where the key goes when absent
    };

    static std::uint32_t placeOf(std::uint32_t bucket, std::uint32_t position) {
        return (position << 5 | bucket) + 1;
    }
    static std::uint32_t slotPlace(std::uint64_t slot) { return static_cast<std::uint32_t>(slot); }
    static std::uint64_t tagOf(std::uint64_t hash) { return hash & 0xFFFFFFFF00000000ULL; }

    // A power of two at least twice `records` (the index is at most half full), with room
    // for a sixty-fourth more before it grows again.
    static std::size_t slotsFor(std::size_t records) {
        std::size_t count = minimumSlots;
        while (count < 2 * records + 2) {
            count *= 2;
        }
        if (count / 2 - records < count / 64) {
            count *= 2;
        }
        return count;
    }

    const MemoryRecord& recordAt(std::uint32_t place) const {
        const std::uint32_t ref = place - 1;
        return data.buckets[ref & 31][ref >> 5];
    }
    MemoryRecord& recordAt(std::uint32_t place) {
        return const_cast<MemoryRecord&>(std::as_const(*this).recordAt(place));
    }

    std::uint64_t hashOf(const Digest& digest) const {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        std::memcpy(&low, digest.data(), 8);
        std::memcpy(&high, digest.data() + 8, 8);
        return mixBits((low ^ seed) + high * 0x9E3779B97F4A7C15ULL);
    }
    std::uint64_t hashOf(std::u16string_view text) const {
        std::uint64_t h = seed;
        for (const char16_t unit : text) {
            h = (h ^ unit) * 0x100000001b3ULL;
        }
        return mixBits(h ^ text.size());
    }
    std::uint64_t hashOf(const MemoryRecord& record) const {
        return record.form == KeyForm::digest ? hashOf(record.key)
                                              : hashOf(data.textKeys[textSlotOf(record)]);
    }

    bool holds(const MemoryRecord& record, const Key& key) const {
        if (record.form != key.form) {
            return false;
        }
        return key.form == KeyForm::digest ? record.key == key.digest
                                           : data.textKeys[textSlotOf(record)] == key.text;
    }

    Probe probe(const Key& key, std::uint64_t hash) const {
        const std::size_t mask = slots.size() - 1;
        const std::uint64_t tag = tagOf(hash);
        Probe result;
        bool freeSeen = false;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const std::uint64_t slot = slots[i];
            const std::uint32_t place = slotPlace(slot);
            if (place == emptyPlace) {
                if (!freeSeen) {
                    result.freeSlot = i;
                }
                return result;
            }
            if (slot == tombstone) {
                if (!freeSeen) {
                    result.freeSlot = i;
                    freeSeen = true;
                }
                continue;
            }
            if (tagOf(slot) == tag && holds(recordAt(place), key)) {
                result.place = place;
                return result;
            }
        }
    }

    std::size_t slotHolding(std::uint64_t hash, std::uint32_t place) const {
        const std::size_t mask = slots.size() - 1;
        std::size_t i = hash & mask;
        while (slotPlace(slots[i]) != place) {
            i = (i + 1) & mask;
        }
        return i;
    }

    void makeRoom(std::size_t more) {
        if ((occupied + more) * 2 > slots.size()) {
            rebuildIndex(slotsFor(data.live + more));
        }
    }

    void rebuildIndex(std::size_t slotCount) {
        SlotArray fresh(slotCount);
        const std::size_t mask = slotCount - 1;
        for (std::uint32_t b = 0; b < bucketCount; ++b) {
            const std::vector<MemoryRecord>& bucket = data.buckets[b];
            for (std::uint32_t position = 0; position < bucket.size(); ++position) {
                if (bucket[position].form == KeyForm::forgotten) {
                    continue;
                }
                const std::uint64_t hash = hashOf(bucket[position]);
                std::size_t i = hash & mask;
                while (fresh[i] != 0) {
                    i = (i + 1) & mask;
                }
                fresh[i] = tagOf(hash) | placeOf(b, position);
            }
        }
        slots = std::move(fresh);
        occupied = data.live;
    }

    // Closes the gaps of forgotten records in one bucket's array; `relink` moves the index
    // entries of the records that moved (otherwise the index is rebuilt afterwards).
    void compact(std::uint32_t b, bool relink) {
        std::vector<MemoryRecord>& bucket = data.buckets[b];
        std::uint32_t to = 0;
        for (std::uint32_t from = 0; from < bucket.size(); ++from) {
            const MemoryRecord& record = bucket[from];
            if (record.form == KeyForm::forgotten) {
                continue;
            }
            if (from != to) {
                if (relink) {
                    const std::size_t slot = slotHolding(hashOf(record), placeOf(b, from));
                    slots[slot] = tagOf(slots[slot]) | placeOf(b, to);
                }
                bucket[to] = record;
            }
            ++to;
        }
        bucket.resize(to);
        if (bucket.capacity() > 4 * bucket.size() + 64) {
            bucket.shrink_to_fit();
        }
        forgottenIn[b] = 0;
    }

    std::uint32_t keepText(std::u16string text) {
        if (!freeTextSlots.empty()) {
            const std::uint32_t slot = freeTextSlots.back();
            freeTextSlots.pop_back();
            data.textKeys[slot] = std::move(text);
            return slot;
        }
        data.textKeys.push_back(std::move(text));
        return static_cast<std::uint32_t>(data.textKeys.size() - 1);
    }

    void releaseText(std::uint32_t slot) {
        data.textKeys[slot] = std::u16string();
        freeTextSlots.push_back(slot);
    }

    DeviceRecords data;
    SlotArray slots;
    std::size_t occupied = 0;  // slots holding a record or a tombstone
    std::array<std::size_t, bucketCount> forgottenIn{};
    std::vector<std::uint32_t> freeTextSlots;
    std::uint64_t seed;
};

namespace {

// Collects the archive's bytes in a buffer of its own and hands them on a chunk at a time.
class ArchiveWriter {
  public:
    using Drain = std::function<bool(const char* bytes, std::size_t size)>;

    explicit ArchiveWriter(Drain drain) : drain(std::move(drain)), buffer(new char[chunkBytes]) {}

    bool write(const DeviceRecords& records) {
        count(records.live);
        for (const std::vector<MemoryRecord>& bucket : records.buckets) {
            for (auto record = bucket.rbegin(); record != bucket.rend() && good; ++record) {
                switch (record->form) {
                    case KeyForm::digest:
                        digestRecord(*record);
                        break;
                    case KeyForm::text:
                        textRecord(records.textKeys[textSlotOf(*record)], *record);
                        break;
                    case KeyForm::forgotten:
                        break;
                }
            }
        }
        flush();
        return good;
    }

  private:
    void count(std::size_t n) {
        char* bytes = room(6);
        if (n < 0xFFFF) {
            storeLittle(bytes, n, 2);
            used += 2;
            return;
        }
        storeLittle(bytes, 0xFFFF, 2);
        storeLittle(bytes + 2, n, 4);
        used += 6;
    }

    void digestRecord(const MemoryRecord& record) {
        char* bytes = room(digestRecordBytes);
        std::memcpy(bytes, "\xFF\xFE\xFF\x20", 4);
        for (std::size_t i = 0; i < record.key.size(); ++i) {
            std::memcpy(bytes + 4 + 4 * i, hexUnits[record.key[i]].data(), 4);
        }
        stamp(bytes + 4 + 2 * digestKeyUnits, record);
        used += digestRecordBytes;
    }

    // The tagged UTF-16 string: FF FE FF, then the length in 8, 16 or 32 bits, then the units.
    void textRecord(const std::u16string& text, const MemoryRecord& record) {
        char* bytes = room(10);
        std::memcpy(bytes, "\xFF\xFE\xFF", 3);
        const std::size_t n = text.size();
        if (n < 0xFF) {
            storeLittle(bytes + 3, n, 1);
            used += 4;
        } else if (n < 0xFFFE) {
            storeLittle(bytes + 3, 0xFF, 1);
            storeLittle(bytes + 4, n, 2);
            used += 6;
        } else {
            storeLittle(bytes + 3, 0xFF, 1);
            storeLittle(bytes + 4, 0xFFFF, 2);
            storeLittle(bytes + 6, n, 4);
            used += 10;
        }
        for (const char16_t unit : text) {
            storeLittle(room(2), unit, 2);
            used += 2;
        }
        stamp(room(12), record);
        used += 12;
    }

    static void stamp(char* bytes, const MemoryRecord& record) {
        storeLittle(bytes, bitsOfDate(record.date), 8);
        storeLittle(bytes + 8, static_cast<std::uint32_t>(record.status), 4);
    }

    // Room for `n` more bytes (at most a chunk). After a failed hand-on the bytes go nowhere
    // and the caller stops at its next check of `good`.
    char* room(std::size_t n) {
        if (chunkBytes - used < n) {
            flush();
        }
        return buffer.get() + used;
    }

    void flush() {
        if (used > 0 && good) {
            good = drain(buffer.get(), used);
        }
        used = 0;
    }

    Drain drain;
    std::unique_ptr<char[]> buffer;
    std::size_t used = 0;
    bool good = true;
};

// Reads the archive through a buffer of its own. Every read checks the bytes the file has left
// first, so lying lengths and counts end the load instead of allocating or reading past the
// end; the file's size when it was opened bounds the read, whatever happens to it meanwhile.
class ArchiveReader {
  public:
    ArchiveReader(int fd, std::uint64_t fileBytes)
        : fd(fd), fileBytes(fileBytes), buffer(new unsigned char[chunkBytes]) {}

    // The next `n` bytes (at most a chunk) are in the buffer; false when the file has fewer
    // left or cannot be read.
    bool need(std::size_t n) {
        if (end - position >= n) {
            return true;
        }
        if (left() < n) {
            return false;
        }
        std::memmove(buffer.get(), buffer.get() + position, end - position);
        end -= position;
        position = 0;
        while (end < n) {
            const std::uint64_t unfetched = fileBytes - consumed - end;
            const std::size_t wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes - end, unfetched));
            const ssize_t got = ::read(fd, buffer.get() + end, wanted);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                readFailed = true;
                return false;
            }
            end += static_cast<std::size_t>(got);
        }
        return true;
    }

    const unsigned char* next() const { return buffer.get() + position; }
    void skip(std::size_t n) {
        position += n;
        consumed += n;
    }
    std::uint64_t left() const { return fileBytes - consumed; }
    bool failedToRead() const { return readFailed; }

    template <typename T>
    bool little(T& v) {
        if (!need(sizeof(T))) {
            return false;
        }
        v = loadLittle<T>(next());
        skip(sizeof(T));
        return true;
    }

    bool count(std::uint64_t& n) {
        std::uint16_t shortCount = 0;
        if (!little(shortCount)) {
            return false;
        }
        if (shortCount != 0xFFFF) {
            n = shortCount;
            return true;
        }
        std::uint32_t longCount = 0;
        if (!little(longCount)) {
            return false;
        }
        n = longCount;
        return true;
    }

    bool string(std::u16string& text) {
        std::uint64_t length = 0;
        bool wide = false;
        if (!stringLength(length, wide)) {
            return false;
        }
        const std::uint64_t unitBytes = wide ? 2 : 1;
        if (length > left() / unitBytes) {
            return false;
        }
        text.clear();
        text.reserve(static_cast<std::size_t>(length));
        for (std::uint64_t i = 0; i < length; ++i) {
            if (wide) {
                std::uint16_t unit = 0;
                if (!little(unit)) {
                    return false;
                }
                text += static_cast<char16_t>(unit);
            } else {
                std::uint8_t byte = 0;
                if (!little(byte)) {
                    return false;
                }
                text += static_cast<char16_t>(byte);  // 8-bit keys are Latin-1 text
            }
        }
        return true;
    }

    bool stamp(OleStamp& s) {
        std::uint64_t bits = 0;
        std::uint32_t status = 0;
        if (!little(bits) || !little(status)) {
            return false;
        }
        s.date = dateFromBits(bits);
        s.status = static_cast<std::int32_t>(status);
        return true;
    }

  private:
    // One byte below 0xFF is the length of an 8-bit string. Otherwise a 16-bit word follows;
    // 0xFFFE tags a UTF-16 string whose length is read again from its first byte. Lengths
    // widen from 16 to 32 to 64 bits at each all-ones value.
    bool stringLength(std::uint64_t& length, bool& wide) {
        std::uint8_t byteLength = 0;
        std::uint16_t wordLength = 0;
        if (!little(byteLength)) {
            return false;
        }
        if (byteLength < 0xFF) {
            length = byteLength;
            return true;
        }
        if (!little(wordLength)) {
            return false;
        }
        if (wordLength == 0xFFFE) {
            wide = true;
            if (!little(byteLength)) {
                return false;
            }
            if (byteLength < 0xFF) {
                length = byteLength;
                return true;
            }
            if (!little(wordLength)) {
                return false;
            }
        }
        if (wordLength < 0xFFFF) {
            length = wordLength;
            return true;
        }
        std::uint32_t longLength = 0;
        if (!little(longLength)) {
            return false;
        }
        if (longLength < 0xFFFFFFFF) {
            length = longLength;
            return true;
        }
        return little(length);
    }

    int fd;
    std::uint64_t fileBytes;
    std::uint64_t consumed = 0;  // bytes handed out
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t position = 0;  // the buffer holds [position, end)
    std::size_t end = 0;
    bool readFailed = false;
};

// The fast way through a record in the form the station writes: FF FE FF 20, 32 lowercase
// hexadecimal digits in UTF-16LE, the stamp. False for anything else, which the general
// reader then takes.
bool readDigestRecord(const unsigned char* bytes, Key& key, OleStamp& stamp) {
    if (std::memcmp(bytes, "\xFF\xFE\xFF\x20", 4) != 0) {
        return false;
    }
    const unsigned char* units = bytes + 4;
    const auto unitAt = [units](std::size_t i) {
        return std::uint32_t{units[2 * i]} | std::uint32_t{units[2 * i + 1]} << 8;
    };
    if (!readDigestKey(unitAt, key.digest, key.bucket)) {
        return false;
    }
    key.form = KeyForm::digest;
    const unsigned char* stampBytes = units + 2 * digestKeyUnits;
    stamp.date = dateFromBits(loadLittle<std::uint64_t>(stampBytes));
    stamp.status = static_cast<std::int32_t>(loadLittle<std::uint32_t>(stampBytes + 8));
    return true;
}

bool writeArchive(const DeviceRecords& records, const std::string& path, std::string& error) {
    try {
        platform::AtomicFileWriter file(path);
        if (!file.isOpen()) {
            error = file.error();
            return false;
        }
        ArchiveWriter writer(
            [&file](const char* bytes, std::size_t size) { return file.write(bytes, size); });
        if (!writer.write(records) || !file.commit()) {
            error = file.error();
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        error = "out of memory while writing " + path;
        return false;
    }
}

// Records in the station's own form are read in runs of this many.
constexpr std::size_t loadRun = 16;

struct ReadRecord {
    Key key;
    OleStamp stamp;
    std::uint64_t hash = 0;
};

// Adds a record read from an archive. A key read again keeps its place in the written order
// and takes the new stamp.
void remember(DeviceTable& table, Key& key, const OleStamp& stamp, std::uint64_t hash) {
    const auto [record, added] = table.findOrAdd(key, stamp, hash);
    if (!added) {
        record->date = stamp.date;
        record->status = stamp.status;
    }
}

// Copies `from` into storage `to` holds already. Each array keeps at least the capacity of
// the one it copies, so the copy grows only when the table does, not at every new record.
void copyRecords(const DeviceRecords& from, DeviceRecords& to) {
    for (std::size_t b = 0; b < bucketCount; ++b) {
        std::vector<MemoryRecord>& copy = to.buckets[b];
        if (copy.capacity() < from.buckets[b].size()) {
            copy = std::vector<MemoryRecord>();
            copy.reserve(from.buckets[b].capacity());
        }
        copy.assign(from.buckets[b].begin(), from.buckets[b].end());
    }
    to.textKeys = from.textKeys;
    to.live = from.live;
}

class FileCloser {
  public:
    explicit FileCloser(int fd) : fd(fd) {}
    ~FileCloser() { ::close(fd); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

  private:
    int fd;
};

}  // namespace

OleStamp oleNow() {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(platform::now());
    return OleStamp{platform::toOleDate(seconds), OleStamp::valid};
}

double wholeSeconds(double days) {
    const double halfSecond = 0.5 / secondsPerDay;
    return std::trunc((days >= 0 ? days + halfSecond : days - halfSecond) * secondsPerDay);
}

CBtAdMemory::Snapshot::Snapshot() = default;
CBtAdMemory::Snapshot::~Snapshot() = default;

bool CBtAdMemory::Snapshot::write(const std::string& path, std::string& error) const {
    static const DeviceRecords nothing;
    return writeArchive(copy ? *copy : nothing, path, error);
}

CBtAdMemory::CBtAdMemory() : table(std::make_unique<DeviceTable>()) {}
CBtAdMemory::~CBtAdMemory() = default;

int CBtAdMemory::count() const {
    return static_cast<int>(table->size());
}

bool CBtAdMemory::addIfAbsent(const std::string& key) {
    Key k = keyOf(key);
    if (!table->findOrAdd(k, oleNow()).second) {
        return false;
    }
    ++changes;
    return true;
}

bool CBtAdMemory::lookup(const std::string& key, bool polite) {
    MemoryRecord* record = table->find(keyOf(key));
    if (record == nullptr) {
        return false;
    }
    if (polite) {
        record->date += oneMinute;
        ++changes;
    }
    return true;
}

void CBtAdMemory::purgeOlderThan(double limitDays) {
    const OleStamp now = oleNow();
    const double limitSeconds = wholeSeconds(limitDays);
    const std::size_t forgotten = table->forgetIf([&](const MemoryRecord& record) {
        const double ageSeconds = wholeSeconds(now.date - record.date);
        // A stamp that cannot be aged (not valid, not a number) would block its device for
        // ever; it counts as expired.
        const bool ageless = record.status != OleStamp::valid || !std::isfinite(ageSeconds);
        return ageless || limitSeconds < ageSeconds;
    });
    if (forgotten > 0) {
        ++changes;
    }
}

void CBtAdMemory::removeAll() {
    table->clear();
    ++changes;
}

std::optional<OleStamp> CBtAdMemory::stampOf(const std::string& key) const {
    const MemoryRecord* record = std::as_const(*table).find(keyOf(key));
    if (record == nullptr) {
        return std::nullopt;
    }
    return OleStamp{record->date, record->status};
}

void CBtAdMemory::takeSnapshot(Snapshot& snapshot) const {
    if (!snapshot.copy) {
        snapshot.copy = std::make_unique<DeviceRecords>();
    }
    copyRecords(table->records(), *snapshot.copy);
    snapshot.takenAt = changes;
}

void CBtAdMemory::markSaved(std::uint64_t generation) {
    std::uint64_t saved = savedChanges.load(std::memory_order_relaxed);
    while (generation > saved &&
           !savedChanges.compare_exchange_weak(saved, generation, std::memory_order_release,
                                               std::memory_order_relaxed)) {
    }
}

std::string CBtAdMemory::serialize() const {
    std::string bytes;
    bytes.reserve(6 + table->size() * digestRecordBytes);
    ArchiveWriter writer([&bytes](const char* chunk, std::size_t size) {
        bytes.append(chunk, size);
        return true;
    });
    writer.write(table->records());
    return bytes;
}

bool CBtAdMemory::saveIfChanged() {
    if (!isChanged()) {
        return false;
    }
    const std::uint64_t written = changes;
    if (!writeArchive(table->records(), archivePath, errorText)) {
        return false;
    }
    markSaved(written);
    return true;
}

bool CBtAdMemory::load() {
    const int fd = ::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errorText = "cannot read " + archivePath;
        return false;
    }
    const FileCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        errorText = "cannot read " + archivePath;
        return false;
    }
    try {
        ArchiveReader reader(fd, static_cast<std::uint64_t>(st.st_size));
        std::uint64_t records = 0;
        if (!reader.count(records)) {
            errorText = reader.failedToRead() ? "cannot read " + archivePath
                                              : archivePath + " has no record count";
            return false;
        }
        table->expect(static_cast<std::size_t>(
            std::min<std::uint64_t>(records, reader.left() / digestRecordBytes)));
        std::array<ReadRecord, loadRun> run;
        for (std::uint64_t n = 0; n < records;) {
            // A run of records in the station's own form, their index slots fetched ahead.
            std::size_t inRun = 0;
            while (inRun < loadRun && n + inRun < records && reader.need(digestRecordBytes) &&
                   readDigestRecord(reader.next(), run[inRun].key, run[inRun].stamp)) {
                reader.skip(digestRecordBytes);
                run[inRun].hash = table->hashOf(run[inRun].key);
                table->prefetch(run[inRun].hash);
                ++inRun;
            }
            for (std::size_t i = 0; i < inRun; ++i) {
                remember(*table, run[i].key, run[i].stamp, run[i].hash);
            }
            n += inRun;
            if (inRun == loadRun || n == records) {
                continue;
            }
            // Anything else, or the damage that ends the load, through the general reader.
            std::u16string text;
            OleStamp stamp;
            if (!reader.string(text) || !reader.stamp(stamp)) {
                errorText = reader.failedToRead()
                                ? "cannot read " + archivePath
                                : archivePath + " ends inside record " + std::to_string(n + 1) +
                                      " of " + std::to_string(records);
                return false;
            }
            Key key = keyFromText(std::move(text));
            remember(*table, key, stamp, table->hashOf(key));
            ++n;
        }
        return true;
    } catch (const std::bad_alloc&) {
        errorText = "out of memory while reading " + archivePath;
        return false;
    }
}

}  // namespace backo
