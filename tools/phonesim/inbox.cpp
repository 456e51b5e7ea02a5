#include "tools/phonesim/inbox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/files.h"

namespace phonesim {

namespace {

// Longest file name the file systems we run on take, in bytes.
constexpr std::size_t maxNameBytes = 255;

bool hasControlCharacter(const std::string& name) {
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string compactAddress(std::uint64_t address) {
    char text[13];
    std::snprintf(text, sizeof text, "%012llX",
                  static_cast<unsigned long long>(address & 0xFFFFFFFFFFFFULL));
    return text;
}

std::optional<std::string> nameProblem(const std::string& name) {
    if (name.empty()) {
        return "empty name";
    }
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        return "name with a path separator";
    }
    if (name.find("..") != std::string::npos) {
        return "name with \"..\"";
    }
    if (name.front() == '.') {
        return "hidden name";
    }
    if (hasControlCharacter(name)) {
        return "name with control characters";
    }
    if (name.size() > maxNameBytes) {
        return "name too long";
    }
    return std::nullopt;
}

IncomingObject::IncomingObject(const std::filesystem::path& f) : folder(f) {
    // A leading dot keeps the unfinished object out of sight, and no acceptable name starts
    // with one, so a finished object never collides with an unfinished one.
    std::string pattern = (folder / ".incoming-XXXXXX").string();
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot create a file in " + folder.string());
    }
    temporary = pattern;
}

IncomingObject::~IncomingObject() {
    if (fd >= 0) {
        ::close(fd);
    }
    if (!stored) {
        ::unlink(temporary.c_str());
    }
}

bool IncomingObject::append(std::span<const std::uint8_t> bytes) {
    if (!platform::writeAll(fd, bytes.data(), bytes.size())) {
        return false;
    }
    written += bytes.size();
    return true;
}

bool IncomingObject::store(const std::string& name) {
    // The temporary file was made private; the stored object is an ordinary readable file.
    ::fchmod(fd, 0644);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        return false;
    }
    stored = ::rename(temporary.c_str(), (folder / name).c_str()) == 0;
    return stored;
}

}  // namespace phonesim
