#pragma once
// The columns of the statistics chart: the journal's hourly counts as they are, or folded into
// local days (an operator's day starts at local midnight, not at midnight UTC).

#include "journal/journalstore.h"

#include <cstdint>
#include <vector>

namespace journal::ui {

enum class BucketSize { hour, day };

// One column: when it starts (seconds since 1970, UTC) and its pushes per outcome, indexed by
// the outcome's number.
struct Bucket {
    std::int64_t start = 0;
    std::vector<std::int64_t> pushes = std::vector<std::int64_t>(allOutcomes.size());

    bool operator==(const Bucket&) const = default;
};

// The columns, oldest first; hours or days without pushes are left out. Counts of outcomes this
// version does not know are dropped.
std::vector<Bucket> foldBuckets(const std::vector<HourCount>& hours, BucketSize size);

}  // namespace journal::ui
