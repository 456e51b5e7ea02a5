#include "backoffice/backoffice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "memory/btadmemory.h"
#include "memory/recordtexts.h"
#include "platform/btaddress.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/common/logreader.h"
#include "tests/common/sightings.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"

using namespace std::chrono_literals;
using testing_support::waitUntil;

namespace {

const std::string phoneA = "00:11:22:00:00:0A";
const std::string phoneB = "00:11:22:00:00:0B";
const std::string phoneC = "00:11:22:00:00:0C";
const std::string phoneD = "00:11:22:00:00:0D";

std::unique_ptr<blto::CBtAdWCounter> sightingOf(const std::string& address) {
    return testing_support::makeSighting(platform::btaddress::parse(address).value_or(0));
}

std::string addressOf(const blto::CBtAdWCounter& sighting) {
    return backo::CBtAdWrapper::addressWithColons(*sighting.record());
}

// Holds a lock from another thread until released.
class LockHolder {
  public:
    explicit LockHolder(platform::RecursiveTimedMutex& lock)
        : holder([this, &lock] {
              std::lock_guard guard(lock);
              held = true;
              while (!released) {
                  std::this_thread::sleep_for(1ms);
              }
          }) {
        waitUntil([this] { return held.load(); });
    }
    ~LockHolder() {
        released = true;
        holder.join();
    }

  private:
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    std::thread holder;
};

class BackOfficeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        station = std::make_unique<testing_support::StationFolder>(
            true, "[Tolvik]\nversion=1.061\nnogoaddress1=" + phoneD + "\n");
        archive = station->file("memory.arc");
        office = std::make_unique<backo::CBackOffice>();
        office->setQueues(&sightings, &newDevices);
        ASSERT_TRUE(office->loadBlockedAddresses());
    }

    void TearDown() override {
        office.reset();
        station.reset();
    }

    // Test mode: the duration counts minutes.
    void openMemory(int minutes, bool polite) {
        office->configure(minutes, polite, true);
        office->openStore(archive);
    }

    bool isKnown(const std::string& address) { return office->isKnown(*sightingOf(address)); }
    bool serve(const std::string& address) { return office->markServed(*sightingOf(address)); }

    // Devices the archive file holds.
    int devicesInArchive() {
        backo::CBtAdMemory stored;
        stored.setPath(archive);
        stored.load();
        return stored.count();
    }

    // Queues `address` behind a marker device and waits until the worker has handled both: the
    // queue is taken newest first, so once the marker arrives the device was decided.
    bool offeredToSending(const std::string& address, const std::string& marker) {
        sightings.addUnique(sightingOf(marker));
        sightings.addUnique(sightingOf(address));
        EXPECT_TRUE(waitUntil([&] { return sightings.count() == 0 && hasNewDevice(marker); }));
        const bool offered = hasNewDevice(address);
        newDevices.deleteAll();
        return offered;
    }

    bool hasNewDevice(const std::string& address) {
        for (int i = 0; i < newDevices.count(); ++i) {
            const auto sighting = newDevices.copyAt(i);
            if (sighting && addressOf(*sighting) == address) {
                return true;
            }
        }
        return false;
    }

    platform::ManualClock clock{platform::fromLocal({2024, 5, 17, 10, 30, 0, 0, 5})};
    platform::ScopedClock clockInUse{clock};
    testing_support::ScopedTimeScale shortPauses{0.01};
    std::unique_ptr<testing_support::StationFolder> station;
    std::string archive;
    CArrSyncMgr sightings;
    CArrSyncMgr newDevices;
    std::unique_ptr<backo::CBackOffice> office;
};

}  // namespace

TEST_F(BackOfficeTest, BlockedAddressesAreReadUpToTheFirstGapAndReloaded) {
    config::current()->setString("nogoaddress2", " 00:11:22:00:00:0b ");
    config::current()->setString("nogoaddress4", phoneC);
    ASSERT_TRUE(office->loadBlockedAddresses());
    EXPECT_TRUE(isKnown(phoneD));
    EXPECT_TRUE(isKnown(phoneB));   // the colon form, whatever the case and blanks in the file
    EXPECT_FALSE(isKnown(phoneC));  // after the gap at nogoaddress3
    EXPECT_FALSE(isKnown(phoneA));

    config::current()->deleteKey("nogoaddress1");
    ASSERT_TRUE(office->loadBlockedAddresses());
    EXPECT_FALSE(isKnown(phoneD));
    EXPECT_FALSE(isKnown(phoneB));
}

TEST_F(BackOfficeTest, ABlockedDeviceIsDroppedWithoutTouchingTheMemory) {
    openMemory(1, true);
    ASSERT_TRUE(serve(phoneD));
    const std::string saved = platform::readFile(archive).value_or("");
    ASSERT_FALSE(saved.empty());
    EXPECT_TRUE(isKnown(phoneD));
    // A polite lookup would have moved the device's time and changed the memory.
    EXPECT_TRUE(office->save());
    EXPECT_EQ(platform::readFile(archive).value_or(""), saved);
}

TEST_F(BackOfficeTest, TheWorkerPassesOnlyNewUnblockedDevicesOnce) {
    openMemory(1, false);
    ASSERT_TRUE(serve(phoneC));
    ASSERT_TRUE(office->start());
    EXPECT_FALSE(office->start());
    EXPECT_TRUE(offeredToSending(phoneA, phoneB));
    EXPECT_FALSE(offeredToSending(phoneD, phoneB));  // blocked
    EXPECT_FALSE(offeredToSending(phoneC, phoneB));  // served

    // A device already waiting for the job machine is not queued twice.
    newDevices.addUnique(sightingOf(phoneA));
    sightings.addUnique(sightingOf(phoneB));
    sightings.addUnique(sightingOf(phoneA));
    ASSERT_TRUE(waitUntil([&] { return newDevices.count() == 2; }));
    EXPECT_TRUE(hasNewDevice(phoneA));
    EXPECT_TRUE(hasNewDevice(phoneB));
}

TEST_F(BackOfficeTest, AServedDeviceIsDroppedUntilThePurgeAfterItsTimeRanOut) {
    struct Case {
        bool testMode;
        std::chrono::seconds limit;
    };
    for (const Case c : {Case{true, 60s}, Case{false, 24h}}) {
        SCOPED_TRACE(c.testMode ? "minutes" : "days");
        office->configure(1, false, c.testMode);
        office->openStore(station->file(c.testMode ? "minutes.arc" : "days.arc"));
        ASSERT_TRUE(serve(phoneA));
        EXPECT_FALSE(serve(phoneA));
        clock.advance(c.limit);
        serve(phoneB);  // purges: exactly as old as the limit stays
        EXPECT_TRUE(isKnown(phoneA));
        clock.advance(1s);
        EXPECT_TRUE(isKnown(phoneA));  // out of time, yet remembered until the next purge
        serve(phoneC);
        EXPECT_FALSE(isKnown(phoneA));
    }
}

TEST_F(BackOfficeTest, AServedDeviceIsOfferedToSendingAgainAfterThePurge) {
    openMemory(1, false);
    ASSERT_TRUE(serve(phoneA));
    ASSERT_TRUE(office->start());
    EXPECT_FALSE(offeredToSending(phoneA, phoneB));
    clock.advance(61s);
    serve(phoneC);
    EXPECT_TRUE(offeredToSending(phoneA, phoneB));
}

TEST_F(BackOfficeTest, PoliteModeKeepsADeviceRememberedWhileItIsSeen) {
    for (const bool polite : {true, false}) {
        SCOPED_TRACE(polite ? "polite" : "not polite");
        office->clearMemory();
        openMemory(1, polite);
        ASSERT_TRUE(serve(phoneA));
        for (int look = 0; look < 3; ++look) {
            clock.advance(50s);
            isKnown(phoneA);
            serve(phoneB);  // purge
        }
        EXPECT_EQ(isKnown(phoneA), polite);
        clock.advance(200s);
        serve(phoneC);
        EXPECT_FALSE(isKnown(phoneA));
    }
}

TEST_F(BackOfficeTest, RememberedCountPurgesAndSavesOnCalls21And41) {
    openMemory(1, false);
    ASSERT_TRUE(serve(phoneA));
    clock.advance(2min);
    for (int call = 1; call <= 21; ++call) {
        EXPECT_EQ(office->rememberedCount(), 1) << "call " << call;
    }
    EXPECT_EQ(devicesInArchive(), 0);
    EXPECT_EQ(office->rememberedCount(), 0);

    ASSERT_TRUE(serve(phoneB));
    clock.advance(2min);
    for (int call = 23; call <= 41; ++call) {
        EXPECT_EQ(office->rememberedCount(), 1) << "call " << call;
    }
    EXPECT_EQ(devicesInArchive(), 0);
    EXPECT_EQ(office->rememberedCount(), 0);
}

TEST_F(BackOfficeTest, ReopeningTheStoreSavesAChangedMemoryFirst) {
    EXPECT_FALSE(office->openStore(archive));  // no file yet: an empty memory
    ASSERT_TRUE(serve(phoneA));
    ASSERT_TRUE(serve(phoneB));
    office->clearMemory();
    EXPECT_TRUE(office->openStore(archive));
    EXPECT_EQ(office->rememberedCount(), 0);
    EXPECT_EQ(devicesInArchive(), 0);

    // Another archive starts from its own file; the first keeps what was served.
    ASSERT_TRUE(serve(phoneA));
    EXPECT_FALSE(office->openStore(station->file("other.arc")));
    EXPECT_FALSE(isKnown(phoneA));
    EXPECT_EQ(devicesInArchive(), 1);
}

// A damaged archive is never saved over: it keeps a second name, the devices read before the
// damage are written at once as a sound archive in its place, and the error log says so. A
// missing archive is only a first start.
TEST_F(BackOfficeTest, ADamagedArchiveIsKeptAndWhatWasReadIsSavedAtOnce) {
    openMemory(1, false);
    EXPECT_FALSE(std::filesystem::exists(archive + ".damaged"));
    ASSERT_TRUE(serve(phoneA));
    ASSERT_TRUE(serve(phoneB));
    const std::string whole = platform::readFile(archive).value_or("");
    ASSERT_EQ(whole.size(), 2u + 2 * 80u);
    const std::string damaged = whole.substr(0, whole.size() - 40);
    ASSERT_TRUE(platform::replaceFileAtomically(archive, damaged));

    EXPECT_FALSE(office->openStore(archive));
    EXPECT_EQ(platform::readFile(archive + ".damaged"), damaged);
    EXPECT_EQ(devicesInArchive(), 1);
    EXPECT_EQ(office->rememberedCount(), 1);
    EXPECT_NE(testing_support::errorLogText().find("device memory not loaded whole: " + archive +
                                                   " ends inside record 2 of 2; " + "kept as " +
                                                   archive + ".damaged; 1 devices remembered"),
              std::string::npos)
        << testing_support::errorLogText();

    EXPECT_TRUE(office->openStore(archive)) << "the archive is sound again";
    ASSERT_TRUE(platform::replaceFileAtomically(archive, "\x05"));
    EXPECT_FALSE(office->openStore(archive));
    EXPECT_EQ(platform::readFile(archive + ".damaged.2"), "\x05") << "the first one stays";
    EXPECT_EQ(platform::readFile(archive + ".damaged"), damaged);
    EXPECT_EQ(devicesInArchive(), 0);
}

TEST_F(BackOfficeTest, WithoutAMemoryOnlyTheBlockedListCounts) {
    EXPECT_FALSE(serve(phoneA));
    EXPECT_EQ(office->rememberedCount(), 0);
    EXPECT_FALSE(office->save());
    office->clearMemory();
    EXPECT_FALSE(isKnown(phoneA));
    EXPECT_TRUE(isKnown(phoneD));
}

TEST_F(BackOfficeTest, ABusyLockMakesEveryOperationNeutralAndLookupsCautious) {
    openMemory(1, false);
    ASSERT_TRUE(serve(phoneA));
    {
        LockHolder busy(office->lockForTest());
        EXPECT_TRUE(isKnown(phoneB));  // not known to be allowed: not offered
        EXPECT_FALSE(serve(phoneB));
        EXPECT_EQ(office->rememberedCount(), 0);
        EXPECT_FALSE(office->openStore(station->file("other.arc")));
        EXPECT_FALSE(office->save());
        EXPECT_FALSE(office->loadBlockedAddresses());
    }
    EXPECT_EQ(office->rememberedCount(), 1);  // the old memory stayed
    EXPECT_FALSE(isKnown(phoneB));
}

TEST_F(BackOfficeTest, StoppingOrDestroyingARunningBackOfficeEndsItsWorker) {
    ASSERT_TRUE(office->start());
    EXPECT_TRUE(office->isRunning());
    office->stop();
    EXPECT_TRUE(waitUntil([&] { return !office->isRunning(); }));

    // Destroyed while it idles on an empty queue.
    ASSERT_TRUE(office->start());
    sightings.addUnique(sightingOf(phoneA));
    ASSERT_TRUE(waitUntil([&] { return newDevices.count() == 1; }));
    office.reset();
}

TEST_F(BackOfficeTest, TheLockIsFreeWhileTheArchiveIsWritten) {
    openMemory(1, false);
    int writes = 0;
    bool lockFree = false;
    office->setWhileWritingForTest([&] {
        ++writes;
        std::thread other([&] {
            std::unique_lock probe(office->lockForTest(), std::try_to_lock);
            lockFree = probe.owns_lock();
        });
        other.join();
    });
    ASSERT_TRUE(serve(phoneA));
    EXPECT_EQ(writes, 1);
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(devicesInArchive(), 1);
}

// The write under way holds the copy taken before the second device came; the memory stays
// marked changed, so the next save writes that device too.
TEST_F(BackOfficeTest, ADeviceServedWhileTheArchiveIsWrittenIsSavedNextTime) {
    openMemory(1, false);
    bool servedMeanwhile = false;
    bool first = true;
    office->setWhileWritingForTest([&] {
        if (!std::exchange(first, false)) {
            return;
        }
        // Its own save gives up waiting for the one under way.
        std::thread other([&] { servedMeanwhile = serve(phoneB); });
        other.join();
    });
    ASSERT_TRUE(serve(phoneA));
    EXPECT_TRUE(servedMeanwhile);
    EXPECT_EQ(devicesInArchive(), 1);
    EXPECT_TRUE(office->save());
    EXPECT_EQ(devicesInArchive(), 2);
}

// While one save writes, a device is served and the store is reopened: the reopening waits for
// the save, and whichever of the later saves comes first, both devices end up in the archive
// and in the reopened memory.
TEST_F(BackOfficeTest, AReopenDuringASaveWaitsForItAndLosesNoDevice) {
    openMemory(1, false);
    bool servedMeanwhile = false;
    bool reopened = false;
    std::thread serving;
    std::thread reopening;
    bool first = true;
    office->setWhileWritingForTest([&] {
        if (!std::exchange(first, false)) {
            return;
        }
        serving = std::thread([&] { servedMeanwhile = serve(phoneB); });
        ASSERT_TRUE(waitUntil([&] { return isKnown(phoneB); }));
        reopening = std::thread([&] { reopened = office->openStore(archive); });
    });
    ASSERT_TRUE(serve(phoneA));
    serving.join();
    reopening.join();
    EXPECT_TRUE(servedMeanwhile);
    EXPECT_TRUE(reopened);
    EXPECT_EQ(devicesInArchive(), 2);
    EXPECT_TRUE(isKnown(phoneA));
    EXPECT_TRUE(isKnown(phoneB));
}

// Devices served on one thread while others save, count and look up: every one of them is in
// the archive at the end, which is whole and has no temporary files beside it.
TEST_F(BackOfficeTest, SavesRacingServedDevicesLoseNone) {
    office->configure(30, true, false);
    office->openStore(archive);
    constexpr int devices = 100;
    const auto sightingNumber = [](int n) {
        return testing_support::makeSighting(0x001122330000ULL + static_cast<std::uint64_t>(n));
    };
    std::atomic<bool> serving{true};
    std::thread pusher([&] {
        for (int n = 0; n < devices; ++n) {
            EXPECT_TRUE(office->markServed(*sightingNumber(n)));
        }
        serving = false;
    });
    std::thread saver([&] {
        while (serving) {
            office->save();
        }
    });
    std::thread gui([&] {
        for (int n = 0; serving; ++n) {
            office->isKnown(*sightingNumber(n % devices));  // polite: changes the memory
            office->rememberedCount();
        }
    });
    pusher.join();
    saver.join();
    gui.join();
    ASSERT_TRUE(office->save());

    backo::CBtAdMemory stored;
    stored.setPath(archive);
    ASSERT_TRUE(stored.load());
    EXPECT_EQ(stored.count(), devices);
    backo::CBtAdWrapper wrapper;
    for (int n = 0; n < devices; ++n) {
        EXPECT_TRUE(stored.lookup(wrapper.memoryKey(*sightingNumber(n)->record()), false)) << n;
    }
    for (const auto& file : std::filesystem::directory_iterator(station->path())) {
        EXPECT_FALSE(file.path().filename().string().starts_with("memory.arc.")) << file.path();
    }
}
