#pragma once
// Files for the fuzz targets. Readers that take a path get the input through a file: an
// in-memory file for readers that open by path, and a scratch folder in which a file is replaced
// by rename, so that a reader caching a file by its identity always sees the new input.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzing {

// One in-memory file, rewritten for every input; its path opens it like any file.
class MemoryFile {
  public:
    MemoryFile() : fd(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
        if (fd < 0) {
            std::abort();
        }
    }
    ~MemoryFile() { ::close(fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void set(const void* data, std::size_t size) {
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
            std::abort();
        }
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd); }

  private:
    int fd;
};

// A folder of its own for the whole fuzzing run, removed when the process ends normally.
class ScratchFolder {
  public:
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/nyvex-fuzz.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        folder = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return folder; }

    // Puts `size` bytes under `name` as a new file renamed over the old one.
    std::string replace(const std::string& name, const void* data, std::size_t size) const {
        const std::filesystem::path target = folder / name;
        const std::filesystem::path next = folder / (name + ".next");
        {
            std::ofstream out(next, std::ios::binary | std::ios::trunc);
            out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        }
        std::filesystem::rename(next, target);
        return target.string();
    }

  private:
    std::filesystem::path folder;
};

}  // namespace fuzzing
