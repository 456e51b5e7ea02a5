// Time to push a 1 MB file over loopback TCP to openobex's obex_tcp: through getFileStatusM
// (430-byte packets, one answer awaited per packet) and, for comparison, with the obexftp
// client. Each push gets a fresh receiver; only the push itself is timed (for obexftp that
// includes starting the client process).

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "obexalibrary.h"
#include "obextcpreceiver.h"
#include "testfiles.h"

using namespace obexatest;
using Seconds = std::chrono::duration<double>;

namespace {

constexpr std::size_t objectSize = 1 << 20;
constexpr int rounds = 5;
const std::string phoneAddress = "00:16:DB:0A:1B:2C";

double pushWithObexa(ObexaLibrary& obexa, const TempFolder& folder, int round) {
    const auto inbox = folder.path() / ("obexa" + std::to_string(round));
    std::filesystem::create_directory(inbox);
    ObexTcpReceiver receiver(inbox);
    const auto file = wide(folder.path() / "object.bin");
    const auto start = std::chrono::steady_clock::now();
    const int delivered =
        obexa.getFileStatusM(addressLowOf(phoneAddress), addressHighOf(phoneAddress),
                             "application/octet-stream", u"object.bin", file.c_str());
    const Seconds took = std::chrono::steady_clock::now() - start;
    if (delivered != 1 || receiver.received("object.bin", objectSize) != patternBytes(objectSize)) {
        std::fprintf(stderr, "getFileStatusM push %d was not delivered intact\n", round);
        return -1;
    }
    return took.count();
}

double pushWithObexftp(const TempFolder& folder, int round) {
    const auto inbox = folder.path() / ("obexftp" + std::to_string(round));
    std::filesystem::create_directory(inbox);
    ObexTcpReceiver receiver(inbox);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(folder.path().c_str()) == 0) {
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            ::execlp("obexftp", "obexftp", "-n", "127.0.0.1", "-U", "none", "-H", "-S", "-p",
                     "object.bin", static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const Seconds took = std::chrono::steady_clock::now() - start;
    if (receiver.received("object.bin", objectSize) != patternBytes(objectSize)) {
        std::fprintf(stderr, "obexftp push %d was not delivered intact\n", round);
        return -1;
    }
    return took.count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    if (!ObexTcpReceiver::installed()) {
        std::fprintf(stderr, "obex_tcp (package openobex-apps) is not installed\n");
        return 1;
    }
    TempFolder folder;
    folder.file("object.bin", objectSize);
    ObexaLibrary obexa;
    const SimWorld world(folder.path() / "world.ini",
                         {{phoneAddress, true, "127.0.0.1:" + std::to_string(obexTcpPort)}});
    std::vector<double> obexaTimes;
    std::vector<double> obexftpTimes;
    for (int round = 0; round < rounds; ++round) {
        obexaTimes.push_back(pushWithObexa(obexa, folder, round));
        obexftpTimes.push_back(pushWithObexftp(folder, round));
    }
    if (std::min(*std::min_element(obexaTimes.begin(), obexaTimes.end()),
                 *std::min_element(obexftpTimes.begin(), obexftpTimes.end())) < 0) {
        return 1;
    }
    const double ours = median(obexaTimes);
    const double theirs = median(obexftpTimes);
    std::printf("1 MB to obex_tcp over loopback TCP, median of %d pushes\n", rounds);
    std::printf("  getFileStatusM: %8.1f ms  (%.1f MB/s)\n", ours * 1e3, 1.0 / ours);
    std::printf("  obexftp -p:     %8.1f ms  (%.1f MB/s)\n", theirs * 1e3, 1.0 / theirs);
    std::printf("  ratio getFileStatusM / obexftp: %.2f\n", ours / theirs);
    return 0;
}
