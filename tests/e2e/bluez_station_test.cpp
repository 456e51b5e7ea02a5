// The whole station on the system's Bluetooth service instead of the simulated world: a private
// bus with the bluez5 stand-in for bluetoothd holds one radio and two phones. The station counts
// the radio, discovers the phones through the service and tries to push to them; the stand-in
// has no RFCOMM (nor has this machine), so each push fails cleanly, is counted and remembered.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "tests/common/bluezmock.h"
#include "tests/e2e/station.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;
using testing_support::BluezMock;

const StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};

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

TEST(StationOnBluez, DiscoversPhonesThroughTheServiceAndFailsTheirPushesCleanly) {
    BluezMock mock;
    ASSERT_TRUE(mock.start()) << mock.serviceErrors();
    mock.addAdapter("hci0", "Nyvex station");
    for (const char* address : {"00:11:22:33:44:01", "00:11:22:33:44:02"}) {
        const std::string path = mock.addDevice("hci0", address, "Phone");
        mock.setNumber(path, "org.bluez.Device1", "Class", 0x5A020C);
    }
    const fs::path station = mock.path() / "station";
    const fs::path runtime = mock.path() / "runtime";
    fs::create_directories(station);
    fs::create_directories(runtime);
    prepareStation(paths, station, "");
    ::unsetenv("NYVEX_SIMULATION");

    ChildProcess nyvex(ChildProcess::Setup{
        {paths.binDir + "/Nyvex", "--headless"},
        station.string(),
        {{BluezMock::addressVariable, mock.address()}, {"XDG_RUNTIME_DIR", runtime.string()}},
        (runtime / "station.out").string(),
        (runtime / "station.err").string()});
    ASSERT_TRUE(nyvex.started());

    const bool bothTried = waitUntil(
        [&] {
            const std::string status = lastStatusLine(nyvex.output());
            return status.find(" failed 2 remembered 2") != std::string::npos || !nyvex.running();
        },
        std::chrono::seconds(90), std::chrono::milliseconds(100));
    const std::string output = nyvex.output();
    EXPECT_TRUE(bothTried) << output << nyvex.errors();
    EXPECT_NE(lastStatusLine(output).find(" sent 0 failed 2 remembered 2"), std::string::npos)
        << output;
    EXPECT_EQ(nyvex.stop(SIGTERM, seconds(10)), 0) << nyvex.errors();
    EXPECT_EQ(nyvex.errors().find("bluetoothd does not answer"), std::string::npos)
        << nyvex.errors();
}

}  // namespace
}  // namespace e2e
