#include "tools/phonesim/phoneserver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "libs/simworld/simworld.h"
#include "platform/files.h"
#include "tools/phonesim/obex.h"

namespace phonesim {

namespace {

using SteadyClock = std::chrono::steady_clock;

timespec timespecUntil(SteadyClock::time_point deadline) {
    const auto left = std::max(SteadyClock::duration::zero(), deadline - SteadyClock::now());
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(left);
    const auto rest = std::chrono::duration_cast<std::chrono::nanoseconds>(left - whole);
    return {static_cast<time_t>(whole.count()), static_cast<long>(rest.count())};
}

bool isPut(const std::vector<std::uint8_t>& packet) {
    return (packet[0] & ~obex::finalBit) == obex::put;
}

int millisecondsUntil(SteadyClock::time_point deadline) {
    // Rounded up, so that a wait never ends before its deadline.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::string endpointText(const std::string& host, int port) {
    return host + ":" + std::to_string(port);
}

}  // namespace

std::optional<Answer> parseAnswer(const std::string& text) {
    if (text == "accept") {
        return Answer::accept;
    }
    if (text == "refuse") {
        return Answer::refuse;
    }
    if (text == "silent") {
        return Answer::silent;
    }
    if (text == "slow") {
        return Answer::slow;
    }
    return std::nullopt;
}

PhoneServer::PhoneServer(PhoneSettings p, std::filesystem::path inbox, EventSink e, ServerLimits l)
    : phone(std::move(p)),
      phoneFolder(inbox / compactAddress(phone.address)),
      events(std::move(e)),
      limits(l) {}

PhoneServer::~PhoneServer() {
    stop();
}

std::optional<std::string> PhoneServer::start() {
    std::error_code error;
    std::filesystem::create_directories(phoneFolder, error);
    if (error) {
        return "cannot create " + phoneFolder.string() + ": " + error.message();
    }
    stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopEvent < 0) {
        return std::string("cannot create an event: ") + std::strerror(errno);
    }
    if (auto problem = listenSocket()) {
        return problem;
    }
    try {
        acceptor = std::thread(&PhoneServer::acceptLoop, this);
    } catch (const std::system_error& e) {
        return std::string("cannot start a thread: ") + e.what();
    }
    return std::nullopt;
}

std::optional<std::string> PhoneServer::listenSocket() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(phone.port);
    const int resolved = ::getaddrinfo(phone.host.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0) {
        return "cannot resolve " + phone.host + ": " + ::gai_strerror(resolved);
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
    listener = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (listener < 0) {
        return std::string("cannot create a socket: ") + std::strerror(errno);
    }
    // Lets a restarted simulator take its ports while old connections linger in TIME_WAIT; a
    // port another program listens on still fails.
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listener, found->ai_addr, found->ai_addrlen) != 0) {
        const int bindError = errno;
        const std::string endpoint = endpointText(phone.host, phone.port);
        if (bindError == EADDRINUSE) {
            return "port " + std::to_string(phone.port) + " (" + endpoint + ") is in use";
        }
        return "cannot listen on " + endpoint + ": " + std::strerror(bindError);
    }
    if (::listen(listener, SOMAXCONN) != 0) {
        return "cannot listen on " + endpointText(phone.host, phone.port) + ": " +
               std::strerror(errno);
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    boundPort = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return std::nullopt;
}

void PhoneServer::stop() {
    if (stopEvent >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopEvent, &one, sizeof one);
    }
    if (acceptor.joinable()) {
        acceptor.join();
    }
    for (auto& connection : connections) {
        connection->thread.join();
    }
    connections.clear();
    if (listener >= 0) {
        ::close(listener);
        listener = -1;
    }
    if (stopEvent >= 0) {
        ::close(stopEvent);
        stopEvent = -1;
    }
}

void PhoneServer::acceptLoop() {
    for (;;) {
        pollfd watched[2] = {{listener, POLLIN, 0}, {stopEvent, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        if (watched[0].revents == 0) {
            continue;
        }
        const int socket = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        reapFinished();
        if (connections.size() >= limits.maxConnections) {
            ::close(socket);
            continue;
        }
        auto connection = std::make_unique<Connection>();
        Connection& started = *connection;
        connections.push_back(std::move(connection));
        try {
            started.thread = std::thread(&PhoneServer::serve, this, socket, std::ref(started));
        } catch (const std::system_error&) {
            connections.pop_back();
            ::close(socket);
        }
    }
}

void PhoneServer::reapFinished() {
    for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void PhoneServer::serve(int socket, Connection& connection) {
    // A client that stops reading must not hold the thread in send() for ever.
    timeval sendTimeout{};
    sendTimeout.tv_sec = static_cast<time_t>(limits.readTimeout.count() / 1000);
    sendTimeout.tv_usec = static_cast<suseconds_t>((limits.readTimeout.count() % 1000) * 1000);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    try {
        if (phone.hostility == Hostility::flood) {
            flood(socket);
        } else if (phone.answer == Answer::silent) {
            drain(socket);
        } else {
            answerRequests(socket);
        }
    } catch (const std::exception& e) {
        if (events) {
            events(simworld::addressText(phone.address) + " connection failed: " + e.what());
        }
    }
    ::close(socket);
    connection.finished = true;
}

// Each request crosses the link, waits for the user when it begins an object, is handled, and
// its answer is handed over when it would reach the client.
void PhoneServer::answerRequests(int socket) {
    ObexSession session({phoneFolder, simworld::addressText(phone.address),
                         phone.answer == Answer::refuse, limits.maxObjectSize},
                        events);
    LinkModel link(phone.link);
    std::optional<HostileAnswers> hostile;
    if (phone.hostility) {
        hostile.emplace(*phone.hostility);
    }
    while (auto request = readPacket(socket)) {
        if (!pauseUntil(link.requestArrives(request->firstSeen, request->bytes.size()))) {
            break;
        }
        if (isPut(request->bytes) && !session.objectInProgress() && !awaitDecision(socket)) {
            if (events) {
                events(simworld::addressText(phone.address) +
                       " connection ended before the user decided");
            }
            break;
        }
        if (hostile && hostile->hangsUpAt(request->bytes)) {
            break;  // the session reports the object it was taking as dropped
        }
        const Reply reply = session.handle(request->bytes);
        if (phone.answer == Answer::slow && !pause(limits.slowDelay)) {
            break;
        }
        if (!pauseUntil(link.answerArrives(SteadyClock::now(), reply.bytes.size()))) {
            break;
        }
        const bool sent =
            hostile ? sendPieces(socket, hostile->answer(reply)) : sendAll(socket, reply.bytes);
        if (!sent || reply.endsConnection) {
            break;
        }
    }
}

// A silent phone takes the connection and whatever is sent, and never answers.
void PhoneServer::drain(int socket) {
    while (readPacket(socket)) {
    }
}

// A flooding phone writes without end and reads nothing. It stops when the client hangs up,
// when the client has read nothing for the read time-out, or when the server stops.
void PhoneServer::flood(int socket) {
    const std::vector<std::uint8_t> chunk = HostileAnswers::floodChunk();
    for (;;) {
        pollfd watched[2] = {{socket, POLLOUT, 0}, {stopEvent, POLLIN, 0}};
        const int ready = ::poll(watched, 2, static_cast<int>(limits.readTimeout.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || watched[1].revents != 0 || (watched[0].revents & POLLOUT) == 0) {
            return;
        }
        const ssize_t sent =
            ::send(socket, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        }
    }
}

// A hostile answer's pieces, each after its pause.
bool PhoneServer::sendPieces(int socket, const std::vector<WirePiece>& pieces) {
    for (const WirePiece& piece : pieces) {
        if (!pause(piece.pauseBefore) || !sendAll(socket, piece.bytes)) {
            return false;
        }
    }
    return true;
}

std::optional<PhoneServer::Incoming> PhoneServer::readPacket(int socket) {
    const auto deadline = SteadyClock::now() + limits.readTimeout;
    Incoming packet{std::vector<std::uint8_t>(obex::packetHeadLength), {}};
    std::vector<std::uint8_t>& bytes = packet.bytes;
    if (!readExactly(socket, bytes.data(), bytes.size(), deadline)) {
        return std::nullopt;
    }
    // The head arrives with the first bytes the client sent; the rest follows on the link.
    packet.firstSeen = SteadyClock::now();
    const std::size_t length = (std::size_t{bytes[1]} << 8) | bytes[2];
    if (length < obex::packetHeadLength) {
        return std::nullopt;  // not OBEX: there is no way to find the next packet
    }
    bytes.resize(length);
    if (!readExactly(socket, bytes.data() + obex::packetHeadLength, length - obex::packetHeadLength,
                     deadline)) {
        return std::nullopt;
    }
    return packet;
}

bool PhoneServer::readExactly(int socket, std::uint8_t* into, std::size_t count,
                              SteadyClock::time_point deadline) {
    std::size_t done = 0;
    while (done < count) {
        if (!waitReadable(socket, deadline)) {
            return false;
        }
        const ssize_t n = ::recv(socket, into + done, count - done, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool PhoneServer::waitReadable(int socket, SteadyClock::time_point deadline) {
    for (;;) {
        pollfd watched[2] = {{socket, POLLIN, 0}, {stopEvent, POLLIN, 0}};
        const int ready = ::poll(watched, 2, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0 && watched[1].revents == 0 && watched[0].revents != 0;
    }
}

// Waits `delay` unless the server stops first; true when the whole delay passed.
bool PhoneServer::pause(std::chrono::milliseconds delay) {
    return pauseUntil(SteadyClock::now() + delay);
}

// ppoll rather than poll: a modeled link adds many short waits, and whole milliseconds would
// lengthen each of them.
bool PhoneServer::pauseUntil(SteadyClock::time_point deadline) {
    if (deadline <= SteadyClock::now()) {
        return true;  // nothing to wait for: a stop is noticed at the next read
    }
    for (;;) {
        pollfd watched{stopEvent, POLLIN, 0};
        const timespec left = timespecUntil(deadline);
        const int ready = ::ppoll(&watched, 1, &left, nullptr);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready == 0;
    }
}

bool PhoneServer::awaitDecision(int socket) {
    const simworld::Link& link = phone.link;
    if (link.acceptDelay.count() == 0 && !link.neverDecides) {
        return true;
    }
    const auto deadline = SteadyClock::now() + link.acceptDelay;
    for (;;) {
        // Only a hang-up counts: what the client sends meanwhile waits for the decision.
        pollfd watched[2] = {{stopEvent, POLLIN, 0}, {socket, POLLRDHUP, 0}};
        const timespec left = timespecUntil(deadline);
        const int ready = ::ppoll(watched, 2, link.neverDecides ? nullptr : &left, nullptr);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready == 0;
    }
}

bool PhoneServer::sendAll(int socket, const std::vector<std::uint8_t>& bytes) {
    return platform::sendAll(socket, bytes.data(), bytes.size());
}

}  // namespace phonesim
