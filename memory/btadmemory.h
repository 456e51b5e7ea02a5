#pragma once
// The memory of served devices: a table from a device's salted digest key to the moment it was
// served (an OLE date), persisted in one archive file. The back office owns it and serialises
// every call under its own lock; the table itself has no lock.
//
// Archive format (little-endian, no header): record count as 16 bits, or 0xFFFF followed by
// 32 bits from 65535 records on; then per record the key as a tagged UTF-16 string (FF FE FF,
// length, code units) and the stamp as an 8-byte double and a 32-bit status. Records are
// written in the order of a 17-bucket hash table, each bucket newest first, so the same table
// always gives the same bytes; readers accept any order and 8-bit key strings too.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace backo {

// An OLE automation date (days since 30 December 1899, local time) with its status.
struct OleStamp {
    enum Status : std::int32_t { valid = 0, invalid = 1, null = 2 };
    double date = 0;
    std::int32_t status = valid;
};

class CBtAdMemory {
  public:
    static constexpr double oneMinute = 1.0 / 1440.0;

    CBtAdMemory() = default;
    virtual ~CBtAdMemory() = default;
    CBtAdMemory(const CBtAdMemory&) = delete;
    CBtAdMemory& operator=(const CBtAdMemory&) = delete;

    void setPath(const std::string& path) { archivePath = path; }
    const std::string& path() const { return archivePath; }

    // Adds the records of the archive file to the table. False when the file is missing,
    // unreadable or damaged; the complete records before the damage are kept. Does not touch
    // the changed mark.
    bool load();
    // Writes the whole table when it changed; true only when it wrote. The file is replaced
    // through a temporary file in the same folder, so a failed save leaves the previous archive
    // intact and keeps the table marked changed.
    bool saveIfChanged();

    // Remembers `key` as served now unless it is remembered already; true when it was added.
    bool addIfAbsent(const std::string& key);
    // True when `key` is remembered. Polite: a device seen again is left alone one minute
    // longer each time it is looked up.
    bool lookup(const std::string& key, bool polite);
    // Forgets every device served more than `limitDays` ago, compared in whole seconds; an
    // entry exactly as old as the limit stays, one stamped in the future always stays.
    void purgeOlderThan(double limitDays);
    int count() const { return static_cast<int>(table.size()); }
    // Forgets everything and marks the table changed, so the cleared state gets saved.
    void removeAll();

    bool isChanged() const { return changed; }
    std::optional<OleStamp> stampOf(const std::string& key) const;
    // Why the last load or save failed.
    const std::string& lastError() const { return errorText; }

    // The archive bytes of the table as it is now.
    std::string serialize() const;

  private:
    struct Entry {
        OleStamp stamp;
        std::uint64_t sequence;  // insertion order, for the order of the written file
    };

    void remember(std::u16string key, const OleStamp& stamp);

    std::unordered_map<std::u16string, Entry> table;
    std::uint64_t nextSequence = 0;
    bool changed = false;
    std::string archivePath;
    std::string errorText;
};

// The current local time, whole seconds, as an OLE date.
OleStamp oleNow();
// A span of days in whole seconds, rounded half away from zero.
double wholeSeconds(double days);

}  // namespace backo
