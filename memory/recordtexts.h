#pragma once
// Turns a device record into the texts the station needs: the address in colon form for
// people, in compact form for the memory key, the salted memory key itself and the maker's
// name. Keeps no shared state: every caller (any thread) makes its own.

#include <array>
#include <cstdint>
#include <string>

#include "libs/include/btrecords.h"
#include "memory/saltedhash.h"
#include "platform/btaddress.h"

class CManufacturer;

namespace backo {

class CBtAdWrapper {
  public:
    // Six address bytes, least significant first, as a record holds them.
    using RawAddress = platform::btaddress::Bytes;

    static RawAddress addressBytes(const NyvexSighting& record);
    // "00:1A:7D:DA:71:13": most significant byte first.
    static std::string addressWithColons(const NyvexSighting& record);
    static std::string addressWithColons(const RawAddress& bytes);
    // "001A7DDA7113".
    static std::string addressPlain(const NyvexSighting& record);
    // True for no record and for a record whose six address bytes are all zero.
    static bool isNullAddress(const NyvexSighting* record);

    // The 32-digit key under which the device memory remembers the device.
    std::string memoryKey(const NyvexSighting& record);
    // The maker of the record's address prefix in `table`.
    static std::string manufacturerOf(const NyvexSighting& record, CManufacturer& table);

  private:
    CBOHash hasher;
};

}  // namespace backo
