#include "files.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "filedescriptor.h"
#include "system.h"

namespace platform {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::string> readFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::ostringstream content;
        content << in.rdbuf();
        if (!in.bad()) {
            return content.str();
        }
    }
    if (error) {
        *error = systemErrorText(errno);
    }
    return std::nullopt;
}

namespace {

// The one loop behind writeAll and sendAll: `step` writes some of the bytes left and says how
// many, or fails.
template <typename Step>
bool writeInSteps(const void* data, std::size_t size, Step step) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = step(bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool writeAll(int fd, const void* data, std::size_t size) {
    return writeInSteps(
        data, size, [fd](const char* from, std::size_t count) { return ::write(fd, from, count); });
}

bool sendAll(int socket, const void* data, std::size_t size) {
    return writeInSteps(data, size, [socket](const char* from, std::size_t count) {
        return ::send(socket, from, count, MSG_NOSIGNAL);
    });
}

namespace {

constexpr const char* temporaryInfix = ".tmp-";
constexpr std::size_t temporaryTailLength = 6;  // the characters mkstemp puts for XXXXXX

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isTemporaryTail(std::string_view tail) {
    return tail.size() == temporaryTailLength && std::all_of(tail.begin(), tail.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

// The rename is a change of the folder: flushing the folder makes it survive a power loss.
// File systems that cannot flush a folder (EINVAL) keep it as well as they can.
void flushFolder(const std::string& path) {
    const FileDescriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isOpen()) {
        ::fsync(folder.get());
    }
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string path)
    : target(std::move(path)), temporary(target + temporaryInfix + "XXXXXX") {
    file = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (file < 0) {
        fail("cannot create a temporary file beside " + target, errno);
        return;
    }
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    ::fchmod(file, mode);
}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

bool AtomicFileWriter::write(const void* bytes, std::size_t size) {
    if (file < 0) {
        return false;
    }
    return writeAll(file, bytes, size) || fail("cannot write " + temporary, errno);
}

bool AtomicFileWriter::commit() {
    if (file < 0) {
        return false;
    }
    if (::fsync(file) != 0) {
        const int flushError = errno;
        discard();
        return fail("cannot write " + temporary, flushError);
    }
    const int closed = ::close(std::exchange(file, -1));
    const int closeError = errno;
    if (closed != 0) {
        ::unlink(temporary.c_str());
        return fail("cannot write " + temporary, closeError);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        return fail("cannot replace " + target, renameError);
    }
    flushFolder(target);
    return true;
}

bool AtomicFileWriter::fail(const std::string& what, int code) {
    errorText = what + ": " + systemErrorText(code);
    return false;
}

void AtomicFileWriter::discard() {
    if (file >= 0) {
        ::close(std::exchange(file, -1));
        ::unlink(temporary.c_str());
    }
}

bool replaceFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
    AtomicFileWriter writer(path);
    if (writer.write(bytes.data(), bytes.size()) && writer.commit()) {
        return true;
    }
    if (error) {
        *error = writer.error();
    }
    return false;
}

std::vector<std::string> leftoverTemporaries(const std::string& path) {
    const std::string prefix = nameOf(path) + temporaryInfix;
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf(path), error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) &&
            isTemporaryTail(std::string_view(name).substr(prefix.size())) &&
            entry.is_regular_file(error)) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

std::vector<std::string> removeLeftoverTemporaries(const std::string& path) {
    std::vector<std::string> removed;
    for (const std::string& leftover : leftoverTemporaries(path)) {
        if (::unlink(leftover.c_str()) == 0) {
            removed.push_back(leftover);
        }
    }
    return removed;
}

namespace {

void describeFailure(std::string* error, const std::string& what, int code) {
    if (error) {
        *error = what + ": " + systemErrorText(code);
    }
}

}  // namespace

std::optional<std::string> keepUnderSecondName(const std::string& path, const std::string& suffix,
                                               std::string* error) {
    constexpr int tries = 1000;
    for (int n = 1; n <= tries; ++n) {
        const std::string second = path + suffix + (n == 1 ? "" : "." + std::to_string(n));
        if (::link(path.c_str(), second.c_str()) == 0) {
            return second;
        }
        if (errno != EEXIST) {
            describeFailure(error, "cannot link " + second + " to " + path, errno);
            return std::nullopt;
        }
    }
    describeFailure(error, "no free name beside " + path, EEXIST);
    return std::nullopt;
}

std::optional<std::string> currentDirectory() {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) {
        return std::nullopt;
    }
    return std::string(buffer);
}

}  // namespace platform
