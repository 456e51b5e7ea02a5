#pragma once
// One push of one file to one phone: connect, CONNECT, the PUT packets one at a time, each
// waiting for its answer, then DISCONNECT. The status and the last accepted packet tell the
// caller how far the phone got; the report tells how the push ended and what it moved.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "dllcomponent.h"
#include "libs/include/obexa.h"
#include "obexfilechunks.h"
#include "platform/filedescriptor.h"
#include "socketio.h"
#include "transport.h"

namespace obexa {

// How long a push waits for the socket; tests shorten them to exercise silent phones.
struct Waits {
    milliseconds writable{5000};
    milliseconds readable{9000};
    // The answer to the first PUT, which a phone holds while its user decides.
    milliseconds firstPutAnswer{9000};
};

// What the operator may choose for later pushes through the library's exports.
struct PushSettings {
    static constexpr std::int32_t defaultPacketLength = 430;
    static constexpr std::int32_t minPacketLength = 255;  // what every OBEX receiver takes
    static constexpr std::int32_t maxPacketLength = 65535;
    static constexpr std::int32_t defaultAnswerWait = 9;
    static constexpr std::int32_t minAnswerWait = 1;
    static constexpr std::int32_t maxAnswerWait = 120;

    // PUT packets are this long, or as long as the phone takes when it takes less.
    std::int32_t packetLength = defaultPacketLength;
    // Seconds to wait for the answer to the first PUT.
    std::int32_t answerWait = defaultAnswerWait;
};

// The waits of a push under `settings`. `scale` shortens every wait alike; only tests use it, so
// that a user who takes half a minute to decide is tested in a moment.
Waits waitsFor(const PushSettings& settings, double scale = 1.0);

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
    static constexpr std::size_t receiveCapacity = 400;

    // Told after every packet the phone accepted: the file bytes inside the accepted packets and
    // the file's length.
    using ProgressReport =
        std::function<void(std::uint64_t bytesAccepted, std::uint64_t fileBytes)>;

    // `packetLength` is the longest PUT packet to send (PushSettings).
    CBTSender(CObexTransport& transport, std::uint32_t addressLow, std::uint32_t addressHigh,
              Waits waits = {}, std::int32_t packetLength = PushSettings::defaultPacketLength);
    ~CBTSender() override;

    // Opens the push's log in the settings' folder, named after the address and `name`.
    void startLog(const LogSettings& settings, std::u16string_view name);
    // Called on the pushing thread during later pushes; set it before push().
    void setProgress(ProgressReport report) { progress = std::move(report); }
    // Runs the whole push; returns the object's packet count (0 when it was refused).
    std::int32_t push(std::string type, std::u16string_view name, std::u16string_view path);
    // How the last push ended, its packets, bytes and duration.
    ObexaPushReport report() const;

    std::int32_t status() const { return currentStatus; }
    std::int32_t lastAnsweredPacket() const { return lastAnswered; }
    std::uint64_t address() const;

  private:
    bool prepare(CObexFileChunks& chunks, std::string type, std::u16string_view name,
                 std::u16string_view path);
    void exchange(CObexFileChunks& chunks);
    bool connectSocket();
    bool receiveConnectAnswer();
    bool fitPacketsToPhone(CObexFileChunks& chunks);
    std::int32_t phoneMaxPacket() const;
    void putPackets(CObexFileChunks& chunks);
    void accept(const CObexFileChunks& chunks, std::int32_t n);
    // Keeps the first reason the push failed; later steps (DISCONNECT) cannot overwrite it.
    void fail(ObexaOutcome reason);
    bool delivered() const { return packets > 0 && lastAnswered == packets; }
    void disconnect();
    void closeSocket();
    bool sendStep(const std::uint8_t* bytes, std::size_t count);
    bool receiveStep(milliseconds wait);
    std::uint8_t responseCode() const { return received[0]; }

    CObexTransport& transport;
    Waits waits;
    std::int32_t packetLength;
    std::int32_t currentStatus = status::none;
    std::int32_t lastAnswered = 0;
    ProgressReport progress;
    std::optional<ObexaOutcome> failure;
    std::int32_t packets = 0;
    std::uint64_t fileBytes = 0;
    std::uint64_t bytesAccepted = 0;
    milliseconds took{0};
    platform::FileDescriptor socket;
    std::uint32_t addressLow;
    std::uint32_t addressHigh;
    std::array<std::uint8_t, receiveCapacity> received{};
    std::uint16_t receivedCount = 0;
};

}  // namespace obexa
