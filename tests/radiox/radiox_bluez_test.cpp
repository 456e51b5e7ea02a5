// The radio library on the system's Bluetooth service: a private bus with python3-dbusmock's
// bluez5 stand-in for bluetoothd, driven the way adapters and phones would drive the real one.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "platform/text.h"
#include "radioxlibrary.h"
#include "tests/common/bluezmock.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing_support::BluezMock;

constexpr const char* adapterInterface = "org.bluez.Adapter1";
constexpr const char* deviceInterface = "org.bluez.Device1";

std::u16string nameOf(const char16_t* field) {
    return std::u16string(field);
}

// Everything the library writes to stderr while `action` runs.
template <typename Action>
std::string stderrOf(Action action) {
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    char path[] = "/tmp/nyvex-stderr-XXXXXX";
    const int capture = ::mkstemp(path);
    ::dup2(capture, STDERR_FILENO);
    action();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(capture);
    std::string text = platform::readFile(path).value_or("");
    ::unlink(path);
    return text;
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t seen = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++seen;
    }
    return seen;
}

std::string phoneAddress(int n) {
    char address[24];
    std::snprintf(address, sizeof address, "00:11:22:33:44:%2.2X", n & 0xFF);
    return address;
}

class RadioxOnBluez : public RadioxLibrary {
  protected:
    void SetUp() override {
        RadioxLibrary::SetUp();
        ASSERT_TRUE(mock.start()) << mock.serviceErrors();
    }

    void TearDown() override { RadioxLibrary::TearDown(); }

    // scandevices(length) with the time it took.
    std::pair<int, milliseconds> timedScan(int length) {
        const auto started = steady_clock::now();
        const int found = scandevices(length);
        return {found, std::chrono::duration_cast<milliseconds>(steady_clock::now() - started)};
    }

    BluezMock mock;
};

struct AdapterCase {
    const char* title;
    std::vector<bool> powered;  // one adapter per entry, hci0, hci1, ...
    int radios;
    const char16_t* lastName;  // the radio record's name after the count
};

TEST_F(RadioxOnBluez, ARadioIsAnAdapterThatIsPowered) {
    const AdapterCase cases[] = {
        {"no adapter", {}, 0, u""},
        {"one adapter", {true}, 1, u"radio 0"},
        {"a switched-off adapter", {false}, 0, u""},
        {"two adapters, the record names the last", {true, true}, 2, u"radio 1"},
        {"one of two switched off", {true, false}, 1, u"radio 0"},
    };
    for (const AdapterCase& c : cases) {
        SCOPED_TRACE(c.title);
        mock.stopService();
        ASSERT_TRUE(mock.startService());
        library.close();
        ASSERT_TRUE(library.open(NYVEX_BIN_DIR "/libRadiox.so"));
        bind(countDongles, "countDongles");
        bind(getDongInf, "getDongInf");
        for (std::size_t i = 0; i < c.powered.size(); ++i) {
            const std::string hci = "hci" + std::to_string(i);
            const std::string path = mock.addAdapter(hci, "radio " + std::to_string(i));
            if (!c.powered[i]) {
                mock.setFlag(path, adapterInterface, "Powered", false);
            }
        }
        EXPECT_EQ(countDongles(), c.radios);
        EXPECT_EQ(nameOf(getDongInf()->name), c.lastName);
    }
}

TEST_F(RadioxOnBluez, TheRadioRecordKeepsItsLayout) {
    mock.addAdapter("hci0", "Nyvex Zoë");
    ASSERT_EQ(countDongles(), 1);
    const NyvexRadioRecord* radio = getDongInf();
    const auto* bytes = reinterpret_cast<const unsigned char*>(radio);
    std::uint32_t size = 0;
    std::memcpy(&size, bytes, sizeof size);
    EXPECT_EQ(size, 520u);
    // The bluez5 stand-in gives hci0 the address 00:01:02:03:04:05 and the class 0x10C.
    std::uint64_t address = 0;
    std::memcpy(&address, bytes + 8, sizeof address);
    EXPECT_EQ(address, 0x000102030405ull);
    EXPECT_EQ(nameOf(reinterpret_cast<const char16_t*>(bytes + 16)), u"Nyvex Zoë");
    std::uint32_t deviceClass = 0;
    std::memcpy(&deviceClass, bytes + 512, sizeof deviceClass);
    EXPECT_EQ(deviceClass, 0x10Cu);
}

TEST_F(RadioxOnBluez, WithoutTheServiceThereIsNoRadioAndOneLogLine) {
    mock.addAdapter("hci0", "radio");
    mock.stopService();
    ASSERT_EQ(traceInto(), 1);
    const std::string errors = stderrOf([&] {
        EXPECT_EQ(countDongles(), 0);
        EXPECT_EQ(countDongles(), 0);
        EXPECT_EQ(scandevices(1), 0);
    });
    EXPECT_EQ(countOf(errors, "bluetoothd does not answer"), 1u) << errors;
    EXPECT_NE(errors.find("no radio"), std::string::npos) << errors;

    ASSERT_TRUE(mock.startService());
    mock.addAdapter("hci0", "radio");
    const std::string back = stderrOf([&] { EXPECT_EQ(countDongles(), 1); });
    EXPECT_EQ(countOf(back, "bluetoothd answers again"), 1u) << back;
}

TEST_F(RadioxOnBluez, WithoutASystemBusThereIsNoRadio) {
    ::setenv(BluezMock::addressVariable, "unix:path=/nonexistent/nyvex-bus", 1);
    EXPECT_EQ(countDongles(), 0);
    EXPECT_EQ(scandevices(1), 0);
}

struct InquiryCase {
    const char* title;
    int devices;
    int result;   // scandevices
    int records;  // slots filled
};

TEST_F(RadioxOnBluez, AnInquiryReportsAtMostTwentyDevicesWithNameAndClass) {
    const InquiryCase cases[] = {
        {"no device", 0, 1, 0},
        {"one device", 1, 1, 1},
        {"twenty devices", 20, 20, 20},
        {"twenty-five devices", 25, 20, 20},
    };
    for (const InquiryCase& c : cases) {
        SCOPED_TRACE(c.title);
        mock.stopService();
        ASSERT_TRUE(mock.startService());
        mock.addAdapter("hci0", "radio");
        for (int n = 1; n <= c.devices; ++n) {
            const std::string path =
                mock.addDevice("hci0", phoneAddress(n), "Phone " + std::to_string(n));
            mock.setNumber(path, deviceInterface, "Class", 0x5A020C + n);
        }
        EXPECT_EQ(scandevices(0), c.result);
        for (int slot = 0; slot < c.records; ++slot) {
            const NyvexDeviceRecord* record = getBTData(slot);
            ASSERT_NE(record, nullptr) << slot;
            const int n = slot + 1;
            EXPECT_EQ(record->size, 560u);
            EXPECT_EQ(record->address, 0x001122334400ull + static_cast<std::uint64_t>(n));
            EXPECT_EQ(record->classOfDevice, static_cast<std::uint32_t>(0x5A020C + n));
            EXPECT_EQ(platform::toUtf8(nameOf(record->name)), "Phone " + std::to_string(n));
        }
        EXPECT_EQ(getBTData(c.records), nullptr);
    }
}

TEST_F(RadioxOnBluez, DevicesWithoutNameOrClassHaveEmptyFieldsAndDevicesOutOfRangeAreLeftOut) {
    mock.addAdapter("hci0", "radio");
    mock.addAdapter("hci1", "second radio");
    mock.addBareDevice("hci0", "00:11:22:33:44:01", true);
    mock.addBareDevice("hci0", "00:11:22:33:44:02", false);  // known, but not found now
    mock.addDevice("hci1", "00:11:22:33:44:03", "other radio's phone");
    ASSERT_EQ(scandevices(0), 1);
    const NyvexDeviceRecord* record = getBTData(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->address, 0x001122334401ull);
    EXPECT_EQ(record->classOfDevice, 0u);
    EXPECT_EQ(record->name[0], u'\0');
    EXPECT_EQ(getBTData(1), nullptr);
}

TEST_F(RadioxOnBluez, AnInquiryLastsItsLengthAndReportsPhonesThatAppearMeanwhile) {
    mock.addAdapter("hci0", "radio");
    auto scan = std::async(std::launch::async, [&] { return timedScan(1); });
    std::this_thread::sleep_for(milliseconds(400));
    // A phone the service had not seen before: it is announced during the discovery.
    const std::string path = mock.addDevice("hci0", phoneAddress(7), "Late phone");
    mock.setNumber(path, deviceInterface, "Class", 0x5A020C);
    const auto [found, took] = scan.get();
    EXPECT_GE(took, milliseconds(1280));
    EXPECT_LT(took, milliseconds(1280 + 3000));
    ASSERT_EQ(found, 1);
    ASSERT_NE(getBTData(0), nullptr);
    EXPECT_EQ(platform::toUtf8(nameOf(getBTData(0)->name)), "Late phone");
    EXPECT_EQ(getBTData(0)->classOfDevice, 0x5A020Cu);
}

// How an inquiry is cut short: each gives the failed inquiry's record (all-zero address in slot
// 0, result 1), a trace line and no wait beyond the inquiry's bounds.
struct InterruptionCase {
    const char* title;
    std::function<void(BluezMock&)> interrupt;
    const char* traceLine;
};

TEST_F(RadioxOnBluez, AnInquiryCutShortFailsWithinItsBounds) {
    const InterruptionCase cases[] = {
        {"the service leaves", [](BluezMock& m) { m.stopService(); }, "bluetoothd left the bus"},
        {"the adapter is removed", [](BluezMock& m) { m.removeAdapter("hci0"); }, "went away"},
        {"the adapter is switched off",
         [](BluezMock& m) { m.setFlag("/org/bluez/hci0", adapterInterface, "Powered", false); },
         "was switched off"},
    };
    for (const InterruptionCase& c : cases) {
        SCOPED_TRACE(c.title);
        mock.stopService();
        ASSERT_TRUE(mock.startService());
        mock.addAdapter("hci0", "radio");
        mock.addDevice("hci0", phoneAddress(1), "Phone");
        std::filesystem::remove(folder / "trace.txt");
        ASSERT_EQ(traceInto(), 1);
        auto scan = std::async(std::launch::async, [&] { return timedScan(8); });
        std::this_thread::sleep_for(milliseconds(500));
        c.interrupt(mock);
        const auto [found, took] = scan.get();
        stopLogging();
        EXPECT_LT(took, milliseconds(4000));
        ASSERT_EQ(found, 1);
        ASSERT_NE(getBTData(0), nullptr);
        EXPECT_EQ(getBTData(0)->address, 0u);
        EXPECT_NE(traceText().find(c.traceLine), std::string::npos) << traceText();
    }
}

TEST_F(RadioxOnBluez, AServiceThatAnswersSlowlyFailsTheInquiryInBoundedTime) {
    mock.addAdapter("hci0", "radio");
    mock.addDevice("hci0", phoneAddress(1), "Phone");
    mock.replaceMethod("/org/bluez/hci0", adapterInterface, "StartDiscovery", "time.sleep(6)");
    ASSERT_EQ(traceInto(), 1);
    const auto [found, took] = timedScan(1);
    EXPECT_LT(took, milliseconds(5500));
    EXPECT_EQ(found, 1);
    ASSERT_NE(getBTData(0), nullptr);
    EXPECT_EQ(getBTData(0)->address, 0u);
    EXPECT_NE(traceText().find("StartDiscovery"), std::string::npos) << traceText();
}

TEST_F(RadioxOnBluez, TheSimulatedWorldWinsWhenNamed) {
    mock.addAdapter("hci0", "real radio");
    useWorld(std::string(radioSection) + phoneSection(1, "Anna"));
    EXPECT_EQ(countDongles(), 1);
    EXPECT_EQ(nameOf(getDongInf()->name), u"Nyvex demo");
}

}  // namespace
