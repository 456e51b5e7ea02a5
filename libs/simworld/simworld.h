#pragma once
// The simulated radio world: where no radio exists, NYVEX_SIMULATION names an INI file that
// describes one radio and the phones around it. The radio and push libraries read it at every
// inquiry and every push, so a test or the demo changes the world by rewriting the file.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simworld {

constexpr const char* environmentVariable = "NYVEX_SIMULATION";

struct Radio {
    std::uint64_t address = 0;
    std::string name;
    double timescale = 1.0;  // multiplies simulated radio delays; 0 = instant
};

// The radio link to one phone and the phone's user, as phonesim plays them for every client that
// pushes to it. The defaults are an instant link and a user who accepts at once.
struct Link {
    static constexpr std::chrono::milliseconds maxRoundTrip{10000};
    static constexpr double maxKilobitsPerSecond = 10'000'000;
    static constexpr std::chrono::seconds maxAcceptDelay{3600};

    std::chrono::microseconds roundTrip{0};    // rtt=: milliseconds for a request and its answer
    double kilobitsPerSecond = 0;              // rate=: kbit/s in each direction; 0: no limit
    std::chrono::microseconds acceptDelay{0};  // acceptdelay=: seconds the user takes to decide
    bool neverDecides = false;                 // acceptdelay=never

    bool isInstant() const {
        return roundTrip.count() == 0 && kilobitsPerSecond == 0 && acceptDelay.count() == 0 &&
               !neverDecides;
    }
};

struct Phone {
    std::string section;  // "phone1", ...
    std::uint64_t address = 0;
    std::string name;
    std::uint32_t classOfDevice = 0;
    bool inRange = true;
    std::string obexHost;  // empty: the phone has no Object Push server
    int obexPort = 0;
    std::optional<int> channel;  // RFCOMM channel its Object Push record names
    std::string answer = "accept";
    Link link;
};

struct World {
    std::optional<Radio> radio;
    std::vector<Phone> phones;          // in file order
    std::vector<std::string> problems;  // what was wrong with the file, one line each
};

// The world file named by NYVEX_SIMULATION, or nothing when the variable is unset or empty.
std::optional<std::string> worldFile();
World load(const std::string& file);

// "00:11:22:AA:BB:CC", as the phone simulator names its phones.
std::string addressText(std::uint64_t address);

}  // namespace simworld
