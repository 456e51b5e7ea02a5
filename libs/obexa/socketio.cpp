#include "socketio.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace obexa {

namespace {

constexpr std::size_t responseHeadLength = 3;

enum class Readiness { ready, timedOut };

// Waits for `events` until `deadline`. A failed wait counts as ready: the following call then
// reports the socket's error.
Readiness waitFor(int socket, short events, SteadyClock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now());
        if (left.count() < 0) {
            return Readiness::timedOut;
        }
        pollfd entry{socket, events, 0};
        const int result = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (result > 0) {
            return Readiness::ready;
        }
        if (result == 0) {
            return Readiness::timedOut;
        }
        if (errno != EINTR) {
            return Readiness::ready;
        }
    }
}

void makeNonBlocking(int socket) {
    const int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags >= 0) {
        ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    }
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

int connectWithin(int socket, const sockaddr* address, socklen_t length, milliseconds limit) {
    makeNonBlocking(socket);
    if (::connect(socket, address, length) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    if (waitFor(socket, POLLOUT, SteadyClock::now() + limit) == Readiness::timedOut) {
        return ETIMEDOUT;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return errno;
    }
    return error;
}

bool waitWritable(int socket, SteadyClock::time_point deadline) {
    return waitFor(socket, POLLOUT, deadline) == Readiness::ready;
}

SendResult sendAll(int socket, const std::uint8_t* bytes, std::size_t count,
                   SteadyClock::time_point deadline) {
    std::size_t done = 0;
    while (done < count) {
        if (waitFor(socket, POLLOUT, deadline) == Readiness::timedOut) {
            return {SendResult::Kind::notWritable, 0};
        }
        const ssize_t sent = ::send(socket, bytes + done, count - done, MSG_NOSIGNAL);
        if (sent < 0 && wouldBlock(errno)) {
            continue;
        }
        if (sent < 0) {
            return {SendResult::Kind::failed, errno};
        }
        done += static_cast<std::size_t>(sent);
    }
    return {SendResult::Kind::sent, 0};
}

ReceiveResult receiveResponse(int socket, std::uint8_t* buffer, std::size_t capacity,
                              milliseconds limit) {
    const auto deadline = SteadyClock::now() + limit;
    ReceiveResult result;
    std::array<std::uint8_t, responseHeadLength> head{};
    std::size_t wanted = responseHeadLength;
    std::array<std::uint8_t, 512> chunk{};
    while (result.total < wanted) {
        if (waitFor(socket, POLLIN, deadline) == Readiness::timedOut) {
            result.kind = ReceiveResult::Kind::timedOut;
            return result;
        }
        const std::size_t asked = std::min(chunk.size(), wanted - result.total);
        const ssize_t got = ::recv(socket, chunk.data(), asked, 0);
        if (got < 0 && wouldBlock(errno)) {
            continue;
        }
        if (got < 0) {
            result.kind = ReceiveResult::Kind::failed;
            result.error = errno;
            return result;
        }
        if (got == 0) {
            result.kind = ReceiveResult::Kind::closed;
            return result;
        }
        for (ssize_t i = 0; i < got; ++i, ++result.total) {
            if (result.total < head.size()) {
                head[result.total] = chunk[static_cast<std::size_t>(i)];
            }
            if (result.kept < capacity) {
                buffer[result.kept++] = chunk[static_cast<std::size_t>(i)];
            }
        }
        if (result.total == responseHeadLength && wanted == responseHeadLength) {
            const std::size_t announced = (std::size_t{head[1]} << 8) | head[2];
            wanted = std::max(announced, responseHeadLength);
        }
    }
    result.kind = ReceiveResult::Kind::response;
    return result;
}

std::size_t discardPending(int socket, std::size_t limit) {
    std::array<std::uint8_t, 4096> sink{};
    std::size_t dropped = 0;
    while (dropped < limit) {
        const ssize_t got =
            ::recv(socket, sink.data(), std::min(sink.size(), limit - dropped), MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // nothing more waiting, the peer closed, or an error the next step reports
        }
        dropped += static_cast<std::size_t>(got);
    }
    return dropped;
}

}  // namespace obexa
