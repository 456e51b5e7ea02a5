#pragma once
// The radio link of one connection to a simulated phone. The bytes themselves cross loopback at
// once; the model says when they would have arrived over the phone's link, so that phonesim
// can hold each request until then and hand each answer over only when it would reach the
// client. Each direction carries one thing at a time at the link's data rate, and every
// request and every answer also takes half the round trip.

#include <chrono>
#include <cstddef>

#include "libs/simworld/simworld.h"

namespace phonesim {

class LinkModel {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LinkModel(const simworld::Link& link) : link(link) {}

    // When the last byte of a request of `bytes` bytes, whose first byte the client sent at
    // `firstSent`, has reached the phone.
    Clock::time_point requestArrives(Clock::time_point firstSent, std::size_t bytes);
    // When the last byte of an answer of `bytes` bytes, handed to the link at `sent`, has
    // reached the client.
    Clock::time_point answerArrives(Clock::time_point sent, std::size_t bytes);

  private:
    Clock::duration transmission(std::size_t bytes) const;
    // Sends `bytes` over one direction that is free from `free` on; when the last byte left.
    Clock::time_point occupy(Clock::time_point& free, Clock::time_point start, std::size_t bytes);

    simworld::Link link;
    Clock::time_point uplinkFree{};
    Clock::time_point downlinkFree{};
};

}  // namespace phonesim
