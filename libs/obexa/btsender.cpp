#include "btsender.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "obexresponse.h"
#include "platform/system.h"
#include "platform/text.h"

namespace obexa {

namespace {

constexpr std::size_t dumpLimit = 200;
// Bytes a phone sent unasked are dropped before each request, at most this many at a time (a
// phone flooding the link cannot hold the push in the dropping).
constexpr std::size_t staleLimit = 65536;
// A Success answer to CONNECT holds the phone's largest packet in bytes 5 and 6.
constexpr std::size_t connectAnswerLength = 7;

// A connect that failed: both transports answer "no Object Push service" with ECONNREFUSED.
ObexaOutcome connectFailure(int error) {
    if (error == ECONNREFUSED) {
        return obexaNoService;
    }
    return isConnectTimeout(error) ? obexaNoAnswer : obexaConnectionFailed;
}

}  // namespace

Waits waitsFor(const PushSettings& settings, double scale) {
    const auto scaled = [scale](milliseconds wait) {
        return std::chrono::duration_cast<milliseconds>(wait * scale);
    };
    const Waits standard;
    return {scaled(standard.writable), scaled(standard.readable),
            scaled(std::chrono::seconds(settings.answerWait))};
}

CBTSender::CBTSender(CObexTransport& obexTransport, std::uint32_t low, std::uint32_t high,
                     Waits pushWaits, std::int32_t longestPacket)
    : transport(obexTransport),
      waits(pushWaits),
      packetLength(longestPacket),
      addressLow(low),
      addressHigh(high) {}

CBTSender::~CBTSender() = default;

std::uint64_t CBTSender::address() const {
    return ((std::uint64_t{addressHigh} << 32) | addressLow) & 0xFFFF'FFFF'FFFFull;
}

void CBTSender::startLog(const LogSettings& settings, std::u16string_view name) {
    if (!settings.logging) {
        return;
    }
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%012llX_", static_cast<unsigned long long>(address()));
    std::u16string path = settings.folder;
    path += platform::toUtf16(prefix);
    // The send name comes from the campaign: a separator in it must not move the log elsewhere.
    for (char16_t unit : name) {
        path += unit == u'/' ? u'_' : unit;
    }
    path += u".txt";
    openLog(path);
}

std::int32_t CBTSender::push(std::string type, std::u16string_view name, std::u16string_view path) {
    const auto started = SteadyClock::now();
    CObexFileChunks chunks(logTarget());
    if (prepare(chunks, std::move(type), name, path)) {
        exchange(chunks);
    } else {
        currentStatus = status::fileRefused;
        fail(obexaFileUnusable);
    }
    packets = chunks.packetCount();
    fileBytes = static_cast<std::uint64_t>(std::max<std::int32_t>(chunks.fileLength(), 0));
    took = std::chrono::duration_cast<milliseconds>(SteadyClock::now() - started);
    return packets;
}

bool CBTSender::prepare(CObexFileChunks& chunks, std::string type, std::u16string_view name,
                        std::u16string_view path) {
    if (!chunks.open(path)) {
        return false;
    }
    chunks.setMaxPacketLength(packetLength);
    chunks.setName(name);
    chunks.setType(std::move(type));
    return chunks.packet(1) != nullptr;
}

ObexaPushReport CBTSender::report() const {
    ObexaPushReport result{};
    result.outcome = delivered() ? obexaDelivered : failure.value_or(obexaConnectionFailed);
    result.packets = packets;
    result.packetsAccepted = lastAnswered;
    result.durationMs = static_cast<std::uint32_t>(
        std::min<milliseconds::rep>(took.count(), std::numeric_limits<std::uint32_t>::max()));
    result.fileBytes = fileBytes;
    result.bytesAccepted = bytesAccepted;
    return result;
}

void CBTSender::fail(ObexaOutcome reason) {
    if (!failure) {
        failure = reason;
    }
}

void CBTSender::exchange(CObexFileChunks& chunks) {
    if (!connectSocket()) {
        return;
    }
    const CObexConnect request(chunks.fileLength(), chunks.packetCount());
    if (sendStep(request.encode().data(), request.encode().size()) && receiveConnectAnswer() &&
        fitPacketsToPhone(chunks)) {
        putPackets(chunks);
    }
    disconnect();
    closeSocket();
}

bool CBTSender::connectSocket() {
    const auto started = SteadyClock::now();
    const ConnectOutcome outcome = transport.connect(address());
    const auto took = std::chrono::duration_cast<milliseconds>(SteadyClock::now() - started);
    const CLogTarget& log = logTarget();
    switch (outcome.kind) {
        case ConnectOutcome::Kind::noSocket:
            log.line("Error at socket(): %ld\n", static_cast<long>(outcome.error));
            currentStatus = status::noSocket;
            fail(obexaConnectionFailed);
            return false;
        case ConnectOutcome::Kind::connectFailed:
            log.line("connection time:%d\n", static_cast<int>(took.count()));
            log.line("Err at connect(): %ld\n", static_cast<long>(outcome.error));
            log.line("%s\n", platform::systemErrorText(outcome.error).c_str());
            log.line("closesocket\n");
            currentStatus =
                isConnectTimeout(outcome.error) ? status::connectTimedOut : status::connectFailed;
            fail(connectFailure(outcome.error));
            return false;
        case ConnectOutcome::Kind::connected:
            break;
    }
    log.line("connection time:%d\n", static_cast<int>(took.count()));
    log.line("connect succeeded\r\n");
    socket = platform::FileDescriptor(outcome.socket);
    currentStatus = status::connected;
    return true;
}

bool CBTSender::receiveConnectAnswer() {
    const CLogTarget& log = logTarget();
    if (!receiveStep(waits.readable)) {
        log.line("kein A0 gekommen\n");
        return false;
    }
    if (responseCode() == responseContinue) {
        log.line("received go_on as connect response??\n");
        fail(obexaRefused);
        return false;
    }
    if (responseCode() != responseSuccess) {
        CObexErrResponse(received.data(), receivedCount, log).log();
        fail(obexaRefused);
        return false;
    }
    log.line("received successfully\n");
    CObexConnectResponse(received.data(), receivedCount, log).log();
    return true;
}

// Packets are never longer than the phone takes. The CONNECT request has already announced the
// count for the chosen length; a phone that takes less gets more, shorter packets, and the push
// reports that count. An object whose first headers do not fit is not sent at all.
bool CBTSender::fitPacketsToPhone(CObexFileChunks& chunks) {
    const std::int32_t length = std::min(packetLength, phoneMaxPacket());
    if (length == packetLength) {
        return true;
    }
    const CLogTarget& log = logTarget();
    if (!chunks.leavesRoomForBody(length)) {
        log.line("Objekt passt nicht in Pakete von %d Bytes\n", length);
        fail(obexaFileUnusable);
        return false;
    }
    log.line("Pakete von %d Bytes\n", length);
    chunks.setMaxPacketLength(length);
    return true;
}

// The largest packet the phone announced. One that announced nothing, or less than the 255
// bytes OBEX requires every receiver to take, gets 255-byte packets.
std::int32_t CBTSender::phoneMaxPacket() const {
    const CLogTarget& log = logTarget();
    if (receivedCount < connectAnswerLength) {
        log.line("keine Maxpacklen, nehme %d\n", PushSettings::minPacketLength);
        return PushSettings::minPacketLength;
    }
    const std::int32_t announced = (received[5] << 8) | received[6];
    if (announced < PushSettings::minPacketLength) {
        log.line("Maxpacklen %d zu klein, nehme %d\n", announced, PushSettings::minPacketLength);
        return PushSettings::minPacketLength;
    }
    return announced;
}

// A packet counts as answered only when the phone accepted it: Continue before the last
// packet, Success on the last. A refusal therefore never counts as delivery; neither does a
// Continue to the last packet, which asks for more than the object holds.
void CBTSender::putPackets(CObexFileChunks& chunks) {
    const CLogTarget& log = logTarget();
    for (std::int32_t n = 1;; ++n) {
        CObexChunk* chunk = chunks.packet(n);
        if (chunk == nullptr) {
            if (chunks.readFailed()) {
                fail(obexaFileUnusable);
            }
            return;
        }
        const bool last = n == chunks.packetCount();
        if (!sendStep(chunk->encode().data(), chunk->packetLength())) {
            log.line("kein sendbuf success\n");
            return;
        }
        if (!receiveStep(n == 1 ? waits.firstPutAnswer : waits.readable)) {
            log.line("kein receive success\n");
            return;
        }
        if (responseCode() == responseContinue) {
            log.line("received go on\n");
            if (last) {
                fail(obexaRefused);
            } else {
                accept(chunks, n);
            }
            continue;
        }
        if (responseCode() == responseSuccess) {
            log.line("received OK as data response??\n");
            CObexResponse(received.data(), receivedCount, log).log();
            if (last) {
                accept(chunks, n);
            } else {
                fail(obexaRefused);
            }
        } else {
            CObexErrResponse(received.data(), receivedCount, log).log();
            fail(obexaRefused);
        }
        log.line("kein go_on gekommen\n");
        return;
    }
}

void CBTSender::accept(const CObexFileChunks& chunks, std::int32_t n) {
    lastAnswered = n;
    bytesAccepted = static_cast<std::uint64_t>(chunks.bodyBytesThrough(n));
    if (progress) {
        progress(bytesAccepted, static_cast<std::uint64_t>(chunks.fileLength()));
    }
}

void CBTSender::disconnect() {
    const CObexDisconnect request;
    if (!sendStep(request.encode().data(), request.encode().size())) {
        return;
    }
    if (receiveStep(waits.readable)) {
        currentStatus = status::disconnected;
        return;
    }
    logTarget().line("disco kein A0 gekommen\n");
    currentStatus = status::disconnectUnanswered;
}

void CBTSender::closeSocket() {
    socket.close();
    logTarget().line("closesocket\n");
}

bool CBTSender::sendStep(const std::uint8_t* bytes, std::size_t count) {
    const CLogTarget& log = logTarget();
    const auto deadline = SteadyClock::now() + waits.writable;
    // What the phone sent beyond its last answer's length, or unasked, would otherwise be taken
    // for the answer to this request.
    if (socket.isOpen()) {
        if (const std::size_t stale = discardPending(socket.get(), staleLimit); stale > 0) {
            log.line("%d Bytes ohne Anfrage verworfen\n", static_cast<int>(stale));
        }
    }
    // A socket closed by an earlier failed send is "ready"; the send then reports the error.
    if (socket.isOpen() && !waitWritable(socket.get(), deadline)) {
        currentStatus = status::notWritable;
        fail(obexaConnectionFailed);
        return false;
    }
    log.hex(bytes, count, dumpLimit, "\n");
    const SendResult result = socket.isOpen() ? sendAll(socket.get(), bytes, count, deadline)
                                              : SendResult{SendResult::Kind::failed, EBADF};
    switch (result.kind) {
        case SendResult::Kind::notWritable:
            currentStatus = status::notWritable;
            fail(obexaConnectionFailed);
            return false;
        case SendResult::Kind::failed:
            log.line("send failed: %d\n", result.error);
            socket.close();
            currentStatus = status::sendFailed;
            fail(obexaConnectionFailed);
            return false;
        case SendResult::Kind::sent:
            break;
    }
    currentStatus = status::sent;
    return true;
}

bool CBTSender::receiveStep(milliseconds wait) {
    const CLogTarget& log = logTarget();
    received.fill(0);
    receivedCount = 0;
    if (!socket.isOpen()) {
        log.line("recv failed: %d\n", EBADF);
        fail(obexaConnectionFailed);
        return false;
    }
    const ReceiveResult result =
        receiveResponse(socket.get(), received.data(), received.size(), wait);
    receivedCount = static_cast<std::uint16_t>(result.kept);
    if (result.kept > 0) {
        log.hex(received.data(), result.kept, received.size(), ".\n");
    }
    switch (result.kind) {
        case ReceiveResult::Kind::response:
            log.line("Bytes received: %d\n", static_cast<int>(result.total));
            return true;
        case ReceiveResult::Kind::timedOut:
            log.line("keine Antwort gekommen\n");
            fail(obexaNoAnswer);
            return false;
        case ReceiveResult::Kind::closed:
            log.line("Connection closed\n");
            fail(obexaConnectionFailed);
            return false;
        case ReceiveResult::Kind::failed:
            log.line("recv failed: %d\n", result.error);
            fail(obexaConnectionFailed);
            return false;
    }
    return false;
}

}  // namespace obexa
