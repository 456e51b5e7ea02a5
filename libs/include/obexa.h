#pragma once
// The object-push library's C interface, looked up by name after loading libObexa.so.
// The address travels as the two halves of the 48-bit Bluetooth address: for AA:BB:CC:DD:EE:FF
// the high half is 0x0000AABB and the low half 0xCCDDEEFF.

#include <cstdint>

extern "C" {

// Pushes a file and keeps the push as the current one; returns the object's packet count
// (0 when the file was refused). Judge the push by comparing with getFileStatusE().
std::int32_t getFileStatus1(std::uint32_t addressLow, std::uint32_t addressHigh, const char* type,
                            const char16_t* name, const char16_t* path);
// Pushes a file; 1 when the phone accepted every packet of a non-empty object, else 0.
std::int32_t getFileStatusM(std::uint32_t addressLow, std::uint32_t addressHigh, const char* type,
                            const char16_t* name, const char16_t* path);
// Status of the current push; -1 when there is none.
std::int32_t getFileStatus2();
// The last accepted packet of the current push (0 when there is none) and ends that push.
std::int32_t getFileStatusE();
// Later pushes log into `folder` (used as a prefix: end it with '/'); 0 when it was taken.
std::int32_t startLogging(const char16_t* folder);
void stopLogging();
// Later pushes send PUT packets of `length` bytes (255-65535; 430 at first), or shorter ones
// when the phone announces that it takes less; 0 when the length was taken, 1 when refused.
std::int32_t setObexPacket(std::int32_t length);
// Later pushes wait `seconds` (1-120; 9 at first) for the answer to the first PUT, which a phone
// holds while its user decides; every other wait stays. 0 when taken, 1 when refused.
std::int32_t setAnswerWait(std::int32_t seconds);

// How the last push of a thread ended (ObexaPushReport::outcome).
enum ObexaOutcome : std::int32_t {
    obexaDelivered = 0,         // the phone accepted every packet of a non-empty object
    obexaRefused = 1,           // the phone answered CONNECT or a PUT with a refusal
    obexaNoAnswer = 2,          // the page, CONNECT or a PUT went unanswered within its wait
    obexaConnectionFailed = 3,  // no socket, the link failed or was closed by the phone
    obexaNoService = 4,         // the phone offers no Object Push service
    obexaFileUnusable = 5,      // the file is missing, empty, unreadable or its name unusable
};

// What one push did, filled by getPushReport.
struct ObexaPushReport {
    std::int32_t outcome;          // an ObexaOutcome
    std::int32_t packets;          // the object's packet count (0 when nothing was built)
    std::int32_t packetsAccepted;  // the packets the phone accepted
    std::uint32_t durationMs;      // from the start of the push to its end
    std::uint64_t fileBytes;       // the file's length
    std::uint64_t bytesAccepted;   // file bytes inside the accepted packets
};

// Called on the pushing thread after every packet the phone accepted; `context` is the one given
// to setPushProgress.
using ObexaProgressFunction = void (*)(void* context, std::uint64_t bytesAccepted,
                                       std::uint64_t fileBytes);

// Later pushes of the calling thread (getFileStatusM or getFileStatus1) report their progress
// to `progress` (null: no more reports).
void setPushProgress(ObexaProgressFunction progress, void* context);
// The report of the last push the calling thread ran: 0 when `report` was filled, 1 when the
// thread ran no push yet or `report` is null.
std::int32_t getPushReport(ObexaPushReport* report);

using ObexaPushFunction = std::int32_t (*)(std::uint32_t, std::uint32_t, const char*,
                                           const char16_t*, const char16_t*);
using ObexaStatusFunction = std::int32_t (*)();
using ObexaStartLoggingFunction = std::int32_t (*)(const char16_t*);
using ObexaStopLoggingFunction = void (*)();
using ObexaSettingFunction = std::int32_t (*)(std::int32_t);
using ObexaSetProgressFunction = void (*)(ObexaProgressFunction, void*);
using ObexaReportFunction = std::int32_t (*)(ObexaPushReport*);
}
