#pragma once
// How a push reaches a phone's Object Push server: over RFCOMM through BlueZ, or over TCP to
// the phone's endpoint in the simulated world. Either way the result is a connected stream
// socket in non-blocking mode, on which the exchange runs unchanged.

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

namespace obexa {

struct ConnectOutcome {
    enum class Kind { connected, noSocket, connectFailed };
    Kind kind = Kind::connectFailed;
    int socket = -1;
    int error = 0;  // errno of the failed step
};

// Whether a failed connect means the phone did not answer in time: the connect's own time-out,
// or a page no phone answered (BlueZ reports the page time-out of a phone out of range so).
inline bool isConnectTimeout(int error) {
    return error == ETIMEDOUT || error == EHOSTDOWN;
}

class CObexTransport {
  public:
    virtual ~CObexTransport() = default;
    // `address` is the 48-bit Bluetooth address, most significant byte in bits 40..47.
    virtual ConnectOutcome connect(std::uint64_t address) = 0;
};

std::unique_ptr<CObexTransport> makeBluezTransport();
std::unique_ptr<CObexTransport> makeSimTransport(std::string worldFile);
// The simulated world when NYVEX_SIMULATION names a world file, BlueZ otherwise.
std::unique_ptr<CObexTransport> makeTransport();

}  // namespace obexa
