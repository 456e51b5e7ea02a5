#pragma once
// MD5 message digest (RFC 1321) printed as 32 lowercase hexadecimal digits. Each hash starts
// from a fresh state, so one object can be reused for any number of texts.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class CRsaMd52 {
  public:
    virtual ~CRsaMd52() = default;

    // The digest of the bytes of `text` (all of them, including any zero bytes).
    std::string hash(std::string_view text);
    // The 16 digest bytes of the last hash.
    const std::array<std::uint8_t, 16>& digest() const { return digestBytes; }

  private:
    void init();
    void update(const std::uint8_t* input, std::size_t length);
    void finish();
    void transform(const std::uint8_t block[64]);

    std::array<std::uint32_t, 2> bitCount{};  // message length in bits, low word first
    std::array<std::uint32_t, 4> chain{};
    std::array<std::uint8_t, 64> buffer{};
    std::array<std::uint8_t, 16> digestBytes{};
};
