#pragma once
// The operator's two push settings in "appTolvik.ini", read once when the push library is bound
// and handed to it: "obexpacket", the length of the PUT packets (255-65535; the library still
// sends shorter ones to a phone that takes less), and "answerwait", how many seconds a push
// waits for the answer to the first PUT, which a phone holds while its user decides (1-120).
// A missing or unusable value means the default, and the reason is reported once.

#include <cstdint>
#include <functional>
#include <string>

class CInit;

namespace btsend {

struct PushSettings {
    std::int32_t packetLength = 430;
    std::int32_t answerWait = 9;
};

// Called with one line for every value that was missing or unusable.
using SettingsReport = std::function<void(const std::string&)>;

PushSettings readPushSettings(const CInit& config, const SettingsReport& report);

}  // namespace btsend
