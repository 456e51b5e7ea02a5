#include "rangetestcampaign.h"

#include "support/filechecker.h"

namespace campag {

CRTCampaign::~CRTCampaign() = default;

bool CRTCampaign::isSendable() const {
    return CFileChecker::hasSize(getValue4Key("mediafile"), testPictureSize) && mediaFileExists() &&
           hasMimeType() && isSendFileNameValid();
}

std::unique_ptr<CCampaign> CRTCampaign::copyForSending() const {
    auto copy = std::make_unique<CRTCampaign>(nullptr);
    copyRecordInto(*copy);
    return copy;
}

}  // namespace campag
