#include "fakeobexa.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

namespace fakeobexa {

namespace {

struct State {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::uint32_t, Outcome> outcomes;
    std::set<std::uint32_t> held;
    std::set<std::uint32_t> pushing;
    std::vector<Push> seen;
    int finished = 0;
    Outcome current;  // the outcome of the last getFileStatus1, for getFileStatusE
    Settings settings;
};

State& state() {
    static State instance;
    return instance;
}

Outcome runPush(Push push) {
    State& s = state();
    std::unique_lock guard(s.lock);
    const std::uint32_t low = push.low;
    s.seen.push_back(std::move(push));
    s.pushing.insert(low);
    s.changed.notify_all();
    s.changed.wait(guard, [&] { return s.held.count(low) == 0; });
    s.pushing.erase(low);
    ++s.finished;
    s.changed.notify_all();
    const auto scripted = s.outcomes.find(low);
    return scripted == s.outcomes.end() ? Outcome{} : scripted->second;
}

}  // namespace

void reset() {
    State& s = state();
    std::lock_guard guard(s.lock);
    s.outcomes.clear();
    s.held.clear();
    s.seen.clear();
    s.finished = 0;
    s.settings = {};
    s.changed.notify_all();
}

Settings settings() {
    std::lock_guard guard(state().lock);
    return state().settings;
}

void script(std::uint32_t low, Outcome outcome) {
    std::lock_guard guard(state().lock);
    state().outcomes[low] = outcome;
}

void hold(std::uint32_t low) {
    std::lock_guard guard(state().lock);
    state().held.insert(low);
}

void release(std::uint32_t low) {
    State& s = state();
    std::lock_guard guard(s.lock);
    s.held.erase(low);
    s.changed.notify_all();
}

bool waitUntilPushing(std::uint32_t low, std::chrono::milliseconds limit) {
    State& s = state();
    std::unique_lock guard(s.lock);
    return s.changed.wait_for(guard, limit, [&] { return s.pushing.count(low) != 0; });
}

bool waitUntilFinished(int count, std::chrono::milliseconds limit) {
    State& s = state();
    std::unique_lock guard(s.lock);
    return s.changed.wait_for(guard, limit, [&] { return s.finished >= count; });
}

int finishedCount() {
    std::lock_guard guard(state().lock);
    return state().finished;
}

std::vector<Push> pushes() {
    std::lock_guard guard(state().lock);
    return state().seen;
}

}  // namespace fakeobexa

using fakeobexa::Push;

extern "C" {

std::int32_t getFileStatusM(std::uint32_t low, std::uint32_t high, const char* type,
                            const char16_t* name, const char16_t* path) {
    return fakeobexa::runPush(Push{low, high, type, name, path}).pushResult;
}

std::int32_t getFileStatus1(std::uint32_t low, std::uint32_t high, const char* type,
                            const char16_t* name, const char16_t* path) {
    const fakeobexa::Outcome outcome = fakeobexa::runPush(Push{low, high, type, name, path});
    std::lock_guard guard(fakeobexa::state().lock);
    fakeobexa::state().current = outcome;
    return outcome.packetCount;
}

std::int32_t getFileStatus2() {
    return 7;
}

std::int32_t getFileStatusE() {
    std::lock_guard guard(fakeobexa::state().lock);
    return fakeobexa::state().current.lastAnswered;
}

std::int32_t setObexPacket(std::int32_t length) {
    std::lock_guard guard(fakeobexa::state().lock);
    fakeobexa::state().settings.packetLength = length;
    return 0;
}

std::int32_t setAnswerWait(std::int32_t seconds) {
    std::lock_guard guard(fakeobexa::state().lock);
    fakeobexa::state().settings.answerWait = seconds;
    return 0;
}
}
