#pragma once
// The bucket hash of the station's 17-bucket tables: h = h × 33 + c over the UTF-16 code units of
// a key, modulo the number of buckets. Tables walked bucket by bucket in this order give the same
// order for the same keys on every run (the campaign choice's tie-break, the device memory's
// archive bytes).

#include <cstdint>
#include <string_view>

namespace support {

inline std::uint32_t bucketOf(std::u16string_view key, std::uint32_t buckets) {
    std::uint32_t hash = 0;
    for (const char16_t unit : key) {
        hash = hash * 33u + unit;
    }
    return hash % buckets;
}

}  // namespace support
