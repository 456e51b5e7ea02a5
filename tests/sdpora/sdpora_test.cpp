#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "libs/include/sdpora.h"
#include "libs/simworld/simworld.h"
#include "platform/files.h"
#include "platform/library.h"

namespace {

// The phone 00:11:22:AA:BB:CC as the two address halves.
constexpr unsigned annaLow = 0x22AABBCC;
constexpr unsigned annaHigh = 0x0011;

class SdporaLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("sdpora_test_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        ::unsetenv(simworld::environmentVariable);
        ASSERT_TRUE(library.open(NYVEX_BIN_DIR "/libSdpora.so")) << library.error();
        getOppPort1 = reinterpret_cast<sdpora::GetOppPort1Function*>(library.symbol("getOppPort1"));
        startLogging =
            reinterpret_cast<sdpora::StartLoggingFunction*>(library.symbol("startLogging"));
        stopLogging = reinterpret_cast<sdpora::StopLoggingFunction*>(library.symbol("stopLogging"));
        ASSERT_TRUE(getOppPort1 && startLogging && stopLogging);
        const std::u16string log = (folder / "log.txt").u16string();
        ASSERT_EQ(startLogging(log.c_str()), 1);
    }

    void TearDown() override {
        library.close();
        ::unsetenv(simworld::environmentVariable);
        std::filesystem::remove_all(folder);
    }

    void useWorld(const std::string& phone) {
        const std::string file = (folder / "world.ini").string();
        ASSERT_TRUE(platform::replaceFileAtomically(
            file, "[radio]\naddress=00:1A:7D:DA:71:13\ntimescale=0\n" + phone));
        ::setenv(simworld::environmentVariable, file.c_str(), 1);
    }

    std::string log() {
        stopLogging();
        return platform::readFile((folder / "log.txt").string()).value_or("");
    }

    std::filesystem::path folder;
    platform::Library library;
    sdpora::GetOppPort1Function* getOppPort1 = nullptr;
    sdpora::StartLoggingFunction* startLogging = nullptr;
    sdpora::StopLoggingFunction* stopLogging = nullptr;
};

TEST_F(SdporaLibrary, PhoneWithObjectPushOnChannel9Gives9) {
    useWorld("[phone1]\naddress=00:11:22:AA:BB:CC\nchannel=9\n");
    EXPECT_EQ(getOppPort1(annaLow, annaHigh), 9);
    const std::string text = log();
    for (const char* line :
         {"WSAStartup succeeded: 0\n", "bt address: 00:11:22:AA:BB:CC\n", "port for svc 9\n",
          "ServiceClassIDList ss 5\nSDP_TYPE_SEQUENCE 35031911", "found 9",
          "ServiceName ss 18\nOBEX Object Push\n", "closesocket\n",
          "WSACleanup-----------------------------------------\n\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
}

TEST_F(SdporaLibrary, PhonesWithoutObjectPushOrOutOfReachGiveZero) {
    const struct {
        const char* title;
        const char* phone;
        const char* logged;
    } cases[] = {
        {"no channel", "[phone1]\naddress=00:11:22:AA:BB:CC\n", "closesocket\n"},
        {"out of range", "[phone1]\naddress=00:11:22:AA:BB:CC\nchannel=9\ninrange=0\n",
         "WSALookupServiceBegin Host is down\n"},
        {"unknown phone", "[phone1]\naddress=00:11:22:AA:BB:CD\nchannel=9\n",
         "WSALookupServiceBegin Host is down\n"},
        {"no RFCOMM channel", "[phone1]\naddress=00:11:22:AA:BB:CC\nchannel=99\n",
         "[phone1]: channel 99 is no RFCOMM channel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        std::filesystem::remove(folder / "log.txt");
        const std::u16string path = (folder / "log.txt").u16string();
        ASSERT_EQ(startLogging(path.c_str()), 1);
        useWorld(c.phone);
        EXPECT_EQ(getOppPort1(annaLow, annaHigh), 0);
        const std::string text = log();
        EXPECT_EQ(text.find("found"), std::string::npos) << text;
        EXPECT_NE(text.find(c.logged), std::string::npos) << text;
    }
}

TEST_F(SdporaLibrary, WithoutWorldFileAMachineWithoutBluetoothFailsToMakeTheSocket) {
    const int fd = ::socket(31 /* AF_BLUETOOTH */, SOCK_STREAM, 3 /* BTPROTO_RFCOMM */);
    if (fd >= 0) {
        ::close(fd);
        GTEST_SKIP() << "this machine has a Bluetooth stack; the lookup would need a real phone";
    }
    EXPECT_EQ(getOppPort1(annaLow, annaHigh), 1);
    EXPECT_NE(log().find("Error at socket(): "), std::string::npos);
}

TEST_F(SdporaLibrary, LogPathsOf256CharactersOrUnopenableFilesAreRefused) {
    const std::u16string base = folder.u16string() + u"/";
    const std::u16string tooLong = base + std::u16string(256 - base.size(), u'q');
    const std::u16string noFolder = base + u"missing/log.txt";
    EXPECT_EQ(startLogging(tooLong.c_str()), 0);
    EXPECT_EQ(startLogging(noFolder.c_str()), 0);
    useWorld("[phone1]\naddress=00:11:22:AA:BB:CC\nchannel=9\n");
    EXPECT_EQ(getOppPort1(annaLow, annaHigh), 9) << "the lookup does not need the log";
    EXPECT_EQ(log(), "") << "the refused path ended the earlier log";
}

}  // namespace
