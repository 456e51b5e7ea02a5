// The radio's local name in the simulated world: the [radio] name of the world file, replaced
// whole, refused without a radio or with characters no radio name may carry.

#include "app/station/radioname.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "platform/profile.h"
#include "tests/common/tempfolder.h"

using testing_support::TempFolder;

namespace {

const char* const radio = "[radio]\naddress=00:1A:7D:DA:71:13\nname=Old\ntimescale=0\n";
const char* const phone = "[phone1]\naddress=00:11:22:AA:BB:01\nname=Anna\ninrange=1\n";

class SimulatedWorld : public testing::Test {
  protected:
    void use(const std::string& content) {
        world = folder.write("world.ini", content);
        setenv("NYVEX_SIMULATION", world.c_str(), 1);
    }
    void TearDown() override { unsetenv("NYVEX_SIMULATION"); }
    std::string nameInWorld() const {
        return platform::profile::read(world, "radio", "name", "<none>");
    }

    TempFolder folder;
    std::string world;
    CDInterface names;
};

}  // namespace

TEST_F(SimulatedWorld, ANewNameReplacesTheRadiosNameAndKeepsTheRestOfTheWorld) {
    use(std::string(radio) + phone);
    EXPECT_EQ(names.setLocalName("Kiosk\xC3\xA9"), 0);
    EXPECT_EQ(nameInWorld(), "Kiosk\xC3\xA9");
    EXPECT_EQ(platform::profile::read(world, "phone1", "name", ""), "Anna");
    EXPECT_EQ(names.radioDescription(), CDInterface::simulatedDescription);
}

TEST_F(SimulatedWorld, RefusedNamesAndMissingRadiosLeaveTheWorldAsItWas) {
    struct Case {
        const char* what;
        std::string world;
        std::string name;
    };
    const Case cases[] = {
        {"no radio", phone, "Kiosk"},
        {"line break", radio, "Kiosk\nname=x"},
        {"tab", radio, "Kio\tsk"},
        {"delete", radio, "Kiosk\x7F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        use(c.world);
        EXPECT_EQ(names.setLocalName(c.name), 1);
        EXPECT_EQ(platform::profile::read(world, "radio", "name", "<none>"),
                  c.world == phone ? "<none>" : "Old");
    }
}

TEST_F(SimulatedWorld, AWorldWithoutARadioHasNoDescription) {
    use(phone);
    EXPECT_EQ(names.radioDescription(), "");
    use("");
    ::unlink(world.c_str());
    EXPECT_EQ(names.radioDescription(), "");
    EXPECT_EQ(names.setLocalName("Kiosk"), 1);
}
