#pragma once
// The BlueZ transport's steps, apart so that tests can stand in for the radio: the RFCOMM socket,
// the SDP search for the Object Push channel and the RFCOMM connect. The transport runs the
// search and the connect of one push at a time in the whole process (many controllers refuse to
// page several phones at once), under one deadline that starts when the push asks to connect;
// the data transfers of connected pushes run side by side.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "libs/sdpclient/sdpsearch.h"
#include "transport.h"

namespace obexa {

struct BluezSteps {
    // A new RFCOMM stream socket, or -1 with errno set.
    std::function<int()> openSocket;
    // The Object Push records of the phone, by the deadline.
    std::function<sdpclient::SearchOutcome(std::uint64_t address,
                                           sdpclient::SteadyClock::time_point deadline)>
        searchObjectPush;
    // Connects the socket to the phone's channel within `limit`; 0 or the errno.
    std::function<int(int socket, std::uint64_t address, int channel,
                      std::chrono::milliseconds limit)>
        connectChannel;
};

// The steps that use the machine's Bluetooth stack.
BluezSteps systemBluezSteps();
std::unique_ptr<CObexTransport> makeBluezTransport(BluezSteps steps,
                                                   std::chrono::milliseconds setupLimit);

// How long the search and the connect of one push may take together, waiting for their turn
// included.
inline constexpr std::chrono::milliseconds bluezSetupLimit{30000};

}  // namespace obexa
