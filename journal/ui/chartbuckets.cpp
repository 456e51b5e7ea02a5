#include "journal/ui/chartbuckets.h"

#include "platform/clock.h"

#include <chrono>

namespace journal::ui {

namespace {

std::int64_t localMidnight(std::int64_t time) {
    platform::LocalTime local = platform::toLocal(platform::fromTimeT(time));
    local.hour = local.minute = local.second = local.millisecond = 0;
    return platform::toTimeT(platform::fromLocal(local));
}

std::int64_t bucketStart(std::int64_t hour, BucketSize size) {
    return size == BucketSize::hour ? hour : localMidnight(hour);
}

}  // namespace

std::vector<Bucket> foldBuckets(const std::vector<HourCount>& hours, BucketSize size) {
    std::vector<Bucket> buckets;
    for (const HourCount& count : hours) {
        const auto index = static_cast<std::size_t>(count.outcome);
        if (index >= allOutcomes.size())
            continue;
        const std::int64_t start = bucketStart(count.hour, size);
        if (buckets.empty() || buckets.back().start != start)
            buckets.push_back(Bucket{start});
        buckets.back().pushes[index] += count.pushes;
    }
    return buckets;
}

}  // namespace journal::ui
