#pragma once
// The radio library loaded from the build's bin folder the way the program loads it, with its
// exports bound by name, and a simulated world written into a fresh temporary folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "libs/include/radiox.h"
#include "libs/simworld/simworld.h"
#include "platform/files.h"
#include "platform/library.h"

class RadioxLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("radiox_test_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        ::unsetenv(simworld::environmentVariable);
        ASSERT_TRUE(library.open(NYVEX_BIN_DIR "/libRadiox.so")) << library.error();
        bind(add, "Add");
        bind(countDongles, "countDongles");
        bind(getDongInf, "getDongInf");
        bind(scandevices, "scandevices");
        bind(getBTData, "getBTData");
        bind(getMaSe, "getMaSe");
        bind(startLogging, "startLogging");
        bind(stopLogging, "stopLogging");
    }

    void TearDown() override {
        library.close();
        ::unsetenv(simworld::environmentVariable);
        std::filesystem::remove_all(folder);
    }

    // Writes the world file (replacing it as a whole, as world writers do) and points the
    // library at it.
    std::string useWorld(const std::string& text) {
        const std::string file = (folder / "world.ini").string();
        EXPECT_TRUE(platform::replaceFileAtomically(file, text));
        ::setenv(simworld::environmentVariable, file.c_str(), 1);
        return file;
    }

    std::string traceText() const {
        return platform::readFile((folder / "trace.txt").string()).value_or("");
    }

    int traceInto() {
        const std::u16string path = (folder / "trace.txt").u16string();
        return startLogging(path.c_str());
    }

    template <typename Function>
    void bind(Function*& function, const char* name) {
        function = reinterpret_cast<Function*>(library.symbol(name));
        ASSERT_NE(function, nullptr) << name;
    }

    std::filesystem::path folder;
    platform::Library library;
    radiox::AddFunction* add = nullptr;
    radiox::CountDonglesFunction* countDongles = nullptr;
    radiox::GetDongInfFunction* getDongInf = nullptr;
    radiox::ScanDevicesFunction* scandevices = nullptr;
    radiox::GetBTDataFunction* getBTData = nullptr;
    radiox::GetMaSeFunction* getMaSe = nullptr;
    radiox::StartLoggingFunction* startLogging = nullptr;
    radiox::StopLoggingFunction* stopLogging = nullptr;
};

inline const char* const radioSection =
    "[radio]\naddress=00:1A:7D:DA:71:13\nname=Nyvex demo\ntimescale=0\n";

// A phone section; `n` numbers it and makes its address 00:11:22:00:00:nn.
inline std::string phoneSection(int n, const std::string& name, const std::string& cls = "0x5A020C",
                                bool inRange = true) {
    char address[18];
    std::snprintf(address, sizeof address, "00:11:22:00:00:%2.2X", n);
    return "[phone" + std::to_string(n) + "]\naddress=" + address + "\nname=" + name +
           "\nclass=" + cls + "\ninrange=" + (inRange ? "1" : "0") + "\n";
}
