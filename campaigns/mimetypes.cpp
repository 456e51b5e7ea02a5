#include "mimetypes.h"

#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace campag {

CMimeTypes::CMimeTypes(const std::string& tableFile) {
    std::ifstream in(tableFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string type;
        std::string extension;
        if (!(fields >> type)) {
            continue;
        }
        // The first line that names an extension decides its type.
        while (fields >> extension) {
            types.emplace(platform::toLowerAscii(extension), type);
        }
    }
}

std::string CMimeTypes::typeOf(const std::string& extension) const {
    if (extension.size() < 2 || extension.front() != '.') {
        return fallback;
    }
    const auto it = types.find(platform::toLowerAscii(extension.substr(1)));
    return it == types.end() ? std::string(fallback) : it->second;
}

const CMimeTypes& CMimeTypes::system() {
    static const CMimeTypes table("/etc/mime.types");
    return table;
}

}  // namespace campag
