#include "manufacturer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <new>
#include <set>
#include <system_error>

#include "platform/text.h"

namespace {

constexpr std::u16string_view startWord = u"resource_STRING";
constexpr std::u16string_view endWord = u"resource_END";
constexpr std::size_t digitCount = 9;
constexpr std::size_t startMarkerLength = startWord.size() + digitCount;  // 24
constexpr std::size_t startMarkerBytes = 2 * startMarkerLength;
constexpr std::size_t indexBlockBytes = 1 << 20;

std::u16string marker(std::u16string_view word, std::uint32_t oui) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%09u", oui);
    std::u16string text(word);
    for (const char* d = digits; *d != '\0'; ++d) {
        text += static_cast<char16_t>(*d);
    }
    return text;
}

bool isWhiteSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::u16string trimmed(std::u16string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isWhiteSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isWhiteSpace(text[end - 1])) {
        --end;
    }
    return std::u16string(text.substr(begin, end - begin));
}

std::u16string cutName(const std::u16string& name) {
    if (name.size() <= CManufacturer::nameCut) {
        return name;
    }
    std::size_t length = CManufacturer::nameCut;
    if (name[length - 1] >= 0xD800 && name[length - 1] <= 0xDBFF) {
        --length;  // never keep half of a surrogate pair
    }
    return name.substr(0, length);
}

// The window's text: UTF-16LE up to the first zero character; an odd last byte counts as a
// character with a zero high byte.
std::u16string windowText(const std::vector<unsigned char>& bytes, std::size_t count) {
    std::u16string text;
    text.reserve((count + 1) / 2);
    for (std::size_t i = 0; i < count; i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) {
            break;
        }
        text += c;
    }
    return text;
}

bool isDigitUnit(unsigned char low, unsigned char high) {
    return high == 0 && low >= '0' && low <= '9';
}

// The OUI a start marker at `p` names, or nothing when no nine digits follow its word. The
// last digit is judged by its low byte alone, as the odd last byte of a window would be, so
// the index never misses a marker a window search could find.
bool parseMarkerDigits(const unsigned char* p, std::uint32_t& oui) {
    const unsigned char* digits = p + 2 * startWord.size();
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digitCount; ++i) {
        const unsigned char low = digits[2 * i];
        const unsigned char high = i + 1 < digitCount ? digits[2 * i + 1] : 0;
        if (!isDigitUnit(low, high)) {
            return false;
        }
        value = value * 10 + static_cast<std::uint32_t>(low - '0');
    }
    oui = value;
    return true;
}

}  // namespace

CManufacturer::~CManufacturer() {
    close();
}

void CManufacturer::close() {
    file.close();
    indexed = false;
    startMarkerOffsets.clear();
    std::lock_guard<std::mutex> guard(cacheLock);
    cache.clear();
}

void CManufacturer::open(const std::string& path) {
    close();
    file = platform::FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen()) {
        return;
    }
    try {
        buildIndex();
        indexed = true;
    } catch (...) {
        // Without the index every lookup searches the file window by window.
        startMarkerOffsets.clear();
    }
}

std::size_t CManufacturer::readAt(std::uint64_t offset, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(file.get(), buffer + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw std::system_error(errno, std::generic_category(), "manufacturer file");
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Reads the file once in large blocks that overlap by a marker's length and notes the byte
// offset of every start marker, by OUI, in file order.
void CManufacturer::buildIndex() {
    std::u16string word(startWord);
    const std::string wordBytes(reinterpret_cast<const char*>(word.data()), 2 * word.size());
    const std::boyer_moore_horspool_searcher searcher(wordBytes.begin(), wordBytes.end());
    std::vector<char> block(indexBlockBytes + startMarkerBytes);
    std::uint64_t blockStart = 0;
    for (;;) {
        const std::size_t count = readAt(blockStart, block.data(), block.size());
        const auto end = block.begin() + static_cast<std::ptrdiff_t>(count);
        for (auto it = std::search(block.begin(), end, searcher); it != end;
             it = std::search(it + 1, end, searcher)) {
            const auto at = static_cast<std::size_t>(it - block.begin());
            std::uint32_t oui = 0;
            if (at % 2 != 0 || at >= indexBlockBytes || at + startMarkerBytes > count ||
                !parseMarkerDigits(reinterpret_cast<const unsigned char*>(block.data() + at),
                                   oui)) {
                continue;  // misaligned, or left for the next block which starts here
            }
            startMarkerOffsets[oui].push_back(blockStart + at);
        }
        if (count < block.size()) {
            return;
        }
        blockStart += indexBlockBytes;
    }
}

// Every window position that holds at least the first 47 bytes of one of the OUI's start
// markers, in ascending order: no other window can find the record.
std::vector<std::uint64_t> CManufacturer::candidateWindows(std::uint32_t oui) const {
    std::set<std::uint64_t> windows;
    const auto found = startMarkerOffsets.find(oui);
    if (found == startMarkerOffsets.end()) {
        return {};
    }
    for (const std::uint64_t offset : found->second) {
        const std::uint64_t lastByte = offset + startMarkerBytes - 2;
        const std::uint64_t first =
            lastByte >= windowBytes ? (lastByte - windowBytes) / chunkSize + 1 : 0;
        for (std::uint64_t w = first; w * chunkSize <= offset; ++w) {
            windows.insert(w * chunkSize);
        }
    }
    return {windows.begin(), windows.end()};
}

bool CManufacturer::searchWindow(std::uint64_t position, const std::u16string& startMarker,
                                 const std::u16string& endMarker, std::u16string& name,
                                 bool& atEnd) {
    std::vector<unsigned char> bytes(windowBytes + 1, 0);
    const std::size_t count = readAt(position, reinterpret_cast<char*>(bytes.data()), windowBytes);
    atEnd = count == 0;
    const std::u16string text = windowText(bytes, count);
    const std::size_t start = text.find(startMarker);
    if (start == std::u16string::npos) {
        return false;
    }
    const std::size_t end = text.find(endMarker, start);
    if (end == std::u16string::npos) {
        return false;
    }
    const std::size_t nameStart = start + startMarkerLength;
    name = trimmed(std::u16string_view(text).substr(nameStart, end - nameStart));
    return true;
}

std::u16string CManufacturer::search(std::uint32_t oui) {
    const std::u16string startMarker = marker(startWord, oui);
    const std::u16string endMarker = marker(endWord, oui);
    std::u16string name;
    bool atEnd = false;
    if (indexed) {
        for (const std::uint64_t position : candidateWindows(oui)) {
            if (searchWindow(position, startMarker, endMarker, name, atEnd)) {
                return name;
            }
        }
        return {};
    }
    for (std::uint64_t position = 0; !atEnd; position += chunkSize) {
        if (searchWindow(position, startMarker, endMarker, name, atEnd)) {
            return name;
        }
    }
    return {};
}

std::string CManufacturer::nameOf(std::uint32_t oui) {
    {
        std::lock_guard<std::mutex> guard(cacheLock);
        const auto cached = cache.find(oui);
        if (cached != cache.end()) {
            return platform::toUtf8(cutName(cached->second));
        }
    }
    if (!file.isOpen()) {
        return unreadable;
    }
    std::u16string name;
    try {
        name = search(oui);
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    } catch (...) {
        return unreadable;
    }
    if (!name.empty()) {
        std::lock_guard<std::mutex> guard(cacheLock);
        cache.emplace(oui, name);
    }
    return platform::toUtf8(cutName(name));
}
