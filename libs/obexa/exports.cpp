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

// The library's settings: where and whether pushes log. Pushes copy them when they start.
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

    // Logging off when the settings are busy beyond the wait.
    LogSettings snapshot() {
        std::unique_lock guard(lock, std::defer_lock);
        return guard.try_lock_for(settingsWait) ? settings : LogSettings{};
    }

  private:
    static constexpr std::chrono::milliseconds settingsWait{300};
    platform::TimedMutex lock;
    LogSettings settings;
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

std::int32_t runPush(CBTSender& sender, const PushArguments& arguments) {
    const std::u16string name = wideArgument(arguments.name);
    sender.startLog(dllSettings().snapshot(), name);
    return sender.push(narrowArgument(arguments.type), name, wideArgument(arguments.path));
}

}  // namespace

}  // namespace obexa

using namespace obexa;
using nyvexlib::guarded;

NYVEX_EXPORT std::int32_t getFileStatus1(std::uint32_t addressLow, std::uint32_t addressHigh,
                                         const char* type, const char16_t* name,
                                         const char16_t* path) {
    return guarded(0, [&] {
        currentPush.reset();
        currentTransport = makeTransport();
        currentPush = std::make_unique<CBTSender>(*currentTransport, addressLow, addressHigh);
        return runPush(*currentPush, {addressLow, addressHigh, type, name, path});
    });
}

NYVEX_EXPORT std::int32_t getFileStatusM(std::uint32_t addressLow, std::uint32_t addressHigh,
                                         const char* type, const char16_t* name,
                                         const char16_t* path) {
    return guarded(0, [&] {
        const auto transport = makeTransport();
        CBTSender sender(*transport, addressLow, addressHigh);
        const std::int32_t count = runPush(sender, {addressLow, addressHigh, type, name, path});
        // An object that was refused or never opened delivered nothing.
        return count > 0 && sender.lastAnsweredPacket() == count ? 1 : 0;
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

static_assert(std::is_same_v<decltype(&getFileStatus1), ObexaPushFunction>);
static_assert(std::is_same_v<decltype(&getFileStatusM), ObexaPushFunction>);
static_assert(std::is_same_v<decltype(&getFileStatus2), ObexaStatusFunction>);
static_assert(std::is_same_v<decltype(&getFileStatusE), ObexaStatusFunction>);
static_assert(std::is_same_v<decltype(&startLogging), ObexaStartLoggingFunction>);
static_assert(std::is_same_v<decltype(&stopLogging), ObexaStopLoggingFunction>);
