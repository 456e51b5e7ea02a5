// Campaign and schedule loading: the input is the list file "tolvik.ini" of a station folder
// (which becomes the current directory: give libFuzzer absolute paths, as fuzz/run.sh does).
// Every campaign it yields is asked everything the sender and the main window ask: whether it is
// on air, its send name, type and media path, its schedule's description; the manager chooses
// the campaign to send.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "campaigns/campaignexception.h"
#include "campaigns/campaignmgr.h"
#include "config/configstore.h"
#include "fuzz/fuzzfiles.h"
#include "support/texts.h"

namespace {

// The station folder, made the current directory once, with the settings the campaigns read.
const fuzzing::ScratchFolder& station() {
    static const fuzzing::ScratchFolder folder;
    static const bool settingsWritten = [] {
        const std::string settings = "[Tolvik]\nversion=1.061\n";
        folder.replace("appTolvik.ini", settings.data(), settings.size());
        return true;
    }();
    (void)settingsWritten;
    return folder;
}

void askEverything(campag::CCampaign& campaign, std::int64_t now) {
    schedule::CSchedule& plan = *campaign.getSchedule();
    plan.isActive(now);
    plan.getDescription();
    for (int i = 0; i < plan.getNumPeriods(); ++i) {
        plan.getPeriod(i);
    }
    campaign.getPrio();
    campaign.isSendable();
    campaign.getMediaFilePath();
    campaign.getMimeType();
    try {
        campaign.getSendFileName();
    } catch (const campag::CCampaignException&) {
        // a campaign without a usable extension says so; the sender then skips it
    }
}

}  // namespace

// The configuration reads the station folder as the current directory, as the station does.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (::chdir(station().path().c_str()) != 0) {
        std::abort();
    }
    config::setConfig(std::make_unique<CInit>());
    support::texts().load(NYVEX_SOURCE_DIR "/data/station/resource.xml");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    station().replace("tolvik.ini", data, size);
    campag::CCampaignMgr manager;
    manager.loadAll();
    const std::int64_t now = schedule::currentTime();
    for (campag::CCampaign* c = manager.getFirst(); c != nullptr; c = manager.getNext()) {
        askEverything(*c, now);
    }
    manager.chooseCampaign();
    manager.hasSendableNow();
    manager.lowestFreePrio();
    return 0;
}
