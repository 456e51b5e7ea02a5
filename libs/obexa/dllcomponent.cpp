#include "dllcomponent.h"

#include "boundedtext.h"
#include "platform/text.h"

namespace obexa {

CDllComponent::~CDllComponent() {
    if (target.stream != nullptr) {
        std::fclose(target.stream);
    }
}

void CDllComponent::openLog(std::u16string_view path) {
    if (target.stream != nullptr || !copyBounded(logPath, path, logPathCapacity, target)) {
        return;
    }
    target.stream = std::fopen(platform::toUtf8(logPath).c_str(), "a");
    target.logging = target.stream != nullptr;
}

}  // namespace obexa
