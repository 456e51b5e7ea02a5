#include "rangetestcampaign.h"

#include "support/filechecker.h"

namespace campag {

CRTCampaign::~CRTCampaign() = default;

bool CRTCampaign::isSendable() const {
    return CFileChecker::hasSize(getValue4Key("mediafile"), testPictureSize) && mediaFileExists() &&
           hasMimeType() && isSendFileNameValid();
}

}  // namespace campag
