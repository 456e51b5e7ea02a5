// OBEX answers as the push library reads them: a whole push runs against a phone whose every
// byte comes from the input. The first byte chooses the packet length the push offers; the rest
// is all the phone ever says, after which it hangs up.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzzfiles.h"
#include "libs/obexa/btsender.h"
#include "libs/obexa/transport.h"

namespace {

// The phone's end of a socket pair, handed to the push as its connection.
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
    // Everything the phone says is waiting before the push starts; then the phone hangs up, so
    // no wait of the push runs to its end.
    const int buffer = 1 << 20;
    ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    ::setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    if (::send(pair[1], data + 1, size - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(size - 1)) {
        ::close(pair[0]);
        ::close(pair[1]);
        return 0;  // more than the pair holds at once: not an input this target can give
    }
    ::shutdown(pair[1], SHUT_WR);
    ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);

    PairTransport transport(pair[0]);
    const obexa::Waits waits{obexa::milliseconds(200), obexa::milliseconds(200),
                             obexa::milliseconds(200)};
    const std::int32_t packetLength = packetLengths[data[0] % std::size(packetLengths)];
    obexa::CBTSender sender(transport, 0x22AABBCC, 0x0011, waits, packetLength);
    sender.openLog(u"/dev/null");
    const std::u16string path16(path.begin(), path.end());
    const std::int32_t count = sender.push("image/gif", u"a.gif", path16);
    ::close(pair[1]);
    // However the phone answered, the push cannot have had more packets accepted than it sent.
    if (count <= 0 || sender.lastAnsweredPacket() > count || sender.lastAnsweredPacket() < 0) {
        std::abort();
    }
    return 0;
}
