#include "btadmemory.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace backo {

namespace {

constexpr std::uint32_t bucketCount = 17;
constexpr double secondsPerDay = 86400.0;

std::uint32_t bucketOf(const std::u16string& key) {
    std::uint32_t h = 0;
    for (const char16_t c : key) {
        h = 33 * h + c;
    }
    return h % bucketCount;
}

std::u16string keyText(const std::string& key) {
    return platform::toUtf16(key);
}

class ArchiveWriter {
  public:
    explicit ArchiveWriter(std::size_t expectedBytes) { bytes.reserve(expectedBytes); }

    void u8(std::uint8_t v) { bytes += static_cast<char>(v); }
    void u16(std::uint16_t v) { little(v, 2); }
    void u32(std::uint32_t v) { little(v, 4); }

    void count(std::size_t n) {
        if (n < 0xFFFF) {
            u16(static_cast<std::uint16_t>(n));
            return;
        }
        u16(0xFFFF);
        u32(static_cast<std::uint32_t>(n));
    }

    void string(const std::u16string& text) {
        u8(0xFF);
        u16(0xFFFE);
        const std::size_t n = text.size();
        if (n < 0xFF) {
            u8(static_cast<std::uint8_t>(n));
        } else if (n < 0xFFFE) {
            u8(0xFF);
            u16(static_cast<std::uint16_t>(n));
        } else {
            u8(0xFF);
            u16(0xFFFF);
            u32(static_cast<std::uint32_t>(n));
        }
        for (const char16_t c : text) {
            u16(c);
        }
    }

    void stamp(const OleStamp& s) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &s.date, sizeof bits);
        little(bits, 8);
        u32(static_cast<std::uint32_t>(s.status));
    }

    std::string bytes;

  private:
    void little(std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) {
            bytes += static_cast<char>(v >> (8 * i));
        }
    }
};

// Reads the archive from memory; every read checks the bytes left first, so lying lengths and
// counts end the load instead of allocating or reading past the end.
class ArchiveReader {
  public:
    explicit ArchiveReader(std::string_view data) : data(data) {}

    bool u8(std::uint8_t& v) { return little(v); }
    bool u16(std::uint16_t& v) { return little(v); }
    bool u32(std::uint32_t& v) { return little(v); }
    bool u64(std::uint64_t& v) { return little(v); }

    bool count(std::uint64_t& n) {
        std::uint16_t shortCount = 0;
        if (!u16(shortCount)) {
            return false;
        }
        if (shortCount != 0xFFFF) {
            n = shortCount;
            return true;
        }
        std::uint32_t longCount = 0;
        if (!u32(longCount)) {
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
                u16(unit);
                text += static_cast<char16_t>(unit);
            } else {
                std::uint8_t byte = 0;
                u8(byte);
                text += static_cast<char16_t>(byte);  // 8-bit keys are Latin-1 text
            }
        }
        return true;
    }

    bool stamp(OleStamp& s) {
        std::uint64_t bits = 0;
        std::uint32_t status = 0;
        if (!u64(bits) || !u32(status)) {
            return false;
        }
        std::memcpy(&s.date, &bits, sizeof bits);
        s.status = static_cast<std::int32_t>(status);
        return true;
    }

    std::size_t left() const { return data.size() - position; }

  private:
    // One byte below 0xFF is the length of an 8-bit string. Otherwise a 16-bit word follows;
    // 0xFFFE tags a UTF-16 string whose length is read again from its first byte. Lengths
    // widen from 16 to 32 to 64 bits at each all-ones value.
    bool stringLength(std::uint64_t& length, bool& wide) {
        std::uint8_t byteLength = 0;
        std::uint16_t wordLength = 0;
        if (!u8(byteLength)) {
            return false;
        }
        if (byteLength < 0xFF) {
            length = byteLength;
            return true;
        }
        if (!u16(wordLength)) {
            return false;
        }
        if (wordLength == 0xFFFE) {
            wide = true;
            if (!u8(byteLength)) {
                return false;
            }
            if (byteLength < 0xFF) {
                length = byteLength;
                return true;
            }
            if (!u16(wordLength)) {
                return false;
            }
        }
        if (wordLength < 0xFFFF) {
            length = wordLength;
            return true;
        }
        std::uint32_t longLength = 0;
        if (!u32(longLength)) {
            return false;
        }
        if (longLength < 0xFFFFFFFF) {
            length = longLength;
            return true;
        }
        return u64(length);
    }

    template <typename T>
    bool little(T& v) {
        if (left() < sizeof(T)) {
            return false;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[position + i]))
                     << (8 * i);
        }
        position += sizeof(T);
        v = static_cast<T>(value);
        return true;
    }

    std::string_view data;
    std::size_t position = 0;
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

void CBtAdMemory::remember(std::u16string key, const OleStamp& stamp) {
    const auto [entry, added] = table.try_emplace(std::move(key), Entry{stamp, nextSequence});
    if (added) {
        ++nextSequence;
    } else {
        entry->second.stamp = stamp;  // a key read again keeps its place in the written order
    }
}

bool CBtAdMemory::addIfAbsent(const std::string& key) {
    const auto [entry, added] = table.try_emplace(keyText(key), Entry{oleNow(), nextSequence});
    if (!added) {
        return false;
    }
    ++nextSequence;
    changed = true;
    return true;
}

bool CBtAdMemory::lookup(const std::string& key, bool polite) {
    const auto found = table.find(keyText(key));
    if (found == table.end()) {
        return false;
    }
    if (polite) {
        found->second.stamp.date += oneMinute;
        changed = true;
    }
    return true;
}

void CBtAdMemory::purgeOlderThan(double limitDays) {
    const OleStamp now = oleNow();
    const double limitSeconds = wholeSeconds(limitDays);
    for (auto it = table.begin(); it != table.end();) {
        const OleStamp& stamp = it->second.stamp;
        const double ageSeconds = wholeSeconds(now.date - stamp.date);
        // A stamp that cannot be aged (not valid, not a number) would block its device for
        // ever; it counts as expired.
        const bool ageless = stamp.status != OleStamp::valid || !std::isfinite(ageSeconds);
        if (ageless || limitSeconds < ageSeconds) {
            it = table.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
}

void CBtAdMemory::removeAll() {
    table.clear();
    changed = true;
}

std::optional<OleStamp> CBtAdMemory::stampOf(const std::string& key) const {
    const auto found = table.find(keyText(key));
    if (found == table.end()) {
        return std::nullopt;
    }
    return found->second.stamp;
}

std::string CBtAdMemory::serialize() const {
    struct Placed {
        std::uint32_t bucket;
        std::uint64_t sequence;
        const std::pair<const std::u16string, Entry>* entry;
    };
    std::vector<Placed> order;
    order.reserve(table.size());
    for (const auto& entry : table) {
        order.push_back({bucketOf(entry.first), entry.second.sequence, &entry});
    }
    std::sort(order.begin(), order.end(), [](const Placed& a, const Placed& b) {
        return a.bucket != b.bucket ? a.bucket < b.bucket : a.sequence > b.sequence;
    });

    ArchiveWriter writer(6 + table.size() * 80);
    writer.count(table.size());
    for (const Placed& placed : order) {
        writer.string(placed.entry->first);
        writer.stamp(placed.entry->second.stamp);
    }
    return std::move(writer.bytes);
}

bool CBtAdMemory::saveIfChanged() {
    if (!changed) {
        return false;
    }
    std::string error;
    if (!platform::replaceFileAtomically(archivePath, serialize(), &error)) {
        errorText = error;
        return false;
    }
    changed = false;
    return true;
}

bool CBtAdMemory::load() {
    const auto content = platform::readFile(archivePath);
    if (!content) {
        errorText = "cannot read " + archivePath;
        return false;
    }
    ArchiveReader reader(*content);
    std::uint64_t records = 0;
    if (!reader.count(records)) {
        errorText = archivePath + " has no record count";
        return false;
    }
    for (std::uint64_t n = 0; n < records; ++n) {
        std::u16string key;
        OleStamp stamp;
        if (!reader.string(key) || !reader.stamp(stamp)) {
            errorText = archivePath + " ends inside record " + std::to_string(n + 1) + " of " +
                        std::to_string(records);
            return false;
        }
        remember(std::move(key), stamp);
    }
    return true;
}

}  // namespace backo
