// The simulated world: the phone with the pushed address is looked up in the world file and
// reached over TCP at its Object Push endpoint. A missing radio, an unknown phone, a phone out
// of range or one without an endpoint fail like an unreachable phone does.

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "libs/simworld/simworld.h"
#include "platform/filedescriptor.h"
#include "socketio.h"
#include "transport.h"

namespace obexa {

namespace {

constexpr milliseconds tcpConnectLimit{20000};

class CSimTransport : public CObexTransport {
  public:
    explicit CSimTransport(std::string file) : worldFile(std::move(file)) {}

    ConnectOutcome connect(std::uint64_t address) override {
        const simworld::World world = simworld::load(worldFile);
        if (!world.radio) {
            return {ConnectOutcome::Kind::connectFailed, -1, ENETDOWN};
        }
        for (const simworld::Phone& phone : world.phones) {
            if (phone.address == address) {
                return connectTo(phone);
            }
        }
        return {ConnectOutcome::Kind::connectFailed, -1, EHOSTUNREACH};
    }

  private:
    static ConnectOutcome connectTo(const simworld::Phone& phone) {
        if (!phone.inRange) {
            return {ConnectOutcome::Kind::connectFailed, -1, EHOSTUNREACH};
        }
        if (phone.obexHost.empty()) {
            return {ConnectOutcome::Kind::connectFailed, -1, ECONNREFUSED};
        }
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(phone.obexPort);
        if (::getaddrinfo(phone.obexHost.c_str(), port.c_str(), &hints, &found) != 0) {
            return {ConnectOutcome::Kind::connectFailed, -1, EHOSTUNREACH};
        }
        ConnectOutcome outcome = connectFirst(*found);
        ::freeaddrinfo(found);
        return outcome;
    }

    static ConnectOutcome connectFirst(const addrinfo& target) {
        platform::FileDescriptor socket(
            ::socket(target.ai_family, target.ai_socktype | SOCK_CLOEXEC, target.ai_protocol));
        if (!socket.isOpen()) {
            return {ConnectOutcome::Kind::noSocket, -1, errno};
        }
        const int error =
            connectWithin(socket.get(), target.ai_addr, target.ai_addrlen, tcpConnectLimit);
        if (error != 0) {
            return {ConnectOutcome::Kind::connectFailed, -1, error};
        }
        return {ConnectOutcome::Kind::connected, socket.release(), 0};
    }

    std::string worldFile;
};

}  // namespace

std::unique_ptr<CObexTransport> makeSimTransport(std::string worldFile) {
    return std::make_unique<CSimTransport>(std::move(worldFile));
}

}  // namespace obexa
