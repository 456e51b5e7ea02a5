#pragma once
// Phones that do not keep to OBEX, for proving that the station copes with phones nobody
// controls. Each is an answer= mode of the world file. A hostile phone runs the same session as
// an honest one (it stores what it accepts); only what it puts on the wire differs:
//
//   noise      bytes that are no OBEX answer, instead of every answer
//   trickle    every answer one byte at a time, a little apart
//   lielong    a length field larger than the answer: the rest never comes
//   lieshort   a length field smaller than the answer: more bytes follow it
//   liebelow3  a length field of 0 (below the 3 bytes of every answer's head)
//   oversize   every answer padded to the largest packet OBEX allows, 65535 bytes
//   cutoff     the connection closed in the middle of an object
//   flood      bytes without end from the moment the client connects, no request ever read
//
// The phone that never answers is the polite mode "silent".

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "tools/phonesim/session.h"

namespace phonesim {

enum class Hostility { noise, trickle, lieLong, lieShort, lieBelow3, oversize, cutOff, flood };

// The mode of an answer= value; nothing for a value that names no hostile mode.
std::optional<Hostility> parseHostility(const std::string& text);

// One write of an answer and how long the phone waits before it.
struct WirePiece {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds pauseBefore{0};
};

class HostileAnswers {
  public:
    static constexpr std::chrono::milliseconds tricklePause{5};
    static constexpr std::size_t lieLongExcess = 100;

    explicit HostileAnswers(Hostility mode) : mode(mode) {}

    // True when the phone hangs up on `request` instead of handling it.
    bool hangsUpAt(std::span<const std::uint8_t> request);
    // What goes on the wire in place of `honest`, the answer an honest phone gives.
    std::vector<WirePiece> answer(const Reply& honest);
    // What a flooding phone writes, over and over.
    static std::vector<std::uint8_t> floodChunk();

  private:
    std::vector<std::uint8_t> noiseAnswer();

    Hostility mode;
    int putsSeen = 0;
    std::minstd_rand noise{1705};
};

}  // namespace phonesim
