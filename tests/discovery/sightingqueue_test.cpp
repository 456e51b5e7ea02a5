#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "discovery/sightingqueue.h"
#include "tests/common/sightings.h"

using testing_support::makeRecord;
using testing_support::makeSighting;

TEST(CArrSyncMgr, AddUniqueRejectsASecondSightingOfTheSameDevice) {
    CArrSyncMgr queue;
    EXPECT_TRUE(queue.addUnique(makeSighting(0x10, u'a')));
    EXPECT_TRUE(queue.addUnique(makeSighting(0x20)));
    EXPECT_FALSE(queue.addUnique(makeSighting(0x10, u'b')));
    EXPECT_FALSE(queue.addUnique(nullptr));
    EXPECT_EQ(queue.count(), 2);
    EXPECT_EQ(queue.copyAt(0)->record()->device.name[0], u'a');
}

TEST(CArrSyncMgr, TakeLastServesTheNewestFirst) {
    CArrSyncMgr queue;
    for (std::uint64_t address : {1, 2, 3}) {
        queue.addUnique(makeSighting(address));
    }
    for (std::uint64_t expected : {3, 2, 1}) {
        auto taken = queue.takeLast();
        ASSERT_NE(taken, nullptr);
        EXPECT_EQ(taken->record()->device.address, expected);
    }
    EXPECT_EQ(queue.takeLast(), nullptr);
}

TEST(CArrSyncMgr, CopyAtGivesAnIndependentCopyOrNothingOutsideTheQueue) {
    CArrSyncMgr queue;
    queue.addUnique(makeSighting(5, u'x'));
    auto copy = queue.copyAt(0);
    ASSERT_NE(copy, nullptr);
    copy->record()->device.name[0] = u'y';
    EXPECT_EQ(queue.copyAt(0)->record()->device.name[0], u'x');
    EXPECT_EQ(queue.copyAt(-1), nullptr);
    EXPECT_EQ(queue.copyAt(queue.count()), nullptr);
}

TEST(CArrSyncMgr, RemoveDeviceAndDeleteAll) {
    CArrSyncMgr queue;
    queue.addUnique(makeSighting(1));
    queue.addUnique(makeSighting(2));
    queue.removeDevice(*makeRecord(1));
    queue.removeDevice(*makeRecord(9));
    ASSERT_EQ(queue.count(), 1);
    EXPECT_EQ(queue.copyAt(0)->record()->device.address, 2u);
    queue.deleteAll();
    EXPECT_EQ(queue.count(), 0);
}

// While another thread holds the lock, every operation gives up after its wait and returns
// its neutral result without touching the queue.
TEST(CArrSyncMgr, AHeldLockGivesTheNeutralResults) {
    CArrSyncMgr queue;
    queue.addUnique(makeSighting(1));
    queue.addUnique(makeSighting(2));

    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
        std::lock_guard<platform::TimedMutex> guard(queue.lockForTest());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();

    EXPECT_FALSE(queue.addUnique(makeSighting(3)));
    EXPECT_EQ(queue.takeLast(), nullptr);
    EXPECT_EQ(queue.copyAt(0), nullptr);
    EXPECT_EQ(queue.count(), 0);
    queue.removeDevice(*makeRecord(1));
    queue.deleteAll();

    release.set_value();
    holder.join();
    EXPECT_EQ(queue.count(), 2);
    EXPECT_EQ(queue.copyAt(0)->record()->device.address, 1u);
}

TEST(CArrSyncMgr, ProducersAndConsumersLoseNoSighting) {
    CArrSyncMgr queue;
    constexpr int perProducer = 500;
    std::atomic<int> taken{0};
    std::atomic<bool> producing{true};
    std::vector<std::thread> producers;
    for (int p = 0; p < 2; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i) {
                const auto address = static_cast<std::uint64_t>(p * perProducer + i + 1);
                // Addresses are unique, so only a lock time-out can refuse one: hand it in again.
                while (!queue.addUnique(makeSighting(address))) {
                }
            }
        });
    }
    std::thread consumer([&] {
        while (producing.load() || queue.count() > 0) {
            if (queue.takeLast()) {
                ++taken;
            }
        }
    });
    for (auto& producer : producers) {
        producer.join();
    }
    producing.store(false);
    consumer.join();
    EXPECT_EQ(taken.load(), 2 * perProducer);
}
