#pragma once
// The SDP library's one object: asks a phone which RFCOMM channel its Object Push service listens
// on, by walking every service record of the phone that uses RFCOMM, attribute by attribute, and
// logging what it sees when logging is on.

#include <cstdint>
#include <functional>
#include <memory>

#include "libs/common/dllcomponent.h"
#include "sdpbackend.h"

class CSdp1 : public CDllComponent {
  public:
    // Records beyond this many are not looked at.
    static constexpr int passLimit = 31;

    using BackendMaker = std::function<std::unique_ptr<sdpora::SdpBackend>(sdpora::Report)>;

    // The simulated world when one is named, else BlueZ.
    CSdp1();
    explicit CSdp1(BackendMaker makeBackend);

    // The channel of the last Object Push record; 0 when none; 1 when the socket failed.
    int getOppPort1(std::uint32_t addressLow, std::uint32_t addressHigh);

  private:
    // What one lookup has seen so far.
    struct Walk {
        int currentChannel = 0;
        int foundChannel = 0;
    };

    void lookup(sdpora::SdpBackend& backend, std::uint64_t address, Walk& walk);
    void walkRecord(sdpora::ByteView record, Walk& walk);
    void walkAttribute(std::uint16_t id, const sdpora::Element& value, Walk& walk);
    void logType(const sdpora::Element& element);
    void logSpecificType(const sdpora::Element& element);

    BackendMaker makeBackend;
};
