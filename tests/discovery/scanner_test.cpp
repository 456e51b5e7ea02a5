#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "config/configstore.h"
#include "discovery/discoveryfront.h"
#include "discovery/inquirylength.h"
#include "libs/simworld/simworld.h"
#include "memory/recordtexts.h"
#include "platform/text.h"
#include "scannerfixture.h"
#include "tests/common/logreader.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

class ScannerTest : public SimulatedStation {
  protected:
    void stopWorkers() override { front.reset(); }

    // A front over the real radio library with its scanner made.
    blto::CBtoh& makeFront(const std::string& library = radioLibrary) {
        front = std::make_unique<blto::CBtoh>(newDevices, library);
        front->setManufacturers([this] { return &makers; });
        front->createScanner();
        return *front;
    }

    // Stops the scanner and waits until its worker has returned.
    void stopScanner() {
        front->stopScan();
        ASSERT_TRUE(waitUntil([&] { return !front->isScanRunning(); }));
    }

    std::set<std::string> listedAddresses() {
        std::set<std::string> addresses;
        for (int i = 0; i < front->sightingCount(); ++i) {
            if (const auto sighting = front->sightingAt(i)) {
                addresses.insert(backo::CBtAdWrapper::addressWithColons(*sighting->record()));
            }
        }
        return addresses;
    }

    blto::CBTScanner1& scanner() { return *front->scanner(); }

    CArrSyncMgr newDevices;
    std::unique_ptr<blto::CBtoh> front;
};

std::string manufacturerOf(const NyvexSighting& record) {
    const char16_t* name = record.manufacturerName;
    return platform::toUtf8(std::u16string(name));
}

}  // namespace

TEST(CInquiryLengthTest, FoundDevicesShortenAndEmptyInquiriesLengthenWithinFourToTen) {
    struct Case {
        std::vector<int> found;
        int expected;
    };
    const Case cases[] = {
        {{}, 5},
        {{3}, 4},
        {{1}, 4},
        {{0}, 6},
        {{0, 0, 0, 0, 0, 0}, 10},
        {{0, 0, 0, 0, 0, 0, 0, 1}, 9},
        {{20}, 4},
        {{70000}, 4},
        {{0, 0, 0, 0, 0, 2}, 8},
    };
    for (const Case& c : cases) {
        CInquiryLength length;
        for (int found : c.found) {
            length.adjust(found);
        }
        EXPECT_EQ(length.get(), c.expected) << "after " << c.found.size() << " inquiries";
    }
}

TEST(CInquiryLengthTest, ABusyLockReadsZeroAndLeavesTheLengthAlone) {
    CInquiryLength length;
    {
        std::lock_guard holder(length.lockForTest());
        std::thread([&] {
            EXPECT_EQ(length.get(), 0);
            length.adjust(0);
        }).join();
    }
    EXPECT_EQ(length.get(), CInquiryLength::startLength);
}

TEST(CBTScanner1PacingTest, PausesFollowSlotsAndBacklog) {
    EXPECT_EQ(blto::CBTScanner1::pauseAfterInquiry(0), 1ms);
    EXPECT_EQ(blto::CBTScanner1::pauseAfterInquiry(1), 252ms);
    EXPECT_EQ(blto::CBTScanner1::pauseAfterInquiry(20), 5021ms);
    EXPECT_EQ(blto::CBTScanner1::pauseForBacklog(0), 0ms);
    EXPECT_EQ(blto::CBTScanner1::pauseForBacklog(2), 954ms);
}

TEST_F(ScannerTest, WithoutAUsableRadioLibraryTheFrontIsNotLoadedAndStartsNoWorker) {
    // A missing file, and a library without the radio exports.
    for (const std::string& library :
         {station->file("libRadiox.so"), std::string(NYVEX_BIN_DIR "/libSdpora.so")}) {
        blto::CBtoh& discovery = makeFront(library);
        EXPECT_FALSE(discovery.isLoaded()) << library;
        EXPECT_EQ(discovery.countRadios(), 0) << library;
        EXPECT_FALSE(discovery.hasRadio()) << library;
        discovery.startScan();
        EXPECT_FALSE(discovery.isScanRunning()) << library;
    }
}

TEST_F(ScannerTest, TheFrontReportsTheSimulatedRadio) {
    blto::CBtoh& discovery = makeFront();
    ASSERT_TRUE(discovery.isLoaded());
    EXPECT_EQ(discovery.countRadios(), 1);
    EXPECT_EQ(scanner().radioName(), "Nyvex test");
    EXPECT_EQ(scanner().radioAddress(), "00:1A:7D:DA:71:13");
    setWorldWithoutRadio();
    EXPECT_FALSE(discovery.hasRadio());
    EXPECT_EQ(scanner().radioName(), std::nullopt);
    EXPECT_EQ(scanner().radioAddress(), "");
}

TEST_F(ScannerTest, SightingsAppearOnceStampedWithTheCurrentTimeAndTheirMaker) {
    setWorld({goodPhone1, goodPhone2, goodPhone3});
    blto::CBtoh& discovery = makeFront();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return discovery.sightingCount() == 3; }));
    // While the list holds sightings the scanner runs no further inquiry.
    ASSERT_TRUE(waitUntil([&] { return scanner().passCount() > 5; }));
    EXPECT_EQ(scanner().inquiryCount(), 1);
    stopScanner();

    EXPECT_EQ(listedAddresses(), (std::set<std::string>{goodPhone1, goodPhone2, goodPhone3}));
    for (int i = 0; i < 3; ++i) {
        const auto sighting = discovery.sightingAt(i);
        ASSERT_NE(sighting, nullptr);
        EXPECT_EQ(sighting->stamp(), clock.now());
        EXPECT_EQ(sighting->record()->device.size, sizeof(NyvexDeviceRecord));
        EXPECT_EQ(manufacturerOf(*sighting->record()), "Goodco");
    }
    // Three found shorten the next inquiry from 5 to the minimum of 4.
    EXPECT_EQ(scanner().inquiryLength(), 4);
}

TEST_F(ScannerTest, ABlockedManufacturerNeverReachesTheList) {
    setWorld({blockedPhone1, goodPhone1, blockedPhone2});
    blto::CBtoh& discovery = makeFront();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return discovery.sightingCount() > 0; }));
    stopScanner();
    EXPECT_EQ(listedAddresses(), (std::set<std::string>{goodPhone1}));

    // The slot after a blocked one delivers the next unblocked device again: it counts twice,
    // the list holds it once.
    EXPECT_EQ(discovery.collect(3), 2);
    EXPECT_EQ(listedAddresses(), (std::set<std::string>{goodPhone1}));
}

TEST_F(ScannerTest, TheInquiryLengthGrowsWhileNothingIsFoundAndShrinksWithFinds) {
    blto::CBtoh& discovery = makeFront();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return scanner().inquiryLength() == 10; }));
    EXPECT_GE(scanner().inquiryCount(), 5);
    EXPECT_EQ(discovery.sightingCount(), 0);

    setWorld({goodPhone1, goodPhone2, goodPhone3});
    ASSERT_TRUE(waitUntil([&] { return discovery.sightingCount() == 3; }));
    stopScanner();
    EXPECT_EQ(scanner().inquiryLength(), 7);
}

TEST_F(ScannerTest, NewDevicesWaitingHoldTheScannerBack) {
    setWorld({goodPhone1});
    newDevices.addUnique(makeSightingFor(goodPhone2));
    newDevices.addUnique(makeSightingFor(goodPhone3));
    blto::CBtoh& discovery = makeFront();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return scanner().passCount() > 5; }));
    EXPECT_EQ(scanner().inquiryCount(), 0);
    EXPECT_EQ(discovery.sightingCount(), 0);

    newDevices.deleteAll();
    EXPECT_TRUE(waitUntil([&] { return discovery.sightingCount() == 1; }));
}

TEST_F(ScannerTest, NoInquiryWhileAPushHoldsTheRadio) {
    setWorld({goodPhone1});
    blto::CBtoh& discovery = makeFront();
    std::unique_lock push(discovery.radioLock());
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return scanner().passCount() > 2; }));
    EXPECT_EQ(scanner().inquiryCount(), 0);

    push.unlock();
    EXPECT_TRUE(waitUntil([&] { return discovery.sightingCount() == 1; }));
}

TEST_F(ScannerTest, StoppingDuringAnInquiryLetsItFinishAndCollect) {
    // An inquiry of length 5 lasts 6.4 s x 0.1 here.
    setWorld({goodPhone1, goodPhone2}, 0.1);
    blto::CBtoh& discovery = makeFront();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return scanner().inquiryCount() == 1; }));
    discovery.stopScan();
    ASSERT_TRUE(waitUntil([&] { return !discovery.isScanRunning(); }));
    EXPECT_EQ(discovery.sightingCount(), 2);
    EXPECT_EQ(scanner().inquiryCount(), 1);
}

TEST_F(ScannerTest, DestroyingOrReplacingARunningScannerJoinsIt) {
    setWorld({goodPhone1}, 0.1);
    blto::CBtoh& discovery = makeFront();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return scanner().inquiryCount() == 1; }));
    // Replaced in the middle of an inquiry: the new scanner is made but not started.
    EXPECT_TRUE(discovery.createScanner());
    EXPECT_FALSE(discovery.isScanRunning());
    EXPECT_EQ(discovery.sightingCount(), 1);  // what the old scanner's inquiry found

    discovery.sightings().deleteAll();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return scanner().inquiryCount() == 1; }));
    front.reset();
}

TEST_F(ScannerTest, AFailedInquiryIsLoggedAndKeepsWhatWasCollectedBeforeIt) {
    blto::CBtoh& discovery = makeFront(FAKE_RADIO_LIBRARY);
    ASSERT_TRUE(discovery.isLoaded());
    discovery.startScan();
    // One device counted before the failed record: the length goes from 5 to 4.
    ASSERT_TRUE(waitUntil([&] { return scanner().inquiryLength() == 4; }));
    stopScanner();
    EXPECT_EQ(listedAddresses(), (std::set<std::string>{goodPhone1}));
    EXPECT_NE(errorLogText().find("3found 0btad"), std::string::npos) << errorLogText();
    // The record claiming 100000 bytes was copied only as far as a device record goes (the
    // address sanitizer build proves nothing beyond it was read).
    EXPECT_EQ(discovery.sightingAt(0)->record()->device.size, 100000u);
}

TEST_F(ScannerTest, AnEscapingErrorIsLoggedAndEndsTheWorker) {
    setWorld({goodPhone1});
    // Without a configuration the blocked-manufacturer list cannot be read.
    config::setConfig(nullptr);
    blto::CBtoh& discovery = makeFront();
    discovery.startScan();
    ASSERT_TRUE(waitUntil([&] { return scanner().inquiryCount() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return !discovery.isScanRunning(); }));
    EXPECT_EQ(discovery.sightingCount(), 0);
    EXPECT_NE(errorLogText().find("CBTScanner1"), std::string::npos) << errorLogText();
    // The radio lock was given back.
    std::unique_lock radio(discovery.radioLock(), std::defer_lock);
    EXPECT_TRUE(radio.try_lock());
}
