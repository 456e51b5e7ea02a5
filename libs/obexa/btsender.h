#pragma once
// One push of one file to one phone: connect, CONNECT, the PUT packets one at a time, each
// waiting for its answer, then DISCONNECT. The status and the last accepted packet tell the
// caller how far the phone got.

#include <array>
#include <cstdint>
#include <string>

#include "dllcomponent.h"
#include "obexfilechunks.h"
#include "socketio.h"
#include "transport.h"

namespace obexa {

// How long a push waits for the socket; tests shorten them to exercise silent phones.
struct Waits {
    milliseconds writable{5000};
    milliseconds readable{9000};
};

// What the library's settings say about logging when a push starts.
struct LogSettings {
    bool logging = false;
    std::u16string folder;
};

namespace status {
constexpr std::int32_t none = -1;
constexpr std::int32_t noSocket = 1;
constexpr std::int32_t connected = 2;
constexpr std::int32_t connectFailed = 3;
constexpr std::int32_t notWritable = 5;
constexpr std::int32_t sent = 6;
constexpr std::int32_t disconnected = 7;
constexpr std::int32_t sendFailed = 8;
constexpr std::int32_t disconnectUnanswered = 9;
constexpr std::int32_t fileRefused = 14;
constexpr std::int32_t connectTimedOut = 15;
}  // namespace status

class CBTSender : public CDllComponent {
  public:
    static constexpr std::int32_t maxPacketLength = 430;
    static constexpr std::size_t receiveCapacity = 400;

    CBTSender(CObexTransport& transport, std::uint32_t addressLow, std::uint32_t addressHigh,
              Waits waits = {});
    ~CBTSender() override;

    // Opens the push's log in the settings' folder, named after the address and `name`.
    void startLog(const LogSettings& settings, std::u16string_view name);
    // Runs the whole push; returns the object's packet count (0 when it was refused).
    std::int32_t push(std::string type, std::u16string_view name, std::u16string_view path);

    std::int32_t status() const { return currentStatus; }
    std::int32_t lastAnsweredPacket() const { return lastAnswered; }
    std::uint64_t address() const;

  private:
    void exchange(CObexFileChunks& chunks);
    bool connectSocket();
    bool receiveConnectAnswer();
    void putPackets(CObexFileChunks& chunks);
    void disconnect();
    void closeSocket();
    bool sendStep(const std::uint8_t* bytes, std::size_t count);
    bool receiveStep();
    std::uint8_t responseCode() const { return received[0]; }

    CObexTransport& transport;
    Waits waits;
    std::int32_t currentStatus = status::none;
    std::int32_t lastAnswered = 0;
    int socket = -1;
    std::uint32_t addressLow;
    std::uint32_t addressHigh;
    std::array<std::uint8_t, receiveCapacity> received{};
    std::uint16_t receivedCount = 0;
};

}  // namespace obexa
