// The operator texts file "resource.xml": any bytes load into a table or end in the loader's own
// exception, and no text is longer than the cut.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzzfiles.h"
#include "platform/text.h"
#include "support/resomap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzing::MemoryFile file;
    file.set(data, size);
    CResoMap texts;
    try {
        texts.load(file.path());
    } catch (const CResoException&) {
        // a damaged file stops the start-up with its message; the texts read so far stay
    }
    std::string text;
    texts.lookup("ok__", text);
    if (platform::toUtf16(text).size() > CResoMap::maxTextLength) {
        std::abort();
    }
    return 0;
}
