#include "md5.h"

#include <cstring>

namespace {

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr std::uint32_t shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                      5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                      4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                      6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr std::uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr std::uint8_t padding[64] = {0x80};

std::uint32_t rotateLeft(std::uint32_t x, std::uint32_t n) {
    return (x << n) | (x >> (32 - n));
}

std::uint32_t readLittleEndian(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void writeLittleEndian(std::uint32_t value, std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace

std::string CRsaMd52::hash(std::string_view text) {
    init();
    update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    finish();
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string printed;
    printed.reserve(32);
    for (std::uint8_t byte : digestBytes) {
        printed += hexDigits[byte >> 4];
        printed += hexDigits[byte & 0x0F];
    }
    return printed;
}

void CRsaMd52::init() {
    bitCount = {0, 0};
    chain = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    buffer.fill(0);
}

void CRsaMd52::update(const std::uint8_t* input, std::size_t length) {
    std::size_t used = (bitCount[0] >> 3) & 0x3F;
    const std::uint64_t bits = (static_cast<std::uint64_t>(bitCount[1]) << 32 | bitCount[0]) +
                               (static_cast<std::uint64_t>(length) << 3);
    bitCount = {static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(bits >> 32)};

    std::size_t done = 0;
    if (used + length >= 64) {
        done = 64 - used;
        std::memcpy(buffer.data() + used, input, done);
        transform(buffer.data());
        for (; done + 64 <= length; done += 64) {
            transform(input + done);
        }
        used = 0;
    }
    if (length > done) {
        std::memcpy(buffer.data() + used, input + done, length - done);
    }
}

void CRsaMd52::finish() {
    std::uint8_t lengthBytes[8];
    writeLittleEndian(bitCount[0], lengthBytes);
    writeLittleEndian(bitCount[1], lengthBytes + 4);
    const std::size_t used = (bitCount[0] >> 3) & 0x3F;
    update(padding, used < 56 ? 56 - used : 120 - used);
    update(lengthBytes, 8);
    for (int i = 0; i < 4; ++i) {
        writeLittleEndian(chain[i], digestBytes.data() + 4 * i);
    }
}

void CRsaMd52::transform(const std::uint8_t block[64]) {
    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i) {
        words[i] = readLittleEndian(block + 4 * i);
    }
    std::uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3];
    for (std::uint32_t i = 0; i < 64; ++i) {
        std::uint32_t mixed;
        std::uint32_t word;
        switch (i / 16) {
            case 0:
                mixed = (b & c) | (~b & d);
                word = i;
                break;
            case 1:
                mixed = (d & b) | (~d & c);
                word = (5 * i + 1) % 16;
                break;
            case 2:
                mixed = b ^ c ^ d;
                word = (3 * i + 5) % 16;
                break;
            default:
                mixed = c ^ (b | ~d);
                word = (7 * i) % 16;
                break;
        }
        const std::uint32_t next = b + rotateLeft(a + mixed + sines[i] + words[word], shifts[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    chain[0] += a;
    chain[1] += b;
    chain[2] += c;
    chain[3] += d;
}
