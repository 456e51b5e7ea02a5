#include "system.h"

#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace platform {

std::optional<std::string> computerName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') {
        return std::nullopt;
    }
    return std::string(buffer);
}

std::optional<std::string> userName() {
    passwd entry{};
    passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 ||
        result == nullptr || result->pw_name == nullptr || result->pw_name[0] == '\0') {
        return std::nullopt;
    }
    return std::string(result->pw_name);
}

std::string systemErrorText(int errorNumber) {
    char buffer[256] = {};
    // GNU strerror_r returns the text, which may or may not live in `buffer`.
    return std::string(::strerror_r(errorNumber, buffer, sizeof buffer));
}

namespace {
std::filesystem::path programFile() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec);
}
}  // namespace

std::string programFolder() {
    return programFile().parent_path().string();
}

std::string programName() {
    return programFile().stem().string();
}

}  // namespace platform
