#include "boundedtext.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace obexa {

namespace {

// Files are opened as raw bytes; the path arrives as UTF-16 and the file system takes UTF-8.
std::FILE* openForReading(const std::u16string& path) {
    return std::fopen(platform::toUtf8(path).c_str(), "rb");
}

constexpr std::size_t lengthCountBlock = 325;

}  // namespace

std::u16string wideArgument(const char16_t* text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

std::string narrowArgument(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

bool copyBounded(std::u16string& target, std::u16string_view source, std::size_t capacity,
                 const CLogTarget& log, CallSite where) {
    if (source.size() >= capacity) {
        log.invalidParameter("(\"Buffer is too small\" && 0)", where);
        target.clear();
        return false;
    }
    target.assign(source);
    return true;
}

FileLength countFileLength(const std::u16string& path) {
    FileLength result;
    std::FILE* file = openForReading(path);
    if (file == nullptr) {
        result.error = std::strerror(errno);
        return result;
    }
    std::int64_t length = 0;
    char block[lengthCountBlock];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        length += static_cast<std::int64_t>(got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        result.error = "read error";
        return result;
    }
    result.length = length;
    return result;
}

std::optional<std::vector<std::uint8_t>> readFileRange(const std::u16string& path,
                                                       std::int64_t offset, std::int64_t count,
                                                       const CLogTarget& log, CallSite where) {
    if (offset < 0 || count < 0) {
        log.invalidParameter("(offset >= 0 && count >= 0)", where);
        return std::nullopt;
    }
    std::FILE* file = openForReading(path);
    if (file == nullptr) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    const bool placed = fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
    const std::size_t got = placed ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    std::fclose(file);
    if (!placed || got != bytes.size()) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace obexa
