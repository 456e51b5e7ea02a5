#pragma once
// What the radio library needs from a Bluetooth stack: the local radios and one device inquiry.
// One backend talks to BlueZ, the other answers from the simulated world file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace radiox {

struct RadioFacts {
    std::uint64_t address = 0;
    std::string name;  // UTF-8
    std::uint32_t classOfDevice = 0;
    std::uint16_t subVersion = 0;
    std::uint16_t manufacturer = 0;
};

struct RadioSearch {
    std::vector<RadioFacts> radios;
    int lastError = 0;  // errno value that ended the search, 0 when none
};

struct DeviceFacts {
    std::uint64_t address = 0;
    std::uint32_t classOfDevice = 0;
    std::string name;  // UTF-8 as the device sent it; may be invalid or too long
};

struct InquiryResult {
    bool failed = false;  // the stack refused the inquiry; `error` says why
    int error = 0;
    std::vector<DeviceFacts> devices;
};

// One line for the trace about something the backend met (a bad world file, a stack error).
using Report = std::function<void(const std::string&)>;

class RadioBackend {
  public:
    virtual ~RadioBackend() = default;
    virtual RadioSearch radios() = 0;
    // One inquiry lasting `length` units of 1.28 s, returning at most `maxDevices` devices.
    virtual InquiryResult inquire(int length, std::size_t maxDevices) = 0;
};

std::unique_ptr<RadioBackend> makeBluezRadio(Report report);
std::unique_ptr<RadioBackend> makeSimulatedRadio(std::string worldFile, Report report);

}  // namespace radiox
