#include "sendjob.h"

#include "campaigns/campaign.h"
#include "platform/text.h"

namespace btsend {

namespace {
const std::string campaignNameKey = "campaname";
}

CSendJob::CSendJob(const blto::CBtAdWCounter& device, const campag::CCampaign& campaign,
                   bool rangeTest)
    : sighting(device), target(campaign.copyForSending()), rangeTestJob(rangeTest) {}

CSendJob::~CSendJob() = default;

std::uint64_t CSendJob::address() const {
    const NyvexSighting* record = sighting.record();
    return record ? record->device.address : 0;
}

std::uint32_t CSendJob::addressLow() const {
    return static_cast<std::uint32_t>(address());
}

std::uint32_t CSendJob::addressHigh() const {
    return static_cast<std::uint32_t>(address() >> 32);
}

bool CSendJob::sameJob(const CSendJob& other) const {
    return addressLow() == other.addressLow() && addressHigh() == other.addressHigh() &&
           platform::equalsIgnoreCase(target->getValue4Key(campaignNameKey),
                                      other.target->getValue4Key(campaignNameKey));
}

}  // namespace btsend
