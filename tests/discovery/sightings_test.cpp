#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "discovery/sighting.h"
#include "discovery/sightingarray.h"
#include "platform/clock.h"
#include "tests/common/sightings.h"

using blto::CBtAdArr;
using blto::CBtAdWCounter;
using testing_support::makeRecord;
using testing_support::makeSighting;

namespace {

bool isAllZero(const NyvexSighting& record) {
    NyvexSighting zero{};
    return std::memcmp(&record, &zero, sizeof record) == 0;
}

}  // namespace

TEST(CBtAdWCounter, CopyOfAnEmptyWrapperHasAZeroFilledRecord) {
    CBtAdWCounter empty;
    CBtAdWCounter copy(empty);
    ASSERT_NE(copy.record(), nullptr);
    EXPECT_TRUE(isAllZero(*copy.record()));
    EXPECT_EQ(copy.stamp(), empty.stamp());
}

TEST(CBtAdWCounter, CopyDuplicatesTheRecordSoChangesStayApart) {
    auto original = makeSighting(0x001A7DDA7113, u'X');
    CBtAdWCounter copy(*original);
    ASSERT_NE(copy.record(), original->record());
    EXPECT_EQ(std::memcmp(copy.record(), original->record(), sizeof(NyvexSighting)), 0);

    original->record()->device.name[0] = u'Y';
    copy.record()->manufacturerName[0] = u'Z';
    EXPECT_EQ(copy.record()->device.name[0], u'X');
    EXPECT_EQ(original->record()->manufacturerName[0], u'\0');
}

TEST(CBtAdWCounter, AssignmentCopiesStampAndRecordAndEmptiesOnEmptySource) {
    platform::ManualClock clock(platform::TimePoint{} + std::chrono::hours(1000));
    platform::ScopedClock scoped(clock);
    auto first = makeSighting(0x111111111111, u'1');
    clock.advance(std::chrono::seconds(30));
    auto second = makeSighting(0x222222222222, u'2');

    *first = *second;
    EXPECT_EQ(first->stamp(), second->stamp());
    EXPECT_EQ(first->record()->device.address, 0x222222222222u);
    EXPECT_NE(first->record(), second->record());

    CBtAdWCounter empty;
    *first = empty;
    ASSERT_NE(first->record(), nullptr);
    EXPECT_TRUE(isAllZero(*first->record()));
}

TEST(CBtAdWCounter, IsOlderThanComparesStrictlyOnTheInstalledClock) {
    platform::ManualClock clock(platform::TimePoint{} + std::chrono::hours(1000));
    platform::ScopedClock scoped(clock);
    CBtAdWCounter sighting;
    clock.advance(std::chrono::seconds(6));
    EXPECT_FALSE(sighting.isOlderThan(std::chrono::seconds(6)));
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(sighting.isOlderThan(std::chrono::seconds(6)));
}

TEST(CBtAdArr, SightingsOfOneDeviceCompareEqualWhateverTheirNameOrTime) {
    CBtAdArr array;
    array.add(makeSighting(0x001A7DDA7113, u'A'));
    EXPECT_TRUE(array.contains(*makeSighting(0x001A7DDA7113, u'B')));
    EXPECT_FALSE(array.contains(*makeSighting(0x001A7DDA7114, u'A')));
    EXPECT_FALSE(array.contains(CBtAdWCounter()));
}

TEST(CBtAdArr, TakeLastHandsOutTheNewestAndNullWhenEmpty) {
    CBtAdArr array;
    EXPECT_EQ(array.takeLast(), nullptr);
    EXPECT_TRUE(array.empty());

    EXPECT_EQ(array.add(makeSighting(1)), 0u);
    EXPECT_EQ(array.add(makeSighting(2)), 1u);
    auto newest = array.takeLast();
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->record()->device.address, 2u);
    EXPECT_EQ(array.size(), 1u);
}

TEST(CBtAdArr, RemoveByAddressDeletesOnlyTheFirstMatch) {
    CBtAdArr array;
    array.add(makeSighting(7, u'a'));
    array.add(makeSighting(8));
    array.add(makeSighting(7, u'b'));
    array.removeByAddress(*makeRecord(7));
    ASSERT_EQ(array.size(), 2u);
    EXPECT_EQ(array.at(0).record()->device.address, 8u);
    EXPECT_EQ(array.at(1).record()->device.name[0], u'b');

    array.removeByAddress(*makeRecord(99));
    EXPECT_EQ(array.size(), 2u);
}

TEST(CBtAdArr, AtRejectsIndicesOutsideTheArray) {
    CBtAdArr array;
    array.add(makeSighting(1));
    EXPECT_NO_THROW(array.at(0));
    EXPECT_THROW(array.at(-1), std::invalid_argument);
    EXPECT_THROW(array.at(1), std::invalid_argument);
}

TEST(CBtAdArr, ClearHandsTheElementsToTheCaller) {
    CBtAdArr array;
    array.add(makeSighting(1));
    array.add(makeSighting(2));
    auto taken = array.clear();
    EXPECT_TRUE(array.empty());
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[1]->record()->device.address, 2u);

    array.add(makeSighting(3));
    array.deleteAll();
    EXPECT_TRUE(array.empty());
}
