// The phonesim program as a process: a world file in, pushes from outside, SIGTERM to end.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "tests/common/childprocess.h"
#include "tests/common/reservedport.h"
#include "tests/common/waituntil.h"
#include "tests/phonesim/fixture.h"

namespace phonesim_test {
namespace {

const std::string phonesimProgram = std::string(NYVEX_BIN_DIR) + "/phonesim";
const std::string obexftpProgram = "/usr/bin/obexftp";

using testing_support::ChildProcess;
using testing_support::ReservedPort;

std::string phoneSection(int n, const std::string& address, const std::string& obex,
                         const std::string& answer) {
    std::string section = "[phone" + std::to_string(n) + "]\naddress=" + address + "\n";
    if (!obex.empty()) {
        section += "obex=" + obex + "\n";
    }
    return section + "answer=" + answer + "\n";
}

std::string endpoint(const ReservedPort& p) {
    return "127.0.0.1:" + std::to_string(p.port());
}

// phonesim running in the background, its stdout and stderr in one file.
ChildProcess startPhonesim(const std::string& world, const std::string& inbox,
                           const std::string& log) {
    return ChildProcess({{phonesimProgram, world, inbox}, "", {}, log, log});
}

// Waits until `file` holds `count` lines containing `text`.
bool waitForLines(const testing_support::TempFolder& folder, const std::string& file,
                  const std::string& text, std::size_t count) {
    return testing_support::waitUntil(
        [&] {
            const std::string log = folder.read(file);
            std::size_t seen = 0;
            for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
                ++seen;
            }
            return seen >= count;
        },
        std::chrono::seconds(20), std::chrono::milliseconds(20));
}

TEST(PhonesimProcess, ServesEveryPhoneOfTheWorldAndEndsOnSigterm) {
    testing_support::TempFolder folder;
    ReservedPort accepting;
    ReservedPort refusing;
    folder.write("world.ini",
                 "[radio]\naddress=00:1A:7D:DA:71:13\n" +
                     phoneSection(1, "00:11:22:AA:BB:CC", endpoint(accepting), "accept") +
                     phoneSection(2, "00:11:22:AA:BB:CD", endpoint(refusing), "refuse") +
                     phoneSection(3, "00:11:22:AA:BB:CE", "", "accept"));
    const Bytes media = patternBytes(20000);
    folder.write("promo.bin", std::string(media.begin(), media.end()));

    ChildProcess phonesim =
        startPhonesim(folder.file("world.ini"), folder.file("inbox"), folder.file("phonesim.log"));
    ASSERT_TRUE(waitForLines(folder, "phonesim.log", " listening on ", 2))
        << folder.read("phonesim.log");

    if (::access(obexftpProgram.c_str(), X_OK) == 0) {
        // A third-party OBEX client; its exit code says nothing reliable, the stored file does.
        testing_support::runProcess({obexftpProgram, "-n", endpoint(accepting), "-U", "none", "-H",
                                     "-S", "-p", "promo.bin"},
                                    folder.path().string(), {}, std::chrono::seconds(30));
    } else {
        ObexClient client(accepting.port());
        pushLikeStation(client, u"promo.bin", media);
    }
    ObexClient refused(refusing.port());
    EXPECT_EQ(pushLikeStation(refused, u"promo.bin", media)[1], 0xC3);

    EXPECT_EQ(contentsOf(folder.path() / "inbox/001122AABBCC/promo.bin"), media);
    EXPECT_TRUE(entriesOf(folder.path() / "inbox/001122AABBCD").empty());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "inbox/001122AABBCE"));
    EXPECT_EQ(phonesim.stop(SIGTERM, std::chrono::seconds(10)), 0);

    const std::string log = folder.read("phonesim.log");
    EXPECT_NE(log.find("00:11:22:AA:BB:CC listening on " + endpoint(accepting) + " (accept)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("00:11:22:AA:BB:CC stored promo.bin (20000 bytes)\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("00:11:22:AA:BB:CD refused promo.bin\n"), std::string::npos) << log;
}

TEST(PhonesimProcess, WorldsItCannotServeEndWithAMessageAndExitCodeOne) {
    testing_support::TempFolder folder;
    ReservedPort busy;
    busy.occupy();
    const struct {
        std::string what;
        std::string world;
        std::string message;
    } cases[] = {
        {"no phones", "[radio]\naddress=00:1A:7D:DA:71:13\n", "the world has no phones"},
        {"port in use", phoneSection(1, "00:11:22:AA:BB:CC", endpoint(busy), "accept"),
         "[phone1] 00:11:22:AA:BB:CC: port " + std::to_string(busy.port())},
        {"unknown answer", phoneSection(1, "00:11:22:AA:BB:CC", "127.0.0.1:1", "maybe"),
         "unknown answer 'maybe'"},
        {"missing world file", "", "not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string world =
            c.world.empty() ? folder.file("absent.ini") : folder.file("w.ini");
        if (!c.world.empty()) {
            folder.write("w.ini", c.world);
        }
        const auto result =
            testing_support::runProcess({phonesimProgram, world, folder.file("in")},
                                        folder.path().string(), {}, std::chrono::seconds(30));
        EXPECT_EQ(result.exitCode, 1) << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
    }
}

}  // namespace
}  // namespace phonesim_test
