// The BlueZ SDP client: every record of the device that uses RFCOMM, asked with all its
// attributes and handed on as the data element stream the device sent. The search never blocks:
// connect, request and every part of the answer end by one deadline.

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <sys/socket.h>

#include <cerrno>

#include "libs/sdpclient/sdpsearch.h"
#include "platform/filedescriptor.h"
#include "sdpbackend.h"

namespace sdpora {

namespace {

// The whole lookup of one device: the page, the SDP connect and the answer in all its parts.
constexpr std::chrono::seconds searchLimit{30};
constexpr std::uint16_t rfcommUuid = 0x0003;

class BluezSdp : public SdpBackend {
  public:
    int open() override {
        const int fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC, BTPROTO_RFCOMM);
        const int error = errno;
        rfcommSocket = platform::FileDescriptor(fd);
        return fd < 0 ? error : 0;
    }

    ServiceSearch searchRfcommRecords(std::uint64_t address) override {
        sdpclient::SearchOutcome found = sdpclient::searchDevice(
            address, rfcommUuid, sdpclient::SteadyClock::now() + searchLimit);
        return {found.error, std::move(found.records)};
    }

  private:
    platform::FileDescriptor rfcommSocket;
};

}  // namespace

std::unique_ptr<SdpBackend> makeBluezSdp(Report) {
    return std::make_unique<BluezSdp>();
}

}  // namespace sdpora
