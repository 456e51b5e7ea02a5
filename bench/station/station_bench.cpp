// The headless station in a simulated world where phones arrive one after another: how long a
// phone waits from its arrival until phonesim has stored its file, how many pushes a minute the
// station manages, and how much CPU it uses while no phone is in range.
//
// station_bench [IDLE_SECONDS [PHONES [ARRIVAL_MS]]]   (defaults: 60 s, 50 phones, 1000 ms)
// station_bench users [PHONES [ARRIVAL_MS]]            (defaults: 15 phones, 2000 ms)
//
// Every ARRIVAL_MS the world file is replaced with the next phone in range (timescale 0.05). A
// phone leaves the range once its file is stored or its push failed, like a passer-by, because
// a simulated inquiry finds at most 20 phones and later arrivals would otherwise never be seen.
//
// The "users" run gives every phone a Bluetooth link (20 ms round trip, 1.4 Mbit/s) and a user
// who takes 2 to 30 s to accept, spread evenly over the phones, and runs the station twice: with
// answerwait=9 (the default) and answerwait=60. It prints for each the share of phones served and
// the arrival-to-stored times side by side.

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

#include "platform/profile.h"
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
    bool failed = false;  // the push ended without the file
    bool missed = false;  // no push ended within the patience

    bool settled() const { return stored || failed || missed; }
};

// What one run is asked to do.
struct Scenario {
    std::size_t phones = 50;
    std::chrono::milliseconds arrivalInterval{1000};
    int idleSeconds = 60;  // 0: no idle measurement
    // The users' decision times, spread evenly from the first to the second; none: at once.
    std::optional<std::pair<double, double>> acceptDelays;
    std::optional<int> answerWait;  // written to appTolvik.ini; none: the template's
};

// What one run found.
struct Findings {
    std::size_t served = 0;
    std::size_t failed = 0;
    std::size_t missed = 0;
    std::vector<double> waits;  // arrival to stored, sorted
};

double medianOf(const std::vector<double>& sorted) {
    const std::size_t middle = sorted.size() / 2;
    return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// The decision time of phone `index` of `count`: evenly spread from `first` to `last`, in an
// order that mixes quick and slow users.
double acceptDelayOf(std::size_t index, std::size_t count, std::pair<double, double> range) {
    if (count < 2) {
        return range.first;
    }
    const std::size_t step = (index * 7) % count;
    return range.first + (range.second - range.first) * static_cast<double>(step) /
                             static_cast<double>(count - 1);
}

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
    explicit StationBench(const Scenario& scenario) : scenario(scenario), visits(scenario.phones) {
        for (std::size_t n = 1; n <= scenario.phones; ++n) {
            phones.push_back({phoneAddress(n), "accept", false});
            if (scenario.acceptDelays) {
                phones.back().link =
                    "rtt=20\nrate=1400\nacceptdelay=" +
                    std::to_string(acceptDelayOf(n - 1, scenario.phones, *scenario.acceptDelays)) +
                    "\n";
            }
        }
    }

    const Findings& findings() const { return found; }

    int run() {
        e2e::prepareStation(paths, station.path(), "");
        if (scenario.answerWait) {
            platform::profile::write((station.path() / "appTolvik.ini").string(), "Tolvik",
                                     "answerwait", std::to_string(*scenario.answerWait));
        }
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
        std::printf("station_bench: %zu phones arriving every %lld ms, timescale %.2f%s\n",
                    phones.size(), static_cast<long long>(scenario.arrivalInterval.count()),
                    timescale, settingsText().c_str());
        std::fflush(stdout);
        runArrivals(*phonesim);
        reportDeliveries();
        if (scenario.idleSeconds > 0) {
            measureIdle(*nyvex);
        }
        std::printf("last status line: %s\n", lastStatusLine(nyvex->output()).c_str());
        const auto exitCode = nyvex->stop(SIGTERM, seconds(20));
        std::printf("station stopped: %s\n",
                    exitCode ? ("exit code " + std::to_string(*exitCode)).c_str() : "did not end");
        phonesim->stop(SIGTERM, seconds(10));
        return exitCode == 0 ? 0 : 1;
    }

  private:
    std::string settingsText() const {
        std::string text;
        if (scenario.acceptDelays) {
            char range[96];
            std::snprintf(range, sizeof range,
                          ", link 20 ms / 1.4 Mbit/s, users accept after %.0f-%.0f s",
                          scenario.acceptDelays->first, scenario.acceptDelays->second);
            text += range;
        }
        if (scenario.answerWait) {
            text += ", answerwait " + std::to_string(*scenario.answerWait);
        }
        return text;
    }

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
                nextArrival += scenario.arrivalInterval;
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

    // Phones whose file phonesim stored, or whose push ended without it, since the last look
    // leave the range.
    bool noteStored(const std::string& events, Clock::time_point now) {
        bool changed = false;
        for (std::size_t i = 0; i < phones.size(); ++i) {
            if (visits[i].settled() || !visits[i].arrived) {
                continue;
            }
            const std::string& address = phones[i].address;
            if (events.find(address + " stored ") != std::string::npos) {
                visits[i].stored = now;
            } else if (events.find(address + " dropped ") != std::string::npos ||
                       events.find(address + " connection ended before") != std::string::npos) {
                visits[i].failed = true;
            } else {
                continue;
            }
            phones[i].inRange = false;
            changed = true;
        }
        return changed;
    }

    bool noteMissed(Clock::time_point now) {
        bool changed = false;
        for (std::size_t i = 0; i < phones.size(); ++i) {
            Visit& visit = visits[i];
            if (visit.arrived && !visit.settled() && now - *visit.arrived > patience) {
                visit.missed = true;
                phones[i].inRange = false;
                changed = true;
            }
        }
        return changed;
    }

    bool allSettled() const {
        return std::all_of(visits.begin(), visits.end(),
                           [](const Visit& v) { return v.settled(); });
    }

    void reportDeliveries() {
        std::vector<double>& waits = found.waits;
        std::optional<Clock::time_point> firstArrival;
        std::optional<Clock::time_point> lastStored;
        for (const Visit& visit : visits) {
            firstArrival = firstArrival ? std::min(*firstArrival, *visit.arrived) : *visit.arrived;
            if (!visit.stored) {
                ++(visit.failed ? found.failed : found.missed);
                continue;
            }
            waits.push_back(secondsBetween(*visit.arrived, *visit.stored));
            lastStored = lastStored ? std::max(*lastStored, *visit.stored) : *visit.stored;
        }
        found.served = waits.size();
        std::sort(waits.begin(), waits.end());
        std::printf("delivered %zu of %zu phones, failed %zu, missed %zu\n", waits.size(),
                    visits.size(), found.failed, found.missed);
        if (waits.empty()) {
            return;
        }
        const double median = medianOf(waits);
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
        std::this_thread::sleep_for(seconds(scenario.idleSeconds));
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
    Scenario scenario;
    std::vector<e2e::Phone> phones;
    std::vector<Visit> visits;
    Findings found;
};

// Users who take 2-30 s to accept, with the default answer wait and with a minute.
int compareAnswerWaits(std::size_t phones, std::chrono::milliseconds arrival) {
    const int answerWaits[] = {9, 60};
    std::vector<Findings> results;
    for (const int answerWait : answerWaits) {
        Scenario scenario;
        scenario.phones = phones;
        scenario.arrivalInterval = arrival;
        scenario.idleSeconds = 0;
        scenario.acceptDelays = std::make_pair(2.0, 30.0);
        scenario.answerWait = answerWait;
        StationBench bench(scenario);
        if (bench.run() != 0) {
            return 1;
        }
        results.push_back(bench.findings());
        std::printf("\n");
    }
    std::printf("users accepting after 2-30 s, %zu phones, one every %lld ms:\n", phones,
                static_cast<long long>(arrival.count()));
    std::printf("%-11s %8s %7s %7s %18s %8s %8s\n", "answerwait", "served", "failed", "missed",
                "arrival to stored:", "median", "max");
    for (std::size_t i = 0; i < results.size(); ++i) {
        const Findings& f = results[i];
        const double share = 100.0 * static_cast<double>(f.served) / static_cast<double>(phones);
        std::printf("%-11d %7.0f%% %7zu %7zu %18s", answerWaits[i], share, f.failed, f.missed, "");
        if (f.waits.empty()) {
            std::printf(" %8s %8s\n", "-", "-");
        } else {
            std::printf(" %7.1fs %7.1fs\n", medianOf(f.waits), f.waits.back());
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "users") {
        const long phoneCount = argc > 2 ? std::atol(argv[2]) : 15;
        const long arrivalMs = argc > 3 ? std::atol(argv[3]) : 2000;
        if (phoneCount < 1 || phoneCount > 65535 || arrivalMs < 1) {
            std::fprintf(stderr, "usage: station_bench users [PHONES [ARRIVAL_MS]]\n");
            return 2;
        }
        return compareAnswerWaits(static_cast<std::size_t>(phoneCount),
                                  std::chrono::milliseconds(arrivalMs));
    }
    Scenario scenario;
    scenario.idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const long phoneCount = argc > 2 ? std::atol(argv[2]) : 50;
    const long arrivalMs = argc > 3 ? std::atol(argv[3]) : 1000;
    if (scenario.idleSeconds < 1 || phoneCount < 1 || phoneCount > 65535 || arrivalMs < 1) {
        std::fprintf(stderr,
                     "usage: station_bench [IDLE_SECONDS [PHONES [ARRIVAL_MS]]]\n"
                     "       station_bench users [PHONES [ARRIVAL_MS]]\n");
        return 2;
    }
    scenario.phones = static_cast<std::size_t>(phoneCount);
    scenario.arrivalInterval = std::chrono::milliseconds(arrivalMs);
    StationBench bench(scenario);
    return bench.run();
}
