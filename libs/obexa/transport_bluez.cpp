// BlueZ: the phone's Object Push channel is found by an SDP search for the service class
// 0x1105, then an RFCOMM stream socket connects to that channel. A machine without Bluetooth
// support in the kernel (no AF_BLUETOOTH) has no radio: the push fails to connect.

#include "transport_bluez.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/btaddress_bluez.h"
#include "platform/filedescriptor.h"
#include "platform/timedmutex.h"
#include "socketio.h"

namespace obexa {

namespace {

constexpr std::uint16_t objectPushClass = 0x1105;

// One connection set-up (page, SDP, RFCOMM connect) at a time in this process.
platform::TimedMutex& setupTurn() {
    static platform::TimedMutex turn;
    return turn;
}

milliseconds until(SteadyClock::time_point deadline) {
    return std::max(milliseconds(0),
                    std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()));
}

class CBluezTransport : public CObexTransport {
  public:
    CBluezTransport(BluezSteps steps, milliseconds setupLimit)
        : steps(std::move(steps)), setupLimit(setupLimit) {}

    ConnectOutcome connect(std::uint64_t address) override {
        const auto deadline = SteadyClock::now() + setupLimit;
        platform::FileDescriptor socket(steps.openSocket());
        if (!socket.isOpen()) {
            // No Bluetooth in this kernel means no radio: the phone is simply not reachable.
            const int error = errno;
            const auto kind = error == EAFNOSUPPORT ? ConnectOutcome::Kind::connectFailed
                                                    : ConnectOutcome::Kind::noSocket;
            return {kind, -1, error};
        }
        std::unique_lock turn(setupTurn(), std::defer_lock);
        if (!turn.try_lock_for(until(deadline))) {
            return failed(ETIMEDOUT);
        }
        const sdpclient::SearchOutcome found = steps.searchObjectPush(address, deadline);
        if (found.error != 0) {
            return failed(found.error);
        }
        const auto channel = sdpclient::rfcommChannel(found.records, objectPushClass);
        if (!channel) {
            // The phone answers but offers no Object Push service.
            return failed(ECONNREFUSED);
        }
        const int error = steps.connectChannel(socket.get(), address, *channel, until(deadline));
        if (error != 0) {
            return failed(error);
        }
        return {ConnectOutcome::Kind::connected, socket.release(), 0};
    }

  private:
    static ConnectOutcome failed(int error) {
        return {ConnectOutcome::Kind::connectFailed, -1, error};
    }

    BluezSteps steps;
    milliseconds setupLimit;
};

}  // namespace

BluezSteps systemBluezSteps() {
    BluezSteps steps;
    steps.openSocket = [] {
        return ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC, BTPROTO_RFCOMM);
    };
    steps.searchObjectPush = [](std::uint64_t address, SteadyClock::time_point deadline) {
        return sdpclient::searchDevice(address, objectPushClass, deadline);
    };
    steps.connectChannel = [](int socket, std::uint64_t address, int channel, milliseconds limit) {
        sockaddr_rc peer{};
        peer.rc_family = AF_BLUETOOTH;
        peer.rc_bdaddr = platform::btaddress::toBluez(address);
        peer.rc_channel = static_cast<std::uint8_t>(channel);
        return connectWithin(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer, limit);
    };
    return steps;
}

std::unique_ptr<CObexTransport> makeBluezTransport(BluezSteps steps, milliseconds setupLimit) {
    return std::make_unique<CBluezTransport>(std::move(steps), setupLimit);
}

std::unique_ptr<CObexTransport> makeBluezTransport() {
    return makeBluezTransport(systemBluezSteps(), bluezSetupLimit);
}

}  // namespace obexa
