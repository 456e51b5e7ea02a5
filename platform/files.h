#pragma once
// File-system helpers shared by the INI layer, the device memory and the file checks.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
std::optional<std::uint64_t> fileSize(const std::string& path);
// The whole file, or nothing when it cannot be read (then `error` says why).
std::optional<std::string> readFile(const std::string& path, std::string* error = nullptr);

// Writes all of `size` bytes to `fd`, continuing after partial writes and interruptions.
bool writeAll(int fd, const void* data, std::size_t size);
// The same for a socket, without the SIGPIPE of a peer that has gone.
bool sendAll(int socket, const void* data, std::size_t size);

// Replaces `path` with `bytes` through a temporary file in the same folder that is flushed to
// disk and renamed over the target: readers see the old or the new file, never a part of it.
// On failure the old file is untouched, the temporary file is removed and `error` says why.
bool replaceFileAtomically(const std::string& path, const std::string& bytes,
                           std::string* error = nullptr);

// The process's current directory (no trailing separator), or nothing.
std::optional<std::string> currentDirectory();

}  // namespace platform
