#pragma once
// Owns one open file descriptor (a file, a socket, a pipe end) and closes it when it goes, so
// that no early return leaves one open.

#include <unistd.h>

#include <utility>

namespace platform {

class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            close();
            fd = other.release();
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd; }
    bool isOpen() const { return fd >= 0; }
    // Closes it now; false when the system reported an error (a write that failed late).
    bool close() {
        if (fd < 0) {
            return true;
        }
        return ::close(std::exchange(fd, -1)) == 0;
    }
    // Hands the descriptor to the caller, who closes it.
    int release() { return std::exchange(fd, -1); }

  private:
    int fd = -1;
};

}  // namespace platform
