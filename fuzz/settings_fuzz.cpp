// The settings reader: an INI file as an operator or Windows may have left it, in UTF-8 or, when
// the first byte is odd, as UTF-16LE with its byte-order mark (the rest of the input taken as
// UTF-8 text). Every section, key and value is read as the station reads them, and a value the
// station writes into such a file must read back.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzzfiles.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace {

std::string fileBytes(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((data[0] & 1) == 0) {
        return text;
    }
    return "\xFF\xFE" + platform::toUtf16leBytes(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFolder folder;
    if (size == 0) {
        return 0;
    }
    const std::string bytes = fileBytes(data, size);
    const std::string file = folder.replace("appTolvik.ini", bytes.data(), bytes.size());
    namespace profile = platform::profile;
    for (const std::string& section : profile::sections(file)) {
        for (const std::string& key : profile::keys(file, section)) {
            const std::string value = profile::read(file, section, key, "default");
            platform::parseLeadingInt32(value);
            platform::parseLeadingInt64(value);
        }
    }
    if (!profile::write(file, "Tolvik", "archfile", "memory.arc") ||
        profile::read(file, "Tolvik", "archfile", "") != "memory.arc") {
        std::abort();
    }
    return 0;
}
