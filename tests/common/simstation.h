#pragma once
// A station in the simulated world for tests of the windows and of the tool commands: a station
// folder whose world file names a radio (or none), one always campaign with its media file, the
// operator texts of data/station, and the application's campaign manager, back office and
// thread center with the real radio and push libraries of build/bin. Nothing is started; the
// test decides (center().startAll()). The workers' pauses are shortened while it lives.

#include <cstdlib>
#include <string>

#include "app/station/nyvexapp.h"
#include "app/station/threadcenter.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignmgr.h"
#include "platform/profile.h"
#include "support/texts.h"
#include "tests/common/registeredpart.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"

namespace testing_support {

class SimulatedStation {
  public:
    static constexpr const char* radioSection =
        "[radio]\naddress=00:1A:7D:DA:71:13\nname=TestRadio\ntimescale=0\n";
    static constexpr const char* alwaysCampaign =
        "[campaign1]\ncampaname=Welcome\nsendfilename=welcome\nmediafile=welcome.gif\n"
        "prio=1000\nscheduletyp=0\nnumperiods=0\n";

    explicit SimulatedStation(bool withRadio = true)
        : folder(true, settings()),
          world(folder.write("world.ini", withRadio ? radioSection : "")),
          simulation(world),
          campaigns(),
          office(),
          center(library("libRadiox.so"), library("libObexa.so")) {
        support::texts().load(std::string(NYVEX_SOURCE_DIR) + "/data/station/resource.xml");
        folder.write("welcome.gif", "GIF89a");
        folder.write("tolvik.ini", alwaysCampaign);
        campaigns->loadAll();
        theApp().setUpBackOffice();
        office->setQueues(&center->front()->sightings(), &center->newDevices());
        center->front()->createScanner();
    }

    static std::string library(const std::string& name) {
        return std::string(NYVEX_BIN_DIR) + "/" + name;
    }
    static std::string settings() {
        return "[Tolvik]\nversion=1.061\nduration=5\narchfile=devices.arc\nmanufac=m.dat\n"
               "politemode=0\ntestmode=0\n";
    }

    // Plugs the radio in or out: the world file gains or loses its [radio] section, replaced
    // atomically as every writer of the world does.
    void plugRadio(bool in) const {
        if (in) {
            platform::profile::write(world, "radio", "address", "00:1A:7D:DA:71:13");
            platform::profile::write(world, "radio", "name", "TestRadio");
            platform::profile::write(world, "radio", "timescale", "0");
        } else {
            platform::profile::deleteSection(world, "radio");
        }
    }

    StationFolder folder;
    const std::string world;

  private:
    struct SimulationVariable {
        explicit SimulationVariable(const std::string& file) {
            setenv("NYVEX_SIMULATION", file.c_str(), 1);
        }
        ~SimulationVariable() { unsetenv("NYVEX_SIMULATION"); }
    };

    ScopedTimeScale fastWorkers{0.01};
    SimulationVariable simulation;

  public:
    // Declared last, so that the thread center (which stops and joins every worker) goes first.
    RegisteredPart<campag::CCampaignMgr> campaigns;
    RegisteredPart<backo::CBackOffice> office;
    RegisteredPart<CThreadCenter> center;
};

}  // namespace testing_support
