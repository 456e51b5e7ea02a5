#pragma once
// A stand-in for the object-push library that the tests steer: each address gets a scripted
// outcome, and pushes to a held address wait until the test releases them. The sender loads it
// by path like the real library; the test links it too, so both reach the same instance.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace fakeobexa {

struct Outcome {
    std::int32_t pushResult = 1;    // getFileStatusM
    std::int32_t packetCount = 3;   // getFileStatus1
    std::int32_t lastAnswered = 3;  // getFileStatusE
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

}  // namespace fakeobexa
