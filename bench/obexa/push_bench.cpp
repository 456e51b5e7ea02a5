// Push times side by side: the library at its default packet length (430 bytes), the library
// with obexpacket=32767, and the obexftp client, each pushing a 100 kB and a 1 MB file to
// phonesim over (a) plain loopback and (b) a modeled Bluetooth link of 20 ms round trip and
// 1.4 Mbit/s, which phonesim plays for every client alike. Each figure is the median of several
// pushes; every push is checked to have arrived whole. For obexftp the time includes starting
// the client process.
//
// obexa_push_bench [ROUNDS]   (default: 5 pushes per figure on loopback, 3 on the modeled link)

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "obexalibrary.h"
#include "testfiles.h"
#include "tests/common/childprocess.h"
#include "tests/common/reservedport.h"

using namespace obexatest;
using Seconds = std::chrono::duration<double>;

namespace {

namespace fs = std::filesystem;

struct Link {
    const char* label;
    const char* address;  // the phone that has this link
    const char* keys;     // its link in the world file
    int rounds;
};

struct Size {
    const char* label;
    std::size_t bytes;
};

struct Client {
    const char* label;
    int packetLength;  // 0: obexftp
};

const Link links[] = {
    {"loopback", "00:16:DB:0A:1B:01", "", 5},
    {"20 ms, 1.4 Mbit/s", "00:16:DB:0A:1B:02", "rtt=20\nrate=1400\n", 3},
};
const Size sizes[] = {{"100 kB", 100 * 1024}, {"1 MB", 1024 * 1024}};
const Client clients[] = {{"Obexa 430", 430}, {"Obexa 32767", 32767}, {"obexftp", 0}};
constexpr std::size_t obexftpColumn = 2;

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string compact(const std::string& address) {
    std::string text;
    for (char c : address) {
        if (c != ':') {
            text += c;
        }
    }
    return text;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

class PushBench {
  public:
    explicit PushBench(int roundsOverride) : roundsOverride(roundsOverride) {}

    int run() {
        if (!startPhonesim()) {
            return 1;
        }
        ObexaLibrary obexa;
        std::printf(
            "Pushes to phonesim, median of the pushes per figure, in ms "
            "(ratio to obexftp in brackets)\n");
        std::printf("%-20s %-7s %22s %22s %14s\n", "link", "size", clients[0].label,
                    clients[1].label, clients[2].label);
        for (const Link& link : links) {
            for (const Size& size : sizes) {
                if (!measure(obexa, link, size)) {
                    return 1;
                }
            }
        }
        obexa.setObexPacket(430);
        phonesim->stop(SIGTERM, std::chrono::seconds(10));
        return 0;
    }

  private:
    bool startPhonesim() {
        std::string world = "[radio]\naddress=00:1A:7D:DA:71:13\nname=Bench\ntimescale=0\n";
        for (std::size_t i = 0; i < std::size(links); ++i) {
            world += "[phone" + std::to_string(i + 1) + "]\naddress=" + links[i].address +
                     "\nobex=" + endpoint(i) + "\nchannel=9\nanswer=accept\n" + links[i].keys;
        }
        std::ofstream(worldFile()) << world;
        ::setenv("NYVEX_SIMULATION", worldFile().c_str(), 1);
        const std::string bin = NYVEX_BIN_DIR;
        phonesim =
            std::make_unique<testing_support::ChildProcess>(testing_support::ChildProcess::Setup{
                {bin + "/phonesim", worldFile().string(), inbox().string()},
                folder.path().string(),
                {},
                (folder.path() / "phonesim.out").string(),
                (folder.path() / "phonesim.err").string()});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline && phonesim->running()) {
            const std::string out = readWhole(folder.path() / "phonesim.out");
            std::size_t listening = 0;
            for (auto at = out.find(" listening on "); at != std::string::npos;
                 at = out.find(" listening on ", at + 1)) {
                ++listening;
            }
            if (listening == std::size(links)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::fprintf(stderr, "phonesim did not start:\n%s",
                     readWhole(folder.path() / "phonesim.err").c_str());
        return false;
    }

    bool measure(ObexaLibrary& obexa, const Link& link, const Size& size) {
        folder.file("object.bin", size.bytes);
        const int rounds = roundsOverride > 0 ? roundsOverride : link.rounds;
        std::vector<std::vector<double>> times(std::size(clients));
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t c = 0; c < std::size(clients); ++c) {
                const double took = clients[c].packetLength == 0
                                        ? pushWithObexftp(linkIndex(link))
                                        : pushWithObexa(obexa, link, clients[c].packetLength);
                if (took < 0 || !arrivedWhole(link, size)) {
                    std::fprintf(stderr, "%s: %s over %s did not arrive whole\n", clients[c].label,
                                 size.label, link.label);
                    return false;
                }
                times[c].push_back(took);
            }
        }
        const double reference = median(times[obexftpColumn]);
        std::printf("%-20s %-7s", link.label, size.label);
        for (std::size_t c = 0; c < std::size(clients); ++c) {
            const double ms = median(times[c]) * 1e3;
            if (c == obexftpColumn) {
                std::printf(" %14.1f", ms);
            } else {
                std::printf(" %13.1f (%5.2f)", ms, median(times[c]) / reference);
            }
        }
        std::printf("\n");
        std::fflush(stdout);
        return true;
    }

    double pushWithObexa(ObexaLibrary& obexa, const Link& link, int packetLength) {
        if (obexa.setObexPacket(packetLength) != 0) {
            return -1;
        }
        const auto file = wide(folder.path() / "object.bin");
        const auto start = std::chrono::steady_clock::now();
        const int delivered =
            obexa.getFileStatusM(addressLowOf(link.address), addressHighOf(link.address),
                                 "application/octet-stream", u"object.bin", file.c_str());
        const Seconds took = std::chrono::steady_clock::now() - start;
        return delivered == 1 ? took.count() : -1;
    }

    double pushWithObexftp(std::size_t linkIndex) {
        const std::string target = endpoint(linkIndex);
        std::fflush(stdout);  // the child must not write out a copy of what is buffered
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(folder.path().c_str()) == 0) {
                std::freopen("/dev/null", "w", stdout);
                std::freopen("/dev/null", "w", stderr);
                ::execlp("obexftp", "obexftp", "-n", target.c_str(), "-U", "none", "-H", "-S", "-p",
                         "object.bin", static_cast<char*>(nullptr));
            }
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        const Seconds took = std::chrono::steady_clock::now() - start;
        return took.count();
    }

    // The object is in the phone's folder byte for byte; it is removed for the next push.
    bool arrivedWhole(const Link& link, const Size& size) {
        const fs::path stored = inbox() / compact(link.address) / "object.bin";
        const bool whole = readAll(stored) == patternBytes(size.bytes);
        std::error_code ignored;
        fs::remove(stored, ignored);
        return whole;
    }

    static std::size_t linkIndex(const Link& link) {
        return static_cast<std::size_t>(&link - links);
    }
    std::string endpoint(std::size_t linkIndex) const {
        return "127.0.0.1:" + std::to_string(ports[linkIndex].port());
    }
    fs::path worldFile() const { return folder.path() / "world.ini"; }
    fs::path inbox() const { return folder.path() / "inbox"; }

    int roundsOverride;
    TempFolder folder;
    testing_support::ReservedPort ports[std::size(links)];
    std::unique_ptr<testing_support::ChildProcess> phonesim;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 0;
    if (argc > 2 || rounds < 0) {
        std::fprintf(stderr, "usage: obexa_push_bench [ROUNDS]\n");
        return 2;
    }
    if (::access("/usr/bin/obexftp", X_OK) != 0) {
        std::fprintf(stderr, "obexftp (package obexftp) is not installed\n");
        return 1;
    }
    return PushBench(rounds).run();
}
