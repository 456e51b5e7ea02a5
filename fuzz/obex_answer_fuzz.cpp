// OBEX answers as the push library reads them: a whole push runs against a phone whose every
// answer comes from the input. The first byte chooses the packet length the push offers; the
// rest is what the phone writes, in pieces of a 16-bit big-endian byte count and that many bytes.
// The phone reads each request whole and only then answers it, as a phone does (a push drops
// whatever arrived before its request); when its pieces run out it hangs up, so no wait of the
// push runs to its end.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "fuzz/fuzzfiles.h"
#include "libs/obexa/btsender.h"
#include "libs/obexa/transport.h"

namespace {

constexpr std::size_t packetHead = 3;

// The station's end of a socket pair, handed to the push as its connection.
class PairTransport : public obexa::CObexTransport {
  public:
    explicit PairTransport(int socket) : socket(socket) {}
    obexa::ConnectOutcome connect(std::uint64_t) override {
        return {obexa::ConnectOutcome::Kind::connected, socket, 0};
    }

  private:
    int socket;
};

// A file of three packets at the default length, more at shorter ones.
const std::string& objectPath() {
    static const fuzzing::ScratchFolder folder;
    static const std::string path = [] {
        const std::string bytes(1000, 'x');
        return folder.replace("object.gif", bytes.data(), bytes.size());
    }();
    return path;
}

constexpr std::int32_t packetLengths[] = {430, 255, 1000, 65535};

// The answers of the input: a count that runs past the input takes what is left.
std::vector<std::span<const std::uint8_t>> answersIn(std::span<const std::uint8_t> input) {
    std::vector<std::span<const std::uint8_t>> answers;
    while (input.size() >= 2) {
        const std::size_t count =
            std::min<std::size_t>((std::size_t{input[0]} << 8) | input[1], input.size() - 2);
        answers.push_back(input.subspan(2, count));
        input = input.subspan(2 + count);
    }
    return answers;
}

bool readExactly(int socket, std::uint8_t* buffer, std::size_t count) {
    for (std::size_t got = 0; got < count;) {
        const ssize_t part = ::recv(socket, buffer + got, count - got, 0);
        if (part <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(part);
    }
    return true;
}

// One request of the push, read whole; false when the push hung up (or the phone was told to
// stop listening). Every request the push sends must be a whole OBEX packet.
bool readRequest(int socket) {
    std::uint8_t head[packetHead];
    if (!readExactly(socket, head, packetHead)) {
        return false;
    }
    const std::size_t length = (std::size_t{head[1]} << 8) | head[2];
    if (length < packetHead) {
        std::abort();
    }
    std::vector<std::uint8_t> rest(length - packetHead);
    return readExactly(socket, rest.data(), rest.size());
}

// The answer to one request: pieces of the input until the bytes written hold a whole answer by
// its own length field (at least its 3 bytes of head), so that an answer cut into pieces never
// leaves the push waiting. False when the input has no piece left.
bool answerOne(int socket, std::vector<std::span<const std::uint8_t>>::const_iterator& next,
               std::vector<std::span<const std::uint8_t>>::const_iterator end) {
    std::vector<std::uint8_t> written;
    const auto whole = [&written] {
        return written.size() >= packetHead &&
               written.size() >= ((std::size_t{written[1]} << 8) | written[2]);
    };
    while (!whole()) {
        if (next == end) {
            return false;
        }
        const auto piece = *next++;
        if (::send(socket, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) {
            return false;
        }
        written.insert(written.end(), piece.begin(), piece.end());
    }
    return true;
}

void playPhone(int socket, const std::vector<std::span<const std::uint8_t>>& answers) {
    auto next = answers.cbegin();
    while (readRequest(socket) && answerOne(socket, next, answers.cend())) {
    }
    ::shutdown(socket, SHUT_WR);
    while (readRequest(socket)) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string& path = objectPath();
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        std::abort();
    }
    // The push's end is non-blocking, as a real connection is; the phone's end blocks.
    ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    const int phoneEnd = pair[1];
    const auto answers = answersIn({data + 1, size - 1});
    std::thread phone(playPhone, phoneEnd, std::cref(answers));

    PairTransport transport(pair[0]);
    const obexa::Waits waits{obexa::milliseconds(200), obexa::milliseconds(200),
                             obexa::milliseconds(200)};
    const std::int32_t packetLength = packetLengths[data[0] % std::size(packetLengths)];
    std::int32_t count = 0;
    {
        obexa::CBTSender sender(transport, 0x22AABBCC, 0x0011, waits, packetLength);
        sender.openLog(u"/dev/null");
        const std::u16string path16(path.begin(), path.end());
        count = sender.push("image/gif", u"a.gif", path16);
        // However the phone answered, the push cannot have had more packets accepted than it
        // sent.
        if (count <= 0 || sender.lastAnsweredPacket() > count || sender.lastAnsweredPacket() < 0) {
            std::abort();
        }
    }
    // The push has closed its end; a phone still waiting for a request hears that it hung up.
    ::shutdown(phoneEnd, SHUT_RD);
    phone.join();
    ::close(phoneEnd);
    return 0;
}
