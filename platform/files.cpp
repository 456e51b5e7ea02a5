#include "files.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

bool fail(std::string* error, const std::string& what, int code) {
    if (error) {
        *error = what + ": " + systemErrorText(code);
    }
    return false;
}
}  // namespace

bool replaceFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
    std::string temp = path + ".XXXXXX";
    FileDescriptor file(::mkstemp(temp.data()));
    if (!file.isOpen()) {
        return fail(error, "cannot create a temporary file beside " + path, errno);
    }
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    ::fchmod(file.get(), mode);
    const bool written =
        writeAll(file.get(), bytes.data(), bytes.size()) && ::fsync(file.get()) == 0;
    const int writeError = errno;
    if (!file.close() || !written) {
        ::unlink(temp.c_str());
        return fail(error, "cannot write " + temp, written ? errno : writeError);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temp.c_str());
        return fail(error, "cannot replace " + path, renameError);
    }
    return true;
}

std::optional<std::string> currentDirectory() {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) {
        return std::nullopt;
    }
    return std::string(buffer);
}

}  // namespace platform
