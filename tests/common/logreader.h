#pragma once
// Reads the UTF-16LE error log (by default this program's, in the current directory) as UTF-8.

#include <string>

#include "platform/files.h"
#include "platform/text.h"
#include "support/errlog.h"

namespace testing_support {

// UTF-16LE bytes as UTF-8 text; a trailing odd byte is ignored.
inline std::string decodeUtf16le(const std::string& bytes) {
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return platform::toUtf8(wide);
}

inline std::string errorLogText(const std::string& folder = ".",
                                const std::string& logName = CErrLog1::logFileName()) {
    return decodeUtf16le(platform::readFile(folder + "/" + logName).value_or(""));
}

}  // namespace testing_support
