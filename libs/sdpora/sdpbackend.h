#pragma once
// What the SDP library needs from a Bluetooth stack: a socket to prove the stack is there, and the
// service records of one device that use RFCOMM. One backend asks BlueZ, the other answers from
// the simulated world file.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sdpelement.h"

namespace sdpora {

struct ServiceSearch {
    int error = 0;               // errno value why the search could not run; 0 when it ran
    std::vector<Bytes> records;  // each a whole service record as its data element stream
};

// One line for the log about something the backend met.
using Report = std::function<void(const std::string&)>;

class SdpBackend {
  public:
    virtual ~SdpBackend() = default;
    // Makes the stack's RFCOMM socket; 0, or the errno value why it could not be made.
    virtual int open() = 0;
    virtual ServiceSearch searchRfcommRecords(std::uint64_t address) = 0;
};

std::unique_ptr<SdpBackend> makeBluezSdp(Report report);
std::unique_ptr<SdpBackend> makeSimulatedSdp(std::string worldFile, Report report);

}  // namespace sdpora
