#include "fakephone.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace obexatest {

namespace {

constexpr int idleLimitMs = 15000;

bool waitReadable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, idleLimitMs) > 0;
}

bool readExactly(int fd, std::uint8_t* into, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (!waitReadable(fd)) {
            return false;
        }
        const ssize_t got = ::recv(fd, into + done, count - done, 0);
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool readRequest(int fd, Bytes& request) {
    request.assign(3, 0);
    if (!readExactly(fd, request.data(), 3)) {
        return false;
    }
    const std::size_t length = (std::size_t{request[1]} << 8) | request[2];
    if (length < 3) {
        return false;
    }
    request.resize(length);
    return readExactly(fd, request.data() + 3, length - 3);
}

void sendBytes(int fd, const Bytes& bytes) {
    if (!bytes.empty()) {
        (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
}

}  // namespace

Answer reply(Bytes bytes) {
    return {Answer::Kind::reply, std::move(bytes)};
}
Answer delayedReply(Bytes bytes, std::chrono::milliseconds delay) {
    return {Answer::Kind::reply, std::move(bytes), delay};
}
Bytes connectAnswer(std::uint16_t maxPacket) {
    return {0xA0,
            0x00,
            0x07,
            0x10,
            0x00,
            static_cast<std::uint8_t>(maxPacket >> 8),
            static_cast<std::uint8_t>(maxPacket & 0xFF)};
}
Answer splitReply(Bytes bytes) {
    return {Answer::Kind::splitReply, std::move(bytes)};
}
Answer silence() {
    return {Answer::Kind::silence, {}};
}
Answer closeConnection() {
    return {Answer::Kind::close, {}};
}

FakePhone::FakePhone(Mode mode, std::map<int, Answer> answers) : script(std::move(answers)) {
    if (mode == Mode::socketPair) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
            throw std::runtime_error("socketpair failed");
        }
        clientSocket = ends[0];
        worker = std::thread([this, end = ends[1]] { serve(end); });
        return;
    }
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("loopback listener failed");
    }
    tcpPort = ntohs(address.sin_port);
    worker = std::thread([this] {
        if (waitReadable(listener)) {
            serve(::accept(listener, nullptr, nullptr));
        }
    });
}

FakePhone::~FakePhone() {
    if (worker.joinable()) {
        worker.join();
    }
    if (clientSocket >= 0) {
        ::close(clientSocket);
    }
    if (listener >= 0) {
        ::close(listener);
    }
}

int FakePhone::takeClientSocket() {
    const int fd = clientSocket;
    clientSocket = -1;
    return fd;
}

std::vector<Bytes> FakePhone::requests() {
    if (worker.joinable()) {
        worker.join();
    }
    std::lock_guard guard(lock);
    return seen;
}

Bytes FakePhone::receivedObject() {
    Bytes object;
    for (const Bytes& request : requests()) {
        if (request[0] != 0x02 && request[0] != 0x82) {
            continue;
        }
        // Walk the headers: Body (0x48) and End of Body (0x49) carry the object's bytes.
        std::size_t at = 3;
        while (at + 3 <= request.size()) {
            const std::uint8_t id = request[at];
            std::size_t length = 0;
            switch (id >> 6) {
                case 0:
                case 1:
                    length = (std::size_t{request[at + 1]} << 8) | request[at + 2];
                    break;
                case 2:
                    length = 2;
                    break;
                default:
                    length = 5;
                    break;
            }
            if ((id == 0x48 || id == 0x49) && at + length <= request.size()) {
                object.insert(object.end(), request.begin() + static_cast<std::ptrdiff_t>(at + 3),
                              request.begin() + static_cast<std::ptrdiff_t>(at + length));
            }
            at += length == 0 ? request.size() : length;
        }
    }
    return object;
}

Answer FakePhone::answerFor(int index, const Bytes& request) const {
    if (const auto scripted = script.find(index); scripted != script.end()) {
        return scripted->second;
    }
    switch (request[0]) {
        case 0x80:
            return reply(connectAnswer(1024));
        case 0x02:
            return reply({0x90, 0x00, 0x03});
        default:
            return reply({0xA0, 0x00, 0x03});
    }
}

void FakePhone::serve(int connection) {
    if (connection < 0) {
        return;
    }
    Bytes request;
    for (int index = 0; readRequest(connection, request); ++index) {
        {
            std::lock_guard guard(lock);
            seen.push_back(request);
        }
        const Answer answer = answerFor(index, request);
        if (answer.kind == Answer::Kind::close) {
            break;
        }
        std::this_thread::sleep_for(answer.delay);
        if (answer.kind == Answer::Kind::splitReply) {
            const std::size_t half = answer.bytes.size() / 2;
            sendBytes(connection, Bytes(answer.bytes.begin(), answer.bytes.begin() + half));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            sendBytes(connection, Bytes(answer.bytes.begin() + half, answer.bytes.end()));
            continue;
        }
        sendBytes(connection, answer.bytes);
    }
    ::close(connection);
}

}  // namespace obexatest
