#include "librarybinding.h"

#include "platform/text.h"

CDllComp::CDllComp(const std::string& fileName, std::initializer_list<const char*> neededExports) {
    if (!module.open(fileName)) {
        return;
    }
    for (const char* name : neededExports) {
        if (module.symbol(name) == nullptr) {
            return;
        }
    }
    loaded = true;
}

int CDllComp::startLogging(const std::string& path) {
    auto* start = exportNamed<int(const char16_t*)>("startLogging");
    if (start == nullptr) {
        return 0;
    }
    const std::u16string widePath = platform::toUtf16(path);
    return start(widePath.c_str());
}

int CDllComp::stopLogging() {
    auto* stop = exportNamed<void()>("stopLogging");
    if (stop == nullptr) {
        return 0;
    }
    stop();
    return 1;
}

void* CDllComp::lookUp(const char* name) {
    void* address = module.symbol(name);
    if (address == nullptr) {
        loaded = false;
    }
    return address;
}
