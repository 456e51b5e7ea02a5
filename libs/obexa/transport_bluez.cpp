// BlueZ: the phone's Object Push channel is found by an SDP search for the service class
// 0x1105, then an RFCOMM stream socket connects to that channel. A machine without Bluetooth
// support in the kernel (no AF_BLUETOOTH) has no radio: the push fails to connect.

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "socketio.h"
#include "transport.h"

namespace obexa {

namespace {

constexpr std::uint16_t objectPushClass = 0x1105;
constexpr milliseconds rfcommConnectLimit{30000};

bdaddr_t toBdaddr(std::uint64_t address) {
    bdaddr_t result{};
    for (int i = 0; i < 6; ++i) {
        result.b[i] = static_cast<std::uint8_t>(address >> (8 * i));
    }
    return result;
}

// The RFCOMM channel named by the first protocol list of the records in `found`.
std::optional<int> channelOfRecords(sdp_list_t* found) {
    std::optional<int> channel;
    for (sdp_list_t* item = found; item != nullptr && !channel; item = item->next) {
        auto* record = static_cast<sdp_record_t*>(item->data);
        sdp_list_t* protocols = nullptr;
        if (sdp_get_access_protos(record, &protocols) == 0) {
            const int port = sdp_get_proto_port(protocols, RFCOMM_UUID);
            if (port > 0) {
                channel = port;
            }
            for (sdp_list_t* p = protocols; p != nullptr; p = p->next) {
                sdp_list_free(static_cast<sdp_list_t*>(p->data), nullptr);
            }
            sdp_list_free(protocols, nullptr);
        }
    }
    return channel;
}

std::optional<int> findObjectPushChannel(const bdaddr_t& target, int& error) {
    bdaddr_t any{};
    sdp_session_t* session = sdp_connect(&any, &target, SDP_RETRY_IF_BUSY);
    if (session == nullptr) {
        error = errno != 0 ? errno : EHOSTUNREACH;
        return std::nullopt;
    }
    uuid_t serviceClass;
    sdp_uuid16_create(&serviceClass, objectPushClass);
    sdp_list_t* search = sdp_list_append(nullptr, &serviceClass);
    std::uint32_t range = 0x0000FFFF;
    sdp_list_t* attributes = sdp_list_append(nullptr, &range);
    sdp_list_t* found = nullptr;
    std::optional<int> channel;
    if (sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE, attributes, &found) == 0) {
        channel = channelOfRecords(found);
    }
    error = channel ? 0 : EHOSTUNREACH;
    sdp_list_free(found, reinterpret_cast<sdp_free_func_t>(sdp_record_free));
    sdp_list_free(search, nullptr);
    sdp_list_free(attributes, nullptr);
    sdp_close(session);
    return channel;
}

class CBluezTransport : public CObexTransport {
  public:
    ConnectOutcome connect(std::uint64_t address) override {
        const int socket = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC, BTPROTO_RFCOMM);
        if (socket < 0) {
            // No Bluetooth in this kernel means no radio: the phone is simply not reachable.
            const auto kind = errno == EAFNOSUPPORT ? ConnectOutcome::Kind::connectFailed
                                                    : ConnectOutcome::Kind::noSocket;
            return {kind, -1, errno};
        }
        const bdaddr_t target = toBdaddr(address);
        int error = 0;
        const auto channel = findObjectPushChannel(target, error);
        if (!channel) {
            ::close(socket);
            return {ConnectOutcome::Kind::connectFailed, -1, error};
        }
        sockaddr_rc peer{};
        peer.rc_family = AF_BLUETOOTH;
        peer.rc_bdaddr = target;
        peer.rc_channel = static_cast<std::uint8_t>(*channel);
        error = connectWithin(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer,
                              rfcommConnectLimit);
        if (error != 0) {
            ::close(socket);
            return {ConnectOutcome::Kind::connectFailed, -1, error};
        }
        return {ConnectOutcome::Kind::connected, socket, 0};
    }
};

}  // namespace

std::unique_ptr<CObexTransport> makeBluezTransport() {
    return std::make_unique<CBluezTransport>();
}

}  // namespace obexa
