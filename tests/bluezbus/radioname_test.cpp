// The radio's local name and description through the service: which adapter counts as the
// radio, what the alias becomes, and what the hardware database names.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "libs/bluezbus/radioname.h"
#include "tests/common/bluezmock.h"

namespace {

using bluezbus::CRadioName;
using testing_support::BluezMock;

constexpr const char* adapterInterface = "org.bluez.Adapter1";
// A USB dongle's interface as the kernel names it, and one on SDIO.
constexpr const char* usbDongle = "usb:v0A12p0001d8891dcE0dsc01dp01icE0isc01ip01in00";
constexpr const char* sdioRadio = "sdio:c00v02D0d4324";

class RadioName : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(mock.start()) << mock.serviceErrors();
        sysfs = mock.path() / "sysfs";
        std::filesystem::create_directories(sysfs);
    }

    // The kernel's identity of adapter `hci` in the test's stand-in for /sys/class/bluetooth.
    void kernelIdentity(const std::string& hci, const std::string& modalias) {
        std::filesystem::create_directories(sysfs / hci / "device");
        std::ofstream(sysfs / hci / "device" / "modalias") << modalias << "\n";
    }

    CRadioName radioName() const { return CRadioName(sysfs.string()); }

    BluezMock mock;
    std::filesystem::path sysfs;
};

TEST_F(RadioName, TheFirstUsbRadioGetsTheNameAsItsAlias) {
    const std::string first = mock.addAdapter("hci0", "old 0");
    const std::string second = mock.addAdapter("hci1", "old 1");
    EXPECT_EQ(radioName().setLocalName("Nyvex Café ★"), 0);
    EXPECT_EQ(mock.text(first, adapterInterface, "Alias"), "Nyvex Café ★");
    EXPECT_EQ(mock.text(second, adapterInterface, "Alias"), "old 1");
}

TEST_F(RadioName, ARadioThatIsNotOnUsbIsNotFound) {
    const std::string sdio = mock.addAdapter("hci0", "old 0");
    const std::string usb = mock.addAdapter("hci1", "old 1");
    kernelIdentity("hci0", sdioRadio);

    EXPECT_EQ(radioName().setLocalName("Nyvex"), 0);
    EXPECT_EQ(mock.text(sdio, adapterInterface, "Alias"), "old 0");
    EXPECT_EQ(mock.text(usb, adapterInterface, "Alias"), "Nyvex");

    mock.removeAdapter("hci1");
    EXPECT_EQ(radioName().setLocalName("Nyvex 2"), 1);
    EXPECT_EQ(radioName().radioDescription(), "");
}

TEST_F(RadioName, EveryFailureGivesOne) {
    EXPECT_EQ(radioName().setLocalName("no adapter"), 1);
    mock.addAdapter("hci0", "radio");
    // The service refuses names that are not UTF-8 (the bus does not even carry them).
    EXPECT_EQ(radioName().setLocalName("\xff\xfe"), 1);
    mock.stopService();
    EXPECT_EQ(radioName().setLocalName("no service"), 1);
}

TEST_F(RadioName, TheDescriptionNamesTheLastUsbRadioFromTheHardwareDatabase) {
    mock.addAdapter("hci0", "radio 0");
    mock.addAdapter("hci1", "radio 1");
    kernelIdentity("hci0", "usb:v1D6Bp0246d0542");
    kernelIdentity("hci1", usbDongle);
    EXPECT_EQ(radioName().radioDescription(),
              "Cambridge Silicon Radio, Ltd Bluetooth Dongle (HCI mode)");
}

TEST_F(RadioName, WithoutServiceThereIsNoDescription) {
    mock.addAdapter("hci0", "radio 0");
    kernelIdentity("hci0", usbDongle);
    mock.stopService();
    EXPECT_EQ(radioName().radioDescription(), "");
}

TEST_F(RadioName, TheKernelsIdentityComesBeforeTheOneTheServiceAnnounces) {
    const std::string path = mock.addAdapter("hci0", "radio");
    bluezbus::AdapterInfo adapter;
    adapter.path = path;
    adapter.modalias = mock.text(path, adapterInterface, "Modalias");
    EXPECT_EQ(radioName().identityOf(adapter), "usb:v1D6Bp0245d050A");
    kernelIdentity("hci0", usbDongle);
    EXPECT_EQ(radioName().identityOf(adapter), usbDongle);
}

struct DescriptionCase {
    const char* modalias;
    const char* description;
};

TEST(HardwareDatabase, NamesVendorAndModelOfAUsbIdentity) {
    const DescriptionCase cases[] = {
        {usbDongle, "Cambridge Silicon Radio, Ltd Bluetooth Dongle (HCI mode)"},
        {"usb:v0A12pFFFEd0000", "Cambridge Silicon Radio, Ltd"},  // a model it does not know
        {"usb:vFFF0pFFF0d0000", ""},
        {"", ""},
    };
    for (const DescriptionCase& c : cases) {
        EXPECT_EQ(bluezbus::describeIdentity(c.modalias), c.description) << c.modalias;
    }
}

}  // namespace
