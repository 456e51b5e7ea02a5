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

// What the reports library's exports set and read, per pushing thread.
struct ThreadReports {
    ObexaProgressFunction progress = nullptr;
    void* context = nullptr;
    bool reported = false;
    ObexaPushReport last{};
};
thread_local ThreadReports threadReports;

void reportProgress(std::uint64_t bytesAccepted, std::uint64_t fileBytes) {
    if (threadReports.progress != nullptr) {
        threadReports.progress(threadReports.context, bytesAccepted, fileBytes);
    }
}

}  // namespace

Outcome scripted(std::uint32_t low) {
    State& s = state();
    std::lock_guard guard(s.lock);
    const auto found = s.outcomes.find(low);
    return found == s.outcomes.end() ? Outcome{} : found->second;
}

namespace {

Outcome holdPush(Push push) {
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
    const auto found = s.outcomes.find(low);
    return found == s.outcomes.end() ? Outcome{} : found->second;
}

}  // namespace

Outcome runPush(Push push) {
    const ObexaPushReport report = scripted(push.low).report;
    reportProgress(report.bytesAccepted / 2, report.fileBytes);
    const Outcome outcome = holdPush(std::move(push));
    reportProgress(outcome.report.bytesAccepted, outcome.report.fileBytes);
    threadReports.reported = true;
    threadReports.last = outcome.report;
    return outcome;
}

void setProgress(ObexaProgressFunction progress, void* context) {
    threadReports.progress = progress;
    threadReports.context = context;
}

bool lastReport(ObexaPushReport& report) {
    if (threadReports.reported) {
        report = threadReports.last;
    }
    return threadReports.reported;
}

void makeCurrent(const Outcome& outcome) {
    std::lock_guard guard(state().lock);
    state().current = outcome;
}

Outcome current() {
    std::lock_guard guard(state().lock);
    return state().current;
}

void setPacketLength(std::int32_t length) {
    std::lock_guard guard(state().lock);
    state().settings.packetLength = length;
}

void setAnswerWait(std::int32_t seconds) {
    std::lock_guard guard(state().lock);
    state().settings.answerWait = seconds;
}

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
