#pragma once
// One SDP service search with all attributes, run without blocking so that it ends by a deadline
// the caller shares with its other steps: the L2CAP connect to the phone's SDP server, the request
// and every continuation of the answer. The answer's records are handed on as the data element
// streams the phone sent, and read with libbluetooth's own record parser.

#include <bluetooth/bluetooth.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sdpclient {

using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

struct SearchOutcome {
    int error = 0;               // errno value why the search did not complete; 0 when it did
    std::vector<Bytes> records;  // each record's data element stream
};

// Searches the device's records that name the 16-bit UUID `uuid` (a service class or protocol),
// connecting on the way. ETIMEDOUT when `deadline` passes first; the errno of the connect when the
// phone cannot be reached (EHOSTDOWN when it does not answer the page: out of range).
SearchOutcome searchDevice(std::uint64_t address, std::uint16_t uuid,
                           SteadyClock::time_point deadline);

// The same search on a session whose socket is already connected (a test's socket pair).
SearchOutcome searchSession(sdp_session_t* session, std::uint16_t uuid,
                            SteadyClock::time_point deadline);

// The records of an AttributeLists parameter (a sequence of attribute-list sequences); nothing
// when the bytes are not such a sequence or a record in it is malformed. Records are checked
// element by element here: libbluetooth's own parser leaks and can loop without end on
// malformed ones, so it only ever reads records that passed.
std::optional<std::vector<Bytes>> splitAttributeLists(const std::uint8_t* bytes, std::size_t size);

// The RFCOMM channel of the first record whose service class list names `serviceClass`; nothing
// when no record does or none names a channel. Malformed records are passed over.
std::optional<int> rfcommChannel(const std::vector<Bytes>& records, std::uint16_t serviceClass);

}  // namespace sdpclient
