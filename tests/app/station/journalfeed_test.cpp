// The journal feed: what a push outcome becomes in the journal, and the thread center's pushes
// reaching the journal through it.

#include <gtest/gtest.h>

#include <chrono>

#include "app/station/journalfeed.h"
#include "journal/journalstore.h"
#include "memory/recordtexts.h"
#include "platform/text.h"
#include "tests/common/registeredpart.h"
#include "tests/common/simstation.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"

namespace {

using journal::Outcome;
using testing_support::waitUntil;

constexpr std::uint64_t phoneAddress = 0x001122AABB09;

std::unique_ptr<blto::CBtAdWCounter> sightingOf(std::uint64_t address) {
    auto record = std::make_unique<NyvexSighting>();
    record->device.size = sizeof(NyvexDeviceRecord);
    record->device.address = address;
    const std::u16string name = u"Anna's phone";
    std::copy(name.begin(), name.end(), record->device.name);
    const std::u16string maker = u"Zeta Phones, Inc.";
    std::copy(maker.begin(), maker.end(), record->manufacturerName);
    auto device = std::make_unique<blto::CBtAdWCounter>();
    device->setRecord(std::move(record));
    return device;
}

TEST(JournalFeed, AnOutcomeBecomesAnEntryUnderTheMemoryKey) {
    struct Case {
        btsend::PushKind kind;
        std::int32_t libraryOutcome;
        bool delivered;
        Outcome expected;
    };
    const Case cases[] = {
        {btsend::PushKind::normal, obexaDelivered, true, Outcome::delivered},
        {btsend::PushKind::normal, obexaRefused, false, Outcome::refused},
        {btsend::PushKind::normal, obexaNoAnswer, false, Outcome::noAnswer},
        {btsend::PushKind::normal, obexaConnectionFailed, false, Outcome::connectionFailed},
        {btsend::PushKind::normal, obexaNoService, false, Outcome::noService},
        {btsend::PushKind::normal, obexaFileUnusable, false, Outcome::fileUnusable},
        {btsend::PushKind::normal, 77, false, Outcome::connectionFailed},
        {btsend::PushKind::rangeTest, obexaDelivered, true, Outcome::rangeTest},
        {btsend::PushKind::rangeTest, obexaRefused, false, Outcome::rangeTest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(journal::outcomeName(c.expected));
        btsend::PushOutcome outcome;
        outcome.kind = c.kind;
        outcome.device = *sightingOf(phoneAddress);
        outcome.campaignName = "Summer";
        outcome.sendName = "summer.jpg";
        outcome.started = platform::TimePoint(std::chrono::milliseconds(1'780'000'000'999));
        outcome.report = {c.libraryOutcome, 9, 7, 1234, 4000, 3010};
        outcome.delivered = c.delivered;

        const journal::Entry entry = CJournalFeed::entryFor(outcome, "NyvexDemo");
        EXPECT_EQ(entry.outcome, c.expected);
        EXPECT_EQ(entry.delivered, c.delivered);
        EXPECT_EQ(entry.time, 1'780'000'000);
        EXPECT_EQ(entry.campaign, "Summer");
        EXPECT_EQ(entry.sendName, "summer.jpg");
        EXPECT_EQ(entry.deviceKey, backo::CBtAdWrapper().memoryKey(*outcome.device.record()));
        EXPECT_EQ(entry.manufacturer, "Zeta Phones, Inc.");
        EXPECT_EQ(entry.packets, 7);
        EXPECT_EQ(entry.bytes, 3010u);
        EXPECT_EQ(entry.durationMs, 1234u);
        EXPECT_EQ(entry.radio, "NyvexDemo");
    }
}

// A range test of a phone that is not there: the push fails, and the journal says it was a
// range test that did not arrive.
TEST(JournalFeed, TheThreadCentersRangeTestLandsInTheJournal) {
    testing_support::TempFolder journalFolder;
    const std::string path = (journalFolder.path() / journal::journalFileName).string();
    testing_support::RegisteredPart<CJournalFeed> feed(path, 365);
    testing_support::SimulatedStation station;
    station.folder.write("testpic.gif", std::string(2883, 'G'));
    feed->setRadio("TestRadio");

    btsend::CBtSender& sender = *station.center->sender();
    ASSERT_EQ(sender.queueRangeTest(sightingOf(phoneAddress)), 0);
    ASSERT_TRUE(
        waitUntil([&] { return sender.counters().getFailed() == 1; }, std::chrono::seconds(30)));
    ASSERT_TRUE(waitUntil(
        [&] {
            feed->writer().flush(std::chrono::seconds(1));
            journal::CJournalStore store;
            return store.open(path, journal::CJournalStore::Access::readOnly) &&
                   store.entryCount() == 1;
        },
        std::chrono::seconds(10)));

    journal::CJournalStore store;
    ASSERT_TRUE(store.open(path, journal::CJournalStore::Access::readOnly));
    std::vector<journal::Entry> entries;
    store.forEachEntry({0, 4102444800}, [&](const journal::Entry& entry) {
        entries.push_back(entry);
        return true;
    });
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].outcome, Outcome::rangeTest);
    EXPECT_FALSE(entries[0].delivered);
    EXPECT_EQ(entries[0].manufacturer, "Zeta Phones, Inc.");
    EXPECT_EQ(entries[0].radio, "TestRadio");
    EXPECT_EQ(entries[0].campaign, "range test");
}

}  // namespace
