#include "texts.h"

#include "support/logentry.h"

namespace support {

namespace {
// The texts belong to the application object, and a missing key has always been reported under
// its name.
constexpr const char* textsOwnerTag = "CNyvexApp*";
}  // namespace

CResoMap& texts() {
    // Never destroyed: a part that goes while the program exits may still ask for a text.
    static auto* table = new CResoMap;
    return *table;
}

std::string text(const std::string& key) {
    std::string out;
    if (!texts().lookup(key, out)) {
        logError("Key not found: " + key, textsOwnerTag);
        return {};
    }
    return out;
}

}  // namespace support
