#pragma once
// Bounded waits, whole sends and whole OBEX responses on a non-blocking stream socket.

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace obexa {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Connects a socket within `limit`; 0 or the errno (ETIMEDOUT when the time ran out). The
// socket is left in non-blocking mode.
int connectWithin(int socket, const sockaddr* address, socklen_t length, milliseconds limit);

struct SendResult {
    enum class Kind { sent, notWritable, failed };
    Kind kind = Kind::failed;
    int error = 0;
};
// Waits until the socket is writable, false when `deadline` passed first. A wait that fails
// with an error counts as ready: the send that follows reports the error.
bool waitWritable(int socket, SteadyClock::time_point deadline);
// Sends every byte, continuing partial sends, as long as the socket becomes writable again
// before `deadline`. Never raises SIGPIPE.
SendResult sendAll(int socket, const std::uint8_t* bytes, std::size_t count,
                   SteadyClock::time_point deadline);

// Reads and drops, without waiting, what the peer has sent so far, at most `limit` bytes; the
// number dropped. Called before a request is sent: bytes already there cannot be its answer.
std::size_t discardPending(int socket, std::size_t limit);

struct ReceiveResult {
    enum class Kind { response, timedOut, closed, failed };
    Kind kind = Kind::failed;
    int error = 0;
    std::size_t total = 0;  // bytes of the response read, kept or not
    std::size_t kept = 0;   // bytes stored in the caller's buffer
};
// Reads one whole response by its length field within `limit`, keeping the first `capacity`
// bytes. A length field below 3 ends the response after its head.
ReceiveResult receiveResponse(int socket, std::uint8_t* buffer, std::size_t capacity,
                              milliseconds limit);

}  // namespace obexa
