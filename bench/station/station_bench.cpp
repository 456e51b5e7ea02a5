// The headless station in a simulated world where phones arrive one after another: how long a
// phone waits from its arrival until phonesim has stored its file, how many pushes a minute the
// station manages, and how much CPU it uses while no phone is in range.
//
// station_bench [IDLE_SECONDS [PHONES [ARRIVAL_MS]]]   (defaults: 60 s, 50 phones, 1000 ms)
//
// Every ARRIVAL_MS the world file is replaced with the next phone in range (timescale 0.05). A
// phone leaves the range once its file is stored, like a passer-by, because a simulated inquiry
// finds at most 20 phones and later arrivals would otherwise never be seen.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr double timescale = 0.05;
// A phone not served this long after its arrival counts as missed and leaves the range.
constexpr auto patience = seconds(120);

struct Visit {
    std::optional<Clock::time_point> arrived;
    std::optional<Clock::time_point> stored;
    bool missed = false;
};

std::string phoneAddress(std::size_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "00:11:22:CC:%02X:%02X", static_cast<unsigned>(n >> 8 & 0xFF),
                  static_cast<unsigned>(n & 0xFF));
    return text;
}

// The station's CPU time so far (user + system), in clock ticks, from /proc/<pid>/stat.
std::optional<long long> cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const auto afterName = stat.rfind(')');
    if (afterName == std::string::npos) {
        return std::nullopt;
    }
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    std::istringstream fields(stat.substr(afterName + 2));
    std::string field;
    long long utime = 0;
    long long stime = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            utime = std::stoll(field);
        } else if (index == 15) {
            stime = std::stoll(field);
        }
    }
    return utime + stime;
}

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string lastStatusLine(const std::string& output) {
    std::istringstream in(output);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        if (line.find(" failed ") != std::string::npos) {
            last = line;
        }
    }
    return last;
}

class StationBench {
  public:
    StationBench(std::size_t phoneCount, int idleSeconds, std::chrono::milliseconds arrivalInterval)
        : idleSeconds(idleSeconds), arrivalInterval(arrivalInterval), visits(phoneCount) {
        for (std::size_t n = 1; n <= phoneCount; ++n) {
            phones.push_back({phoneAddress(n), "accept", false});
        }
    }

    int run() {
        e2e::prepareStation(paths, station.path(), "");
        fs::create_directory(runtime());
        e2e::replaceWorld(world(), e2e::worldText(phones, timescale));
        auto phonesim = e2e::startPhonesim(paths, world(), inbox(), work.path());
        if (!e2e::phonesimListening(*phonesim, phones.size())) {
            std::fprintf(stderr, "phonesim did not start:\n%s", phonesim->errors().c_str());
            return 1;
        }
        auto nyvex = e2e::startStation(paths, station.path(), world(), runtime(), "station");
        const bool ready = testing_support::waitUntil(
            [&] { return nyvex->output().find("running headless") != std::string::npos; },
            seconds(20), e2e::pollFiles);
        if (!ready) {
            std::fprintf(stderr, "the station did not start:\n%s", nyvex->errors().c_str());
            return 1;
        }
        std::printf("station_bench: %zu phones arriving every %lld ms, timescale %.2f\n",
                    phones.size(), static_cast<long long>(arrivalInterval.count()), timescale);
        std::fflush(stdout);
        runArrivals(*phonesim);
        reportDeliveries();
        measureIdle(*nyvex);
        std::printf("last status line: %s\n", lastStatusLine(nyvex->output()).c_str());
        const auto exitCode = nyvex->stop(SIGTERM, seconds(20));
        std::printf("station stopped: %s\n",
                    exitCode ? ("exit code " + std::to_string(*exitCode)).c_str() : "did not end");
        phonesim->stop(SIGTERM, seconds(10));
        return exitCode == 0 ? 0 : 1;
    }

  private:
    fs::path runtime() const { return work.path() / "runtime"; }
    fs::path world() const { return work.path() / "world.ini"; }
    fs::path inbox() const { return work.path() / "inbox"; }

    // Brings phones into range one by one and notes when each file is stored, until every phone
    // was served or missed.
    void runArrivals(testing_support::ChildProcess& phonesim) {
        std::size_t arrivals = 0;
        auto nextArrival = Clock::now();
        while (!allSettled()) {
            const auto now = Clock::now();
            bool changed = false;
            if (arrivals < phones.size() && now >= nextArrival) {
                phones[arrivals].inRange = true;
                visits[arrivals].arrived = now;
                ++arrivals;
                nextArrival += arrivalInterval;
                changed = true;
            }
            changed = noteStored(phonesim.output(), now) || changed;
            changed = noteMissed(now) || changed;
            if (changed) {
                e2e::replaceWorld(world(), e2e::worldText(phones, timescale));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        for (auto& phone : phones) {
            phone.inRange = false;
        }
        e2e::replaceWorld(world(), e2e::worldText(phones, timescale));
    }

    // Phones whose file phonesim stored since the last look leave the range.
    bool noteStored(const std::string& events, Clock::time_point now) {
        bool changed = false;
        for (std::size_t i = 0; i < phones.size(); ++i) {
            if (visits[i].stored || visits[i].missed || !visits[i].arrived) {
                continue;
            }
            if (events.find(phones[i].address + " stored ") != std::string::npos) {
                visits[i].stored = now;
                phones[i].inRange = false;
                changed = true;
            }
        }
        return changed;
    }

    bool noteMissed(Clock::time_point now) {
        bool changed = false;
        for (std::size_t i = 0; i < phones.size(); ++i) {
            Visit& visit = visits[i];
            if (visit.arrived && !visit.stored && !visit.missed &&
                now - *visit.arrived > patience) {
                visit.missed = true;
                phones[i].inRange = false;
                changed = true;
            }
        }
        return changed;
    }

    bool allSettled() const {
        return std::all_of(visits.begin(), visits.end(),
                           [](const Visit& v) { return v.stored || v.missed; });
    }

    void reportDeliveries() {
        std::vector<double> waits;
        std::optional<Clock::time_point> firstArrival;
        std::optional<Clock::time_point> lastStored;
        std::size_t missed = 0;
        for (const Visit& visit : visits) {
            firstArrival = firstArrival ? std::min(*firstArrival, *visit.arrived) : *visit.arrived;
            if (visit.missed) {
                ++missed;
                continue;
            }
            waits.push_back(secondsBetween(*visit.arrived, *visit.stored));
            lastStored = lastStored ? std::max(*lastStored, *visit.stored) : *visit.stored;
        }
        std::sort(waits.begin(), waits.end());
        std::printf("delivered %zu of %zu phones, missed %zu\n", waits.size(), visits.size(),
                    missed);
        if (waits.empty()) {
            return;
        }
        const double median = waits.size() % 2 == 1
                                  ? waits[waits.size() / 2]
                                  : (waits[waits.size() / 2 - 1] + waits[waits.size() / 2]) / 2;
        const double span = secondsBetween(*firstArrival, *lastStored);
        std::printf("arrival to stored: median %.2f s, min %.2f s, max %.2f s\n", median,
                    waits.front(), waits.back());
        std::printf(
            "pushes per minute: %.1f (%zu pushes from the first arrival to the last file, "
            "%.1f s)\n",
            waits.size() * 60.0 / span, waits.size(), span);
    }

    // With no phone in range, the station's own CPU time over the idle period as a share of
    // one core.
    void measureIdle(testing_support::ChildProcess& nyvex) {
        std::this_thread::sleep_for(seconds(5));  // pushes and inquiries under way end first
        const auto before = cpuTicks(nyvex.pid());
        const auto start = Clock::now();
        std::this_thread::sleep_for(seconds(idleSeconds));
        const auto after = cpuTicks(nyvex.pid());
        const double elapsed = secondsBetween(start, Clock::now());
        if (!before || !after) {
            std::printf("idle CPU: cannot read /proc/%d/stat\n", static_cast<int>(nyvex.pid()));
            return;
        }
        const double cpuSeconds =
            static_cast<double>(*after - *before) / static_cast<double>(::sysconf(_SC_CLK_TCK));
        std::printf("idle CPU over %.1f s: %.2f s of CPU time = %.2f %% of one core\n", elapsed,
                    cpuSeconds, 100.0 * cpuSeconds / elapsed);
        std::fflush(stdout);
    }

    const e2e::StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};
    testing_support::TempFolder station;
    testing_support::TempFolder work;
    int idleSeconds;
    std::chrono::milliseconds arrivalInterval;
    std::vector<e2e::Phone> phones;
    std::vector<Visit> visits;
};

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const long phoneCount = argc > 2 ? std::atol(argv[2]) : 50;
    const long arrivalMs = argc > 3 ? std::atol(argv[3]) : 1000;
    if (idleSeconds < 1 || phoneCount < 1 || phoneCount > 65535 || arrivalMs < 1) {
        std::fprintf(stderr, "usage: station_bench [IDLE_SECONDS [PHONES [ARRIVAL_MS]]]\n");
        return 2;
    }
    StationBench bench(static_cast<std::size_t>(phoneCount), idleSeconds,
                       std::chrono::milliseconds(arrivalMs));
    return bench.run();
}
