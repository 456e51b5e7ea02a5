// The BlueZ SDP client: every record of the device that uses RFCOMM, asked with all its
// attributes and handed on as the data element stream the device sent.

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/btaddress_bluez.h"
#include "platform/filedescriptor.h"
#include "sdpbackend.h"

namespace sdpora {

namespace {

// The records of a search response as streams; frees the response.
std::vector<Bytes> takeRecords(sdp_list_t* response) {
    std::vector<Bytes> records;
    for (sdp_list_t* item = response; item != nullptr; item = item->next) {
        auto* record = static_cast<sdp_record_t*>(item->data);
        sdp_buf_t stream{};
        if (::sdp_gen_record_pdu(record, &stream) >= 0) {
            records.emplace_back(stream.data, stream.data + stream.data_size);
        }
        std::free(stream.data);
        ::sdp_record_free(record);
    }
    ::sdp_list_free(response, nullptr);
    return records;
}

class BluezSdp : public SdpBackend {
  public:
    int open() override {
        const int fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC, BTPROTO_RFCOMM);
        const int error = errno;
        rfcommSocket = platform::FileDescriptor(fd);
        return fd < 0 ? error : 0;
    }

    ServiceSearch searchRfcommRecords(std::uint64_t address) override {
        const bdaddr_t any{};
        const bdaddr_t device = platform::btaddress::toBluez(address);
        sdp_session_t* session = ::sdp_connect(&any, &device, SDP_RETRY_IF_BUSY);
        if (session == nullptr) {
            return {errno, {}};
        }
        uuid_t rfcomm;
        ::sdp_uuid16_create(&rfcomm, RFCOMM_UUID);
        std::uint32_t allAttributes = 0x0000FFFF;
        sdp_list_t* search = ::sdp_list_append(nullptr, &rfcomm);
        sdp_list_t* attributes = ::sdp_list_append(nullptr, &allAttributes);
        sdp_list_t* response = nullptr;
        const int result = ::sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE,
                                                         attributes, &response);
        const int error = errno;
        ::sdp_list_free(search, nullptr);
        ::sdp_list_free(attributes, nullptr);
        ::sdp_close(session);
        if (result < 0) {
            return {error != 0 ? error : EIO, {}};
        }
        return {0, takeRecords(response)};
    }

  private:
    platform::FileDescriptor rfcommSocket;
};

}  // namespace

std::unique_ptr<SdpBackend> makeBluezSdp(Report) {
    return std::make_unique<BluezSdp>();
}

}  // namespace sdpora
