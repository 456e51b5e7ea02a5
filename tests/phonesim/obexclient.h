#pragma once
// A raw OBEX client for driving the phone simulator over loopback TCP: it builds request
// packets byte by byte, so tests can send what the station sends and what other clients and
// hostile peers send.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace phonesim_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

inline void append16(Bytes& to, std::size_t value) {
    to.push_back(static_cast<std::uint8_t>(value >> 8));
    to.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// A text or byte-sequence header: id, length counting its three-byte head, contents.
inline Bytes header(std::uint8_t id, const Bytes& contents) {
    Bytes h{id};
    append16(h, contents.size() + 3);
    h.insert(h.end(), contents.begin(), contents.end());
    return h;
}

// A Name header from UTF-16 code units, high byte first, with the terminating null unless told.
inline Bytes nameHeader(const std::u16string& name, bool terminated = true) {
    Bytes contents;
    for (char16_t unit : name) {
        append16(contents, unit);
    }
    if (terminated) {
        append16(contents, 0);
    }
    return header(0x01, contents);
}

inline Bytes typeHeader(const std::string& type) {
    Bytes contents = bytesOf(type);
    contents.push_back(0);
    return header(0x42, contents);
}

inline Bytes lengthHeader(std::uint32_t length) {
    return {0xC3, static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
            static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
}

inline Bytes bodyHeader(const Bytes& body, bool end) {
    return header(end ? 0x49 : 0x48, body);
}

inline Bytes packet(std::uint8_t code, const std::vector<Bytes>& headers) {
    Bytes p{code, 0, 0};
    for (const auto& h : headers) {
        p.insert(p.end(), h.begin(), h.end());
    }
    p[1] = static_cast<std::uint8_t>(p.size() >> 8);
    p[2] = static_cast<std::uint8_t>(p.size() & 0xFF);
    return p;
}

// What the station sends: version 1.0, no flags, 672 bytes, then Count and Length headers.
inline Bytes connectRequest() {
    return {0x80, 0x00, 0x11, 0x10, 0x00, 0x02, 0xA0, 0xC0, 0, 0, 0, 1, 0xC3, 0, 0, 0, 1};
}
inline Bytes disconnectRequest() {
    return {0x81, 0x00, 0x03};
}
inline Bytes putPacket(bool final, const std::vector<Bytes>& headers) {
    return packet(final ? 0x82 : 0x02, headers);
}

class ObexClient {
  public:
    explicit ObexClient(int port) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~ObexClient() { close(); }
    ObexClient(const ObexClient&) = delete;
    ObexClient& operator=(const ObexClient&) = delete;

    bool isConnected() const { return connected; }

    bool send(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One whole response, read by its length field; nothing when none arrives within `wait`
    // or the server closed the connection.
    std::optional<Bytes> receive(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
        Bytes response(3);
        if (!readExactly(response.data(), 3, wait)) {
            return std::nullopt;
        }
        const std::size_t length = (std::size_t{response[1]} << 8) | response[2];
        if (length < 3) {
            return std::nullopt;
        }
        response.resize(length);
        if (!readExactly(response.data() + 3, length - 3, wait)) {
            return std::nullopt;
        }
        return response;
    }

    // The first byte of the answer to `request`, or 0 when there is none.
    std::uint8_t exchange(const Bytes& request) {
        if (!send(request)) {
            return 0;
        }
        const auto response = receive();
        return response ? (*response)[0] : 0;
    }

    // True when the server closed the connection (rather than staying silent).
    bool closedByServer(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
        std::uint8_t byte;
        pollfd watched{fd, POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(wait.count())) <= 0) {
            return false;
        }
        return ::recv(fd, &byte, 1, 0) == 0;
    }

    void close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

  private:
    bool readExactly(std::uint8_t* into, std::size_t count, std::chrono::milliseconds wait) {
        std::size_t done = 0;
        while (done < count) {
            pollfd watched{fd, POLLIN, 0};
            if (::poll(&watched, 1, static_cast<int>(wait.count())) <= 0) {
                return false;
            }
            const ssize_t n = ::recv(fd, into + done, count - done, 0);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    int fd = -1;
    bool connected = false;
};

// The PUT packets of `body` as the station builds them: at most `packetLength` bytes each,
// Name, Type and Length in the first, Body headers, End of Body and the final bit on the last.
inline std::vector<Bytes> stationPackets(const std::u16string& name, const Bytes& body,
                                         std::size_t packetLength = 430) {
    std::vector<Bytes> packets;
    std::vector<Bytes> firstHeaders{nameHeader(name), typeHeader("text/plain"),
                                    lengthHeader(static_cast<std::uint32_t>(body.size()))};
    std::size_t overhead = 3 + 3;
    for (const auto& h : firstHeaders) {
        overhead += h.size();
    }
    std::size_t offset = 0;
    bool last = false;
    while (!last) {
        const std::size_t take = std::min(packetLength - overhead, body.size() - offset);
        last = offset + take == body.size();
        std::vector<Bytes> headers = firstHeaders;
        const auto from = body.begin() + static_cast<std::ptrdiff_t>(offset);
        headers.push_back(bodyHeader(Bytes(from, from + static_cast<std::ptrdiff_t>(take)), last));
        packets.push_back(putPacket(last, headers));
        offset += take;
        firstHeaders.clear();
        overhead = 6;
    }
    return packets;
}

// A whole push as the station makes it: CONNECT, the PUT packets while the phone answers
// Continue, DISCONNECT. Returns the first byte of every answer in order (0: no answer).
inline std::vector<std::uint8_t> pushLikeStation(ObexClient& client, const std::u16string& name,
                                                 const Bytes& body,
                                                 std::size_t packetLength = 430) {
    std::vector<std::uint8_t> answers{client.exchange(connectRequest())};
    for (const auto& put : stationPackets(name, body, packetLength)) {
        answers.push_back(client.exchange(put));
        if (answers.back() != 0x90) {
            break;
        }
    }
    answers.push_back(client.exchange(disconnectRequest()));
    return answers;
}

}  // namespace phonesim_test
