#pragma once
// File-system helpers shared by the INI layer, the device memory and the file checks.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// The one way the station replaces a file it keeps (device memory, settings, lists, the world
// file): the new version is written to a temporary file beside it ("<path>.tmp-XXXXXX"), flushed
// to disk, renamed over the old one, and the rename itself flushed with the folder. Readers, and
// the file after a crash or a full disk, see the old or the new version, never a part of one.
// Written in pieces, so a large file needs no copy of itself in memory.
class AtomicFileWriter {
  public:
    explicit AtomicFileWriter(std::string path);
    // A version not committed goes: its temporary file is removed, the old file stays.
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False when the temporary file could not be made (error() says why).
    bool isOpen() const { return file >= 0; }
    bool write(const void* bytes, std::size_t size);
    // Puts the new version in place; false, with the old file untouched, when it cannot.
    bool commit();
    const std::string& error() const { return errorText; }

  private:
    bool fail(const std::string& what, int code);
    void discard();

    std::string target;
    std::string temporary;
    int file = -1;
    std::string errorText;
};

// Replaces `path` with `bytes` through an AtomicFileWriter. On failure the old file is
// untouched and `error` says why.
bool replaceFileAtomically(const std::string& path, const std::string& bytes,
                           std::string* error = nullptr);

// The temporary files that replacements of `path` left beside it when the process died before
// they were committed; removeLeftoverTemporaries removes them and returns their names. Call it at
// start, before anything writes `path`: a replacement under way would lose its temporary file.
std::vector<std::string> leftoverTemporaries(const std::string& path);
std::vector<std::string> removeLeftoverTemporaries(const std::string& path);
// Gives the file `path` a second name, `path + suffix`, or `path + suffix + ".2"`, ".3", …
// when that name is taken (a hard link: no copy, and a file kept before is never replaced).
// Whatever later replaces `path` leaves the file under its second name as it was. The second
// name, or nothing (`error` says why).
std::optional<std::string> keepUnderSecondName(const std::string& path, const std::string& suffix,
                                               std::string* error = nullptr);

// The process's current directory (no trailing separator), or nothing.
std::optional<std::string> currentDirectory();

}  // namespace platform
