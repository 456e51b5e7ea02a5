#pragma once
// Bounded text and file helpers. Where fixed-size buffers would overflow or a file argument is
// unusable, they write two diagnostic lines into the push's log and report failure, so a bad
// argument ends one push with an error instead of ending the process.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logtarget.h"

namespace obexa {

// A terminated wide text from the caller; a null pointer reads as the empty text.
std::u16string wideArgument(const char16_t* text);
std::string narrowArgument(const char* text);

// Copies `source` into `target` when it fits a buffer of `capacity` code units including the
// terminator; otherwise logs, leaves `target` empty and returns false.
bool copyBounded(std::u16string& target, std::u16string_view source, std::size_t capacity,
                 const CLogTarget& log,
                 CallSite where = {__builtin_FUNCTION(), __builtin_FILE(), __builtin_LINE()});

// The length of a file, counted by reading it through; the error text when it cannot be read.
struct FileLength {
    std::optional<std::int64_t> length;
    std::string error;
};
FileLength countFileLength(const std::u16string& path);

// Exactly `count` bytes from `offset`, or nothing (file gone, shorter than expected, bad range).
std::optional<std::vector<std::uint8_t>> readFileRange(
    const std::u16string& path, std::int64_t offset, std::int64_t count, const CLogTarget& log,
    CallSite where = {__builtin_FUNCTION(), __builtin_FILE(), __builtin_LINE()});

}  // namespace obexa
