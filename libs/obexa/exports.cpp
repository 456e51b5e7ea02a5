// The C boundary of the library. Nothing may escape it: every export catches everything and
// answers with its neutral value.

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "boundedtext.h"
#include "btsender.h"
#include "libs/common/guardedexport.h"
#include "libs/include/obexa.h"
#include "platform/timedmutex.h"

namespace obexa {

namespace {

// The library's settings: where and whether pushes log, how long their packets are and how
// long they wait for the first PUT's answer. Pushes copy them when they start.
class CDllOpp {
  public:
    static constexpr std::size_t folderCapacity = 256;  // with the terminator
    virtual ~CDllOpp() = default;

    bool start(std::u16string_view folder) {
        std::unique_lock guard(lock, std::defer_lock);
        if (folder.size() >= folderCapacity || !guard.try_lock_for(settingsWait)) {
            return false;
        }
        settings.folder.assign(folder);
        settings.logging = true;
        return true;
    }

    void stop() {
        std::unique_lock guard(lock, std::defer_lock);
        if (guard.try_lock_for(settingsWait)) {
            settings.logging = false;
        }
    }

    // False, and the setting unchanged, for a length outside 255-65535.
    bool setPacketLength(std::int32_t length) {
        return length >= PushSettings::minPacketLength && length <= PushSettings::maxPacketLength &&
               change([&] { push.packetLength = length; });
    }

    // False, and the setting unchanged, for a wait outside 1-120 seconds.
    bool setAnswerWait(std::int32_t seconds) {
        return seconds >= PushSettings::minAnswerWait && seconds <= PushSettings::maxAnswerWait &&
               change([&] { push.answerWait = seconds; });
    }

    // Logging off when the settings are busy beyond the wait.
    LogSettings snapshot() {
        std::unique_lock guard(lock, std::defer_lock);
        return guard.try_lock_for(settingsWait) ? settings : LogSettings{};
    }

    // The defaults when the settings are busy beyond the wait.
    PushSettings pushSnapshot() {
        std::unique_lock guard(lock, std::defer_lock);
        return guard.try_lock_for(settingsWait) ? push : PushSettings{};
    }

  private:
    template <typename Change>
    bool change(Change apply) {
        std::unique_lock guard(lock, std::defer_lock);
        if (!guard.try_lock_for(settingsWait)) {
            return false;
        }
        apply();
        return true;
    }

    static constexpr std::chrono::milliseconds settingsWait{300};
    platform::TimedMutex lock;
    LogSettings settings;
    PushSettings push;
};

CDllOpp& dllSettings() {
    static CDllOpp instance;
    return instance;
}

// The current push of the two-call form. The caller's contract keeps getFileStatus1, 2 and E
// on one thread, so the slot needs no lock.
std::unique_ptr<CObexTransport> currentTransport;
std::unique_ptr<CBTSender> currentPush;

struct PushArguments {
    std::uint32_t addressLow;
    std::uint32_t addressHigh;
    const char* type;
    const char16_t* name;
    const char16_t* path;
};

// Each thread's progress receiver and the report of its last push. Plain data, constant
// initialised: nothing needs running when a thread starts or ends, or when the library is
// unloaded.
struct ThreadPushes {
    ObexaProgressFunction progress = nullptr;
    void* context = nullptr;
    bool reported = false;
    ObexaPushReport last{};
};
thread_local ThreadPushes threadPushes;

std::unique_ptr<CBTSender> makeSender(CObexTransport& transport, const PushArguments& arguments) {
    const PushSettings settings = dllSettings().pushSnapshot();
    return std::make_unique<CBTSender>(transport, arguments.addressLow, arguments.addressHigh,
                                       waitsFor(settings), settings.packetLength);
}

// The thread's report until its push ends: a failed connection with nothing moved. Set before
// anything of the push can throw, so a push that never started does not report the one before.
void startReport() {
    threadPushes.reported = true;
    threadPushes.last = ObexaPushReport{};
    threadPushes.last.outcome = obexaConnectionFailed;
}

// Runs the push and keeps its report as the thread's last one.
std::int32_t runPush(CBTSender& sender, const PushArguments& arguments) {
    ThreadPushes& thread = threadPushes;
    if (thread.progress != nullptr) {
        sender.setProgress([progress = thread.progress, context = thread.context](
                               std::uint64_t accepted, std::uint64_t fileBytes) {
            progress(context, accepted, fileBytes);
        });
    }
    const std::u16string name = wideArgument(arguments.name);
    sender.startLog(dllSettings().snapshot(), name);
    const std::int32_t count =
        sender.push(narrowArgument(arguments.type), name, wideArgument(arguments.path));
    thread.last = sender.report();
    return count;
}

}  // namespace

}  // namespace obexa

using namespace obexa;
using nyvexlib::guarded;

NYVEX_EXPORT std::int32_t getFileStatus1(std::uint32_t addressLow, std::uint32_t addressHigh,
                                         const char* type, const char16_t* name,
                                         const char16_t* path) {
    return guarded(0, [&] {
        startReport();
        currentPush.reset();
        currentTransport = makeTransport();
        const PushArguments arguments{addressLow, addressHigh, type, name, path};
        currentPush = makeSender(*currentTransport, arguments);
        return runPush(*currentPush, arguments);
    });
}

NYVEX_EXPORT std::int32_t getFileStatusM(std::uint32_t addressLow, std::uint32_t addressHigh,
                                         const char* type, const char16_t* name,
                                         const char16_t* path) {
    return guarded(0, [&] {
        startReport();
        const auto transport = makeTransport();
        const PushArguments arguments{addressLow, addressHigh, type, name, path};
        const auto sender = makeSender(*transport, arguments);
        const std::int32_t count = runPush(*sender, arguments);
        // An object that was refused or never opened delivered nothing.
        return count > 0 && sender->lastAnsweredPacket() == count ? 1 : 0;
    });
}

NYVEX_EXPORT std::int32_t getFileStatus2() {
    return guarded<std::int32_t>(status::none,
                                 [] { return currentPush ? currentPush->status() : status::none; });
}

NYVEX_EXPORT std::int32_t getFileStatusE() {
    return guarded(0, [] {
        if (!currentPush) {
            return 0;
        }
        const std::int32_t answered = currentPush->lastAnsweredPacket();
        currentPush.reset();
        currentTransport.reset();
        return answered;
    });
}

NYVEX_EXPORT std::int32_t startLogging(const char16_t* folder) {
    return guarded(1, [&] {
        if (folder == nullptr) {
            return 1;
        }
        return dllSettings().start(folder) ? 0 : 1;
    });
}

NYVEX_EXPORT void stopLogging() {
    guarded([] { dllSettings().stop(); });
}

NYVEX_EXPORT std::int32_t setObexPacket(std::int32_t length) {
    return guarded(1, [&] { return dllSettings().setPacketLength(length) ? 0 : 1; });
}

NYVEX_EXPORT std::int32_t setAnswerWait(std::int32_t seconds) {
    return guarded(1, [&] { return dllSettings().setAnswerWait(seconds) ? 0 : 1; });
}

NYVEX_EXPORT void setPushProgress(ObexaProgressFunction progress, void* context) {
    guarded([&] {
        threadPushes.progress = progress;
        threadPushes.context = progress != nullptr ? context : nullptr;
    });
}

NYVEX_EXPORT std::int32_t getPushReport(ObexaPushReport* report) {
    return guarded(1, [&] {
        if (report == nullptr || !threadPushes.reported) {
            return 1;
        }
        *report = threadPushes.last;
        return 0;
    });
}

static_assert(std::is_same_v<decltype(&getFileStatus1), ObexaPushFunction>);
static_assert(std::is_same_v<decltype(&getFileStatusM), ObexaPushFunction>);
static_assert(std::is_same_v<decltype(&getFileStatus2), ObexaStatusFunction>);
static_assert(std::is_same_v<decltype(&getFileStatusE), ObexaStatusFunction>);
static_assert(std::is_same_v<decltype(&startLogging), ObexaStartLoggingFunction>);
static_assert(std::is_same_v<decltype(&stopLogging), ObexaStopLoggingFunction>);
static_assert(std::is_same_v<decltype(&setObexPacket), ObexaSettingFunction>);
static_assert(std::is_same_v<decltype(&setAnswerWait), ObexaSettingFunction>);
static_assert(std::is_same_v<decltype(&setPushProgress), ObexaSetProgressFunction>);
static_assert(std::is_same_v<decltype(&getPushReport), ObexaReportFunction>);
