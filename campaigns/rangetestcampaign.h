#pragma once

#include <cstdint>

#include "campaigns/campaign.h"

namespace campag {

// The range test's throw-away campaign: the test picture under a random name. It is never put
// into the manager's list and never saved.
class CRTCampaign : public CCampaign {
  public:
    // The size of the range-test picture; any other file is taken for a damaged one.
    static constexpr std::uint64_t testPictureSize = 2883;

    using CCampaign::CCampaign;
    ~CRTCampaign() override;

    // The picture has its exact size and the media and send-name checks pass; the campaign has
    // no name to check.
    bool isSendable() const override;
    std::unique_ptr<CCampaign> copyForSending() const override;
};

}  // namespace campag
