#include "scriptedphone.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "platform/files.h"

namespace sendingtest {

namespace {

using Packet = std::vector<std::uint8_t>;

bool readExactly(int socket, std::uint8_t* into, std::size_t length) {
    while (length > 0) {
        const ssize_t got = ::recv(socket, into, length, 0);
        if (got <= 0) {
            return false;
        }
        into += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

// One whole OBEX packet by its length field; empty when the connection ended.
Packet readPacket(int socket) {
    Packet packet(3);
    if (!readExactly(socket, packet.data(), 3)) {
        return {};
    }
    const std::size_t length = (packet[1] << 8) | packet[2];
    if (length < 3) {
        return {};
    }
    packet.resize(length);
    if (!readExactly(socket, packet.data() + 3, length - 3)) {
        return {};
    }
    return packet;
}

void answer(int socket, const Packet& response) {
    platform::sendAll(socket, response.data(), response.size());
}

// Appends the Body and End-of-Body headers of a PUT to `body`, and its Type to `type`.
void readHeaders(const Packet& put, std::string& body, std::string& type) {
    std::size_t at = 3;
    while (at < put.size()) {
        const std::uint8_t id = put[at];
        switch (id >> 6) {
            case 0:
            case 1: {
                if (at + 3 > put.size()) {
                    return;
                }
                const std::size_t length = (put[at + 1] << 8) | put[at + 2];
                if (length < 3 || at + length > put.size()) {
                    return;
                }
                const std::string value(put.begin() + at + 3, put.begin() + at + length);
                if (id == 0x48 || id == 0x49) {
                    body += value;
                } else if (id == 0x42) {
                    type = value.substr(0, value.find('\0'));
                }
                at += length;
                break;
            }
            case 2:
                at += 2;
                break;
            default:
                at += 5;
                break;
        }
    }
}

}  // namespace

ScriptedPhone::ScriptedPhone(bool accepts) : accepts(accepts) {
    listener = platform::FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (!listener.isOpen() ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener.get(), 8) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("the scripted phone cannot listen");
    }
    listenPort = ntohs(address.sin_port);
    server = std::thread([this] { serve(); });
}

ScriptedPhone::~ScriptedPhone() {
    stopping = true;
    server.join();
}

std::string ScriptedPhone::body() {
    std::lock_guard guard(lock);
    return receivedBody;
}

std::string ScriptedPhone::type() {
    std::lock_guard guard(lock);
    return receivedType;
}

void ScriptedPhone::serve() {
    while (!stopping) {
        pollfd waiting{listener.get(), POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) {
            continue;
        }
        const platform::FileDescriptor connection(
            ::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.isOpen()) {
            converse(connection.get());
        }
    }
}

void ScriptedPhone::converse(int connection) {
    std::string body;
    std::string type;
    for (Packet request = readPacket(connection); !request.empty();
         request = readPacket(connection)) {
        switch (request[0]) {
            case 0x80:  // CONNECT: OBEX 1.0, no flags, packets up to 0x2000 bytes
                answer(connection, {0xA0, 0x00, 0x07, 0x10, 0x00, 0x20, 0x00});
                break;
            case 0x02:  // a PUT packet before the last
                readHeaders(request, body, type);
                answer(connection, {0x90, 0x00, 0x03});
                break;
            case 0x82: {  // the last PUT packet
                readHeaders(request, body, type);
                answer(connection, {static_cast<std::uint8_t>(accepts ? 0xA0 : 0xC3), 0x00, 0x03});
                std::lock_guard guard(lock);
                receivedBody = accepts ? body : std::string();
                receivedType = type;
                break;
            }
            default:  // DISCONNECT and anything else
                answer(connection, {0xA0, 0x00, 0x03});
                break;
        }
    }
}

}  // namespace sendingtest
