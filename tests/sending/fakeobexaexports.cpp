// The exports every object-push library has, over the fake's shared state.

#include "fakeobexa.h"

using fakeobexa::Push;

extern "C" {

std::int32_t getFileStatusM(std::uint32_t low, std::uint32_t high, const char* type,
                            const char16_t* name, const char16_t* path) {
    return fakeobexa::runPush(Push{low, high, type, name, path}).pushResult;
}

std::int32_t getFileStatus1(std::uint32_t low, std::uint32_t high, const char* type,
                            const char16_t* name, const char16_t* path) {
    const fakeobexa::Outcome outcome = fakeobexa::runPush(Push{low, high, type, name, path});
    fakeobexa::makeCurrent(outcome);
    return outcome.packetCount;
}

std::int32_t getFileStatus2() {
    return 7;
}

std::int32_t getFileStatusE() {
    return fakeobexa::current().lastAnswered;
}

std::int32_t setObexPacket(std::int32_t length) {
    fakeobexa::setPacketLength(length);
    return 0;
}

std::int32_t setAnswerWait(std::int32_t seconds) {
    fakeobexa::setAnswerWait(seconds);
    return 0;
}
}
