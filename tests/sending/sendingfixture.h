#pragma once
// A station folder with one sendable campaign ("Promo", an always campaign whose picture lies in
// the folder) in its campaign manager, and sightings by address.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "campaigns/campaignmgr.h"
#include "discovery/sighting.h"
#include "sending/sender.h"
#include "tests/common/sightings.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"

namespace sendingtest {

using testing_support::makeSighting;
using testing_support::waitUntil;

// The address halves the object-push library gets for a 48-bit address.
inline std::uint32_t lowOf(std::uint64_t address) {
    return static_cast<std::uint32_t>(address);
}
inline std::uint32_t highOf(std::uint64_t address) {
    return static_cast<std::uint32_t>(address >> 32);
}

// A campaign that is not in any manager, named `name`, sending `media`.
inline std::unique_ptr<campag::CCampaign> makeCampaign(const std::string& name,
                                                       const std::string& media = "promo.jpg") {
    auto campaign = std::make_unique<campag::CCampaign>(nullptr);
    campaign->setValue4Key("campaname", name);
    campaign->setValue4Key("sendfilename", name);
    campaign->setValue4Key("mediafile", media);
    return campaign;
}

class SendingStation : public ::testing::Test {
  protected:
    void SetUp() override {
        config::current()->setString("path", station.path().string() + "/");
        station.write("promo.jpg", picture);
        auto promo = makeCampaign("Promo");
        promoCampaign = promo.get();
        ASSERT_TRUE(manager.addCampaign(std::move(promo)));
        ASSERT_EQ(manager.chooseCampaign(), promoCampaign);
    }

    // The station's campaigns as a sender finds them.
    btsend::CampaignSource campaigns() {
        return [this] { return &manager; };
    }

    // The range test's picture: exactly the size of the real one.
    void writeTestPicture() const { station.write("testpic.gif", std::string(2883, 'G')); }

    const std::string picture = std::string(1000, 'P');
    testing_support::StationFolder station;
    campag::CCampaignMgr manager;
    campag::CCampaign* promoCampaign = nullptr;
};

}  // namespace sendingtest
