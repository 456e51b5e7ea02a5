#pragma once
// A stand-in for the object-push library that the tests steer: each address gets a scripted
// outcome, and pushes to a held address wait until the test releases them. Two libraries share
// this state: libsending_fakeobexa.so has the exports of an older library, without push reports,
// and libsending_fakeobexa_reports.so adds the report and progress exports. The sender loads one
// by path like the real library; the test links the state, so all reach the same instance.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "libs/include/obexa.h"

namespace fakeobexa {

struct Outcome {
    std::int32_t pushResult = 1;    // getFileStatusM
    std::int32_t packetCount = 3;   // getFileStatus1
    std::int32_t lastAnswered = 3;  // getFileStatusE
    // getPushReport (reports library only). Its progress goes to half the accepted bytes when
    // the push begins, before a hold, and to all of them when it ends.
    ObexaPushReport report{obexaDelivered, 3, 3, 40, 1000, 1000};
};

struct Push {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    std::string type;
    std::u16string name;
    std::u16string path;
};

// What the settings exports were last given; -1 for one never called since reset().
struct Settings {
    std::int32_t packetLength = -1;
    std::int32_t answerWait = -1;
};

void reset();
Settings settings();
void script(std::uint32_t low, Outcome outcome);
void hold(std::uint32_t low);
void release(std::uint32_t low);
// True once a push to `low` has begun, within `limit`.
bool waitUntilPushing(std::uint32_t low, std::chrono::milliseconds limit);
// True once `count` pushes have returned, within `limit`.
bool waitUntilFinished(int count, std::chrono::milliseconds limit);
int finishedCount();
std::vector<Push> pushes();

// For the exports: the outcome scripted for `low`, a push run to its end (waiting while `low` is
// held), the outcome of the current two-call push, and the settings exports' values.
Outcome scripted(std::uint32_t low);
Outcome runPush(Push push);
// The reports library's exports: the calling thread's progress function and last report.
void setProgress(ObexaProgressFunction progress, void* context);
bool lastReport(ObexaPushReport& report);
void makeCurrent(const Outcome& outcome);
Outcome current();
void setPacketLength(std::int32_t length);
void setAnswerWait(std::int32_t seconds);

}  // namespace fakeobexa
