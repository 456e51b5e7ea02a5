// The manufacturer file lookup. The file is UTF-16LE records "resource_STRING%09d" name
// "resource_END%09d"; the lookup reads it through an index of the start markers made at open.
// The index must give the very names a search of every window of the file gives, so the same
// input is also looked up by a table whose index could not be built.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <system_error>

#include "fuzz/fuzzfiles.h"
#include "memory/manufacturer.h"

namespace {

// A table whose first read fails: opening it builds no index, so every lookup searches the
// file window by window.
class WithoutIndex : public CManufacturer {
  protected:
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        if (!failedOnce) {
            failedOnce = true;
            throw std::system_error(EIO, std::generic_category(), "no index");
        }
        return CManufacturer::readAt(offset, buffer, size);
    }

  private:
    bool failedOnce = false;
};

// The OUIs named by start markers in the input (as UTF-16LE text, at any alignment), and a few
// others.
std::set<std::uint32_t> ouisIn(const std::uint8_t* data, std::size_t size) {
    std::set<std::uint32_t> ouis{0, 1, 0x001122, 999999999};
    const std::u16string word = u"resource_STRING";
    for (std::size_t at = 0; at + 2 * (word.size() + 9) <= size; ++at) {
        bool match = true;
        for (std::size_t i = 0; i < word.size() && match; ++i) {
            match = data[at + 2 * i] == word[i] && data[at + 2 * i + 1] == 0;
        }
        if (!match) {
            continue;
        }
        std::uint32_t oui = 0;
        for (std::size_t i = 0; i < 9; ++i) {
            const std::uint8_t digit = data[at + 2 * (word.size() + i)];
            oui = oui * 10 + (digit >= '0' && digit <= '9' ? digit - '0' : 0);
        }
        ouis.insert(oui);
    }
    return ouis;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzing::MemoryFile file;
    file.set(data, size);
    CManufacturer indexed;
    indexed.open(file.path());
    WithoutIndex searched;
    searched.open(file.path());
    for (const std::uint32_t oui : ouisIn(data, size)) {
        if (indexed.nameOf(oui) != searched.nameOf(oui)) {
            std::abort();
        }
    }
    return 0;
}
