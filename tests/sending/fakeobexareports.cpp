// The push report exports of a current object-push library, over the fake's shared state.

#include "fakeobexa.h"

extern "C" {

void setPushProgress(ObexaProgressFunction progress, void* context) {
    fakeobexa::setProgress(progress, context);
}

std::int32_t getPushReport(ObexaPushReport* report) {
    return report != nullptr && fakeobexa::lastReport(*report) ? 0 : 1;
}
}
