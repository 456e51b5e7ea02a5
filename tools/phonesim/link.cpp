#include "tools/phonesim/link.h"

#include <algorithm>

namespace phonesim {

LinkModel::Clock::duration LinkModel::transmission(std::size_t bytes) const {
    if (link.kilobitsPerSecond <= 0) {
        return Clock::duration::zero();
    }
    const double seconds = static_cast<double>(bytes) * 8 / (link.kilobitsPerSecond * 1000);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

LinkModel::Clock::time_point LinkModel::occupy(Clock::time_point& free, Clock::time_point start,
                                               std::size_t bytes) {
    free = std::max(free, start) + transmission(bytes);
    return free;
}

LinkModel::Clock::time_point LinkModel::requestArrives(Clock::time_point firstSent,
                                                       std::size_t bytes) {
    return occupy(uplinkFree, firstSent, bytes) + link.roundTrip / 2;
}

LinkModel::Clock::time_point LinkModel::answerArrives(Clock::time_point sent, std::size_t bytes) {
    return occupy(downlinkFree, sent, bytes) + link.roundTrip / 2;
}

}  // namespace phonesim
