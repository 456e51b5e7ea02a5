#include "nameblocker.h"

#include "config/configstore.h"
#include "platform/text.h"
#include "support/logentry.h"

CNameBlocker::CNameBlocker() {
    setListName("nameblocks");
    blockCount = config::configCopy().getInt("numblocks", false);
    if (blockCount > maxBlockCount) {
        support::logError("numblocks " + std::to_string(blockCount) + " too large, list ignored",
                          support::typeTag(this));
        blockCount = 0;
    }
    for (std::int32_t n = 1; n <= blockCount; ++n) {
        declareKey(keyOf(n));
    }
    if (blockCount >= 1) {
        // Stops at the first missing key; it and the keys not read by then stay empty.
        load(0);
    }
}

bool CNameBlocker::isBlocked(const std::string& name) const {
    const std::string wanted = platform::trim(name);
    for (std::int32_t n = 1; n <= blockCount; ++n) {
        if (getValue4Key(keyOf(n)) == wanted) {
            return true;
        }
    }
    return false;
}
