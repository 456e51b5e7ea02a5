#include "filechecker.h"

#include <fstream>

#include "platform/files.h"
#include "platform/text.h"

const std::u16string& CFileChecker::forbiddenCharacters() {
    static const std::u16string forbidden =
        u"<>:\"/\\|? *$%)([]{}=~\u00B2\u00B3\u00B5\u20AC#^\u00B0";
    return forbidden;
}

bool CFileChecker::isValidFileName(const std::string& name) {
    const std::u16string wide = platform::toUtf16(name);
    if (wide.size() < 3 || wide.size() > 17) {
        return false;
    }
    return wide.find_first_of(forbiddenCharacters()) == std::u16string::npos;
}

bool CFileChecker::hasSize(const std::string& path, std::uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    const auto actual = platform::fileSize(path);
    return actual && *actual == size;
}

std::string CFileChecker::folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool CFileChecker::folderExists(const std::string& path) {
    const std::string folder = folderOf(path);
    return !folder.empty() && platform::isDirectory(folder);
}
