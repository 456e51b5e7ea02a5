#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "radioxlibrary.h"

namespace {

using Radiox = RadioxLibrary;

bool bluetoothSocketsExist() {
    const int fd = ::socket(31 /* AF_BLUETOOTH */, SOCK_RAW, 1 /* BTPROTO_HCI */);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

const unsigned char* bytesOf(const void* record) {
    return static_cast<const unsigned char*>(record);
}

std::uint32_t uint32At(const void* record, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, bytesOf(record) + offset, sizeof value);
    return value;
}

std::u16string nameAt(const void* record, std::size_t offset) {
    const auto* name = reinterpret_cast<const char16_t*>(bytesOf(record) + offset);
    return std::u16string(name);
}

TEST_F(RadioxLibrary, AddReturnsTheSum) {
    EXPECT_EQ(add(1.5, 2.25), 3.75);
}

TEST_F(RadioxLibrary, WithoutWorldFileAMachineWithoutBluetoothHasNoRadio) {
    if (bluetoothSocketsExist()) {
        GTEST_SKIP() << "this machine has a Bluetooth stack; radio counts depend on its hardware";
    }
    ASSERT_EQ(traceInto(), 1);
    EXPECT_EQ(countDongles(), 0);
    EXPECT_EQ(scandevices(1), 0);
    EXPECT_EQ(getBTData(0), nullptr);
    EXPECT_NE(traceText().find(" lasterr "), std::string::npos) << traceText();
}

struct RadioCountCase {
    const char* title;
    const char* world;  // nullptr: the world file does not exist
    int radios;
    const char* traceLine;
};

TEST_F(RadioxLibrary, RadioCountFollowsTheWorldFile) {
    const RadioCountCase cases[] = {
        {"one radio", radioSection, 1, "found dongle\nNyvex demo 00:1A:7D:DA:71:13\n"},
        {"no radio section", "[phone1]\naddress=00:11:22:33:44:55\n", 0, "has no [radio]"},
        {"bad radio address", "[radio]\naddress=00:1A:7D:DA:71\n", 0, "bad address"},
        {"not an INI file", "\x01\x02 garbage \xff\n", 0, "has no [radio]"},
        {"missing file", nullptr, 0, "not found"},
    };
    for (const RadioCountCase& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string file = useWorld(c.world ? c.world : "");
        if (c.world == nullptr) {
            std::filesystem::remove(file);
        }
        std::filesystem::remove(folder / "trace.txt");
        ASSERT_EQ(traceInto(), 1);
        EXPECT_EQ(countDongles(), c.radios);
        stopLogging();
        EXPECT_NE(traceText().find(c.traceLine), std::string::npos) << traceText();
    }
}

TEST_F(RadioxLibrary, RadioRecordDescribesTheRadioSeenLast) {
    const NyvexRadioRecord* radio = getDongInf();
    ASSERT_NE(radio, nullptr);
    EXPECT_EQ(radio->size, 0u) << "all zero until a radio was seen";

    useWorld(radioSection);
    ASSERT_EQ(countDongles(), 1);
    EXPECT_EQ(getDongInf(), radio) << "one buffer for the library's lifetime";
    EXPECT_EQ(uint32At(radio, 0), 520u);
    const unsigned char address[] = {0x13, 0x71, 0xDA, 0x7D, 0x1A, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(bytesOf(radio) + 8, address, sizeof address), 0);
    EXPECT_EQ(nameAt(radio, 16), u"Nyvex demo");

    useWorld("[phone1]\naddress=00:11:22:33:44:55\n");
    EXPECT_EQ(countDongles(), 0);
    EXPECT_EQ(nameAt(radio, 16), u"Nyvex demo") << "a failed count keeps the last radio";
}

TEST_F(RadioxLibrary, InquiryReturnsThePhonesInRangeInFileOrder) {
    useWorld(std::string(radioSection) + phoneSection(1, "Anna", "0x5A020C") +
             phoneSection(2, "Bert", "0x200404", false) + phoneSection(3, "Cleo", "0x7A020C"));
    ASSERT_EQ(scandevices(1), 2);

    const NyvexDeviceRecord* first = getBTData(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(uint32At(first, 0), 560u);
    const unsigned char address[] = {0x01, 0x00, 0x00, 0x22, 0x11, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(bytesOf(first) + 8, address, sizeof address), 0);
    EXPECT_EQ(uint32At(first, 16), 0x5A020Cu);
    EXPECT_EQ(nameAt(first, 64), u"Anna");

    const NyvexDeviceRecord* second = getBTData(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->address, 0x001122000003u);
    EXPECT_EQ(nameAt(second, 64), u"Cleo");
}

TEST_F(RadioxLibrary, EmptySlotsAndIndexesOutsideTheTableGiveNullAndEmptyText) {
    useWorld(std::string(radioSection) + phoneSection(1, "Anna"));
    ASSERT_EQ(scandevices(1), 1);
    for (int index : {-1, 1, 19, 20, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(getBTData(index), nullptr);
        ASSERT_NE(getMaSe(index), nullptr);
        EXPECT_STREQ(getMaSe(index), "");
    }
}

TEST_F(RadioxLibrary, TwentyOnePhonesInRangeGiveTwenty) {
    std::string world = radioSection;
    for (int n = 1; n <= 21; ++n) {
        world += phoneSection(n, "Phone " + std::to_string(n));
    }
    useWorld(world);
    ASSERT_EQ(traceInto(), 1);
    EXPECT_EQ(scandevices(1), 20);
    ASSERT_NE(getBTData(19), nullptr);
    EXPECT_EQ(nameAt(getBTData(19), 64), u"Phone 20");
    EXPECT_NE(traceText().find("more than 20 phones in range"), std::string::npos);
}

TEST_F(RadioxLibrary, InquiryFindingNothingCountsOneWithEverySlotEmpty) {
    useWorld(std::string(radioSection) + phoneSection(1, "Anna", "0x5A020C", false));
    EXPECT_EQ(scandevices(1), 1);
    EXPECT_EQ(getBTData(0), nullptr);
    EXPECT_STREQ(getMaSe(0), "");
}

TEST_F(RadioxLibrary, WithoutRadioTheInquiryGivesZeroAndKeepsThePreviousDevices) {
    useWorld(std::string(radioSection) + phoneSection(1, "Anna"));
    ASSERT_EQ(scandevices(1), 1);
    const NyvexDeviceRecord* kept = getBTData(0);
    useWorld(phoneSection(1, "Anna"));
    EXPECT_EQ(scandevices(1), 0);
    EXPECT_EQ(getBTData(0), kept);
}

TEST_F(RadioxLibrary, MajorServiceIsNamedByTheFirstSetBitInTestOrder) {
    const struct {
        const char* cls;
        const char* name;
    } cases[] = {
        {"0x300000", "Object Transfer "},  // also Audio: Object Transfer is tested first
        {"0x5A020C", "Object Transfer "},
        {"0xC00000", "Information "},  // Information is tested before Telephony
        {"0x600000", "Telephony "},
        {"0x280000", "Audio "},
        {"0x0C0000", "Capturing "},
        {"0x040000", "Rendering "},
        {"0x030000", "Networking "},
        {"0x010000", "Positioning "},
        {"0x00C000", "iv_0x8000 "},
        {"0x004000", "iv_0x4000 "},
        {"0x002000", "Limited Discoverable Mode "},
        {"0x001F0C", ""},
    };
    std::string world = radioSection;
    int n = 0;
    for (const auto& c : cases) {
        world += phoneSection(++n, "Phone", c.cls);
    }
    useWorld(world);
    ASSERT_EQ(scandevices(1), n);
    for (int index = 0; index < n; ++index) {
        SCOPED_TRACE(cases[index].cls);
        EXPECT_STREQ(getMaSe(index), cases[index].name);
    }
}

TEST_F(RadioxLibrary, UntrustedNamesAreCutToFitAndBadBytesReplaced) {
    const std::string longName(300, 'x');
    // 246 units then a pair that would straddle the last place: the whole pair is left out.
    const std::string pairAtTheCut = std::string(246, 'y') + "\xF0\x9F\x98\x80";
    useWorld(std::string(radioSection) + phoneSection(1, longName) +
             phoneSection(2, "Bad\xC3(name") + phoneSection(3, pairAtTheCut));
    ASSERT_EQ(traceInto(), 1);
    ASSERT_EQ(scandevices(1), 3);

    EXPECT_EQ(nameAt(getBTData(0), 64), std::u16string(247, u'x'));
    EXPECT_EQ(nameAt(getBTData(1), 64), u"Bad\uFFFD(name");
    EXPECT_EQ(nameAt(getBTData(2), 64), std::u16string(246, u'y'));
    const std::string trace = traceText();
    EXPECT_NE(trace.find("[phone1]: name longer than 247 characters, cut"), std::string::npos);
    EXPECT_NE(trace.find("[phone2]: name is not UTF-8, bad bytes replaced"), std::string::npos);
}

TEST_F(RadioxLibrary, TraceShowsRadiosAndPhonesOnlyWhileTracingIsOn) {
    useWorld(std::string(radioSection) + phoneSection(1, "Anna"));
    EXPECT_EQ(scandevices(1), 1);
    ASSERT_EQ(traceInto(), 1);
    EXPECT_EQ(scandevices(1), 1);
    stopLogging();
    EXPECT_EQ(scandevices(1), 1);

    const std::string once =
        "found dongle\nNyvex demo 00:1A:7D:DA:71:13\n lasterr Success\n"
        "Phone:Anna 00:11:22:00:00:01\n";
    EXPECT_EQ(traceText(), once);

    ASSERT_EQ(traceInto(), 1);
    EXPECT_EQ(countDongles(), 1);
    stopLogging();
    EXPECT_EQ(traceText().rfind("found dongle", 0), 0u) << "a second trace appends";
    EXPECT_NE(traceText().find("found dongle", once.size()), std::string::npos);
}

TEST_F(RadioxLibrary, TracePathsOf256CharactersOrUnopenableFilesAreRefused) {
    useWorld(radioSection);
    const std::u16string base = folder.u16string() + u"/";
    const std::u16string path255 = base + std::u16string(255 - base.size(), u'p');
    const std::u16string path256 = base + std::u16string(256 - base.size(), u'q');
    const std::u16string noFolder = base + u"missing/trace.txt";

    EXPECT_EQ(startLogging(path256.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path256)));
    EXPECT_EQ(startLogging(noFolder.c_str()), 0);
    EXPECT_EQ(startLogging(nullptr), 0);

    ASSERT_EQ(startLogging(path255.c_str()), 1);
    EXPECT_EQ(countDongles(), 1);
    EXPECT_EQ(startLogging(path256.c_str()), 0) << "a refused path also ends the old trace";
    EXPECT_EQ(countDongles(), 1);
    const auto traced = platform::readFile(std::filesystem::path(path255).string());
    ASSERT_TRUE(traced);
    EXPECT_EQ(*traced, "found dongle\nNyvex demo 00:1A:7D:DA:71:13\n lasterr Success\n");
}

TEST_F(RadioxLibrary, InquiryTakesItsLengthTimesTheWorldsTimescale) {
    useWorld("[radio]\naddress=00:1A:7D:DA:71:13\ntimescale=0.05\n" + phoneSection(1, "Anna"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(scandevices(2), 1);
    // 2 × 1.28 s × 0.05 = 128 ms; only the lower bound is certain on a busy machine.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(128));
}

}  // namespace
