#pragma once
// The blocked-manufacturer list: manufacturer names whose devices the scanner ignores. It is
// the INI list "nameblocks" (section nameblocks0 of the data INI file, keys nblock1 ...
// nblock<numblocks>), maintained by editing the file. The scanner makes a fresh one for every
// fetch, so an edit takes effect at the next fetch.

#include <cstdint>
#include <string>

#include "config/iniserializer.h"

class CNameBlocker : public CList2IniSerializer {
  public:
    // More entries than this are taken for a typing error in "numblocks"; the list is then
    // left empty (and the fault logged) rather than filled with millions of empty names.
    static constexpr std::int32_t maxBlockCount = 10000;

    // Reads "numblocks" and the list. Throws CIniSeriException before the configuration exists.
    CNameBlocker();

    // True when `name`, trimmed at both ends, equals one of the listed names exactly.
    bool isBlocked(const std::string& name) const;
    std::int32_t count() const { return blockCount; }

  private:
    static std::string keyOf(std::int32_t n) { return "nblock" + std::to_string(n); }

    std::int32_t blockCount = 0;
};
