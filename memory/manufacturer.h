#pragma once
// Names the maker of a Bluetooth device from the top 24 bits of its address (the OUI), looked
// up in the manufacturer data file that ships beside the program.
//
// The file is UTF-16LE text of records "resource_STRING%09d" name "resource_END%09d". A lookup
// searches it in overlapping windows of 18009 bytes, 9000 bytes apart, and takes the first
// window that holds both markers of the OUI; that window rule decides which of several records
// wins and bounds a record to about 4500 characters. Opening the file indexes where the start
// markers stand, so a lookup reads only the windows that can hold its record and an unknown OUI
// costs no reading at all; the names are the same as a search of every window would give.
//
// After open(), nameOf() may be called from several threads at once (reads are positional and
// the cache has its own short lock); open() itself must not run concurrently with lookups.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/filedescriptor.h"

class CManufacturer {
  public:
    static constexpr std::uint64_t chunkSize = 9000;
    static constexpr std::size_t windowBytes = 2 * chunkSize + 9;
    static constexpr std::size_t nameCut = 18;
    static constexpr const char* unreadable = "?";
    static constexpr const char* outOfMemory = "memex";

    CManufacturer() = default;
    virtual ~CManufacturer();
    CManufacturer(const CManufacturer&) = delete;
    CManufacturer& operator=(const CManufacturer&) = delete;

    // Opens the data file for reading. Never throws: on failure the table stays closed and
    // every lookup gives "?".
    void open(const std::string& path);
    bool isOpen() const { return file.isOpen(); }

    // The name of `oui` cut to its first 18 UTF-16 code units; the empty name when the file
    // has no record for it, "?" when the file cannot be read, "memex" when memory runs out.
    std::string nameOf(std::uint32_t oui);

  protected:
    // Reads up to `size` bytes at `offset` and returns how many were read (0 at the end).
    // Throws std::system_error when the file cannot be read. Tests replace it to inject faults.
    virtual std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size);

  private:
    void close();
    void buildIndex();
    std::vector<std::uint64_t> candidateWindows(std::uint32_t oui) const;
    std::u16string search(std::uint32_t oui);
    bool searchWindow(std::uint64_t position, const std::u16string& startMarker,
                      const std::u16string& endMarker, std::u16string& name, bool& atEnd);

    platform::FileDescriptor file;
    bool indexed = false;
    std::unordered_map<std::uint32_t, std::vector<std::uint64_t>> startMarkerOffsets;
    std::mutex cacheLock;
    std::unordered_map<std::uint32_t, std::u16string> cache;
};
