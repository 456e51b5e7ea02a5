#pragma once
// The memory of served devices: a table from a device's salted digest key to the moment it was
// served (an OLE date), persisted in one archive file. The back office owns it and serialises
// every call under its own lock; the table itself has no lock. So that the lock is held only
// for a copy and not for the disk, a save can be split in three: takeSnapshot() under the lock,
// Snapshot::write() without it, then markSaved(), which needs no lock.
//
// Archive format (little-endian, no header): record count as 16 bits, or 0xFFFF followed by
// 32 bits from 65535 records on; then per record the key as a tagged UTF-16 string (FF FE FF,
// length, code units) and the stamp as an 8-byte double and a 32-bit status. Records are
// written in the order of a 17-bucket hash table, each bucket newest first, so the same table
// always gives the same bytes; readers accept any order and 8-bit key strings too.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace backo {

// An OLE automation date (days since 30 December 1899, local time) with its status.
struct OleStamp {
    enum Status : std::int32_t { valid = 0, invalid = 1, null = 2 };
    double date = 0;
    std::int32_t status = valid;
};

// The table's records as the archive orders them, and the table around them; both are
// defined with the table's code.
struct DeviceRecords;
class DeviceTable;

class CBtAdMemory {
  public:
    static constexpr double oneMinute = 1.0 / 1440.0;

    // A copy of the table as it was at one moment, written while the table goes on changing.
    // Kept from one save to the next, so a save copies into storage it already holds.
    class Snapshot {
      public:
        Snapshot();
        ~Snapshot();
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;

        // The table's change count when the copy was taken, for markSaved().
        std::uint64_t generation() const { return takenAt; }
        // Replaces the archive `path` with the copy through a temporary file in the same
        // folder, flushed to disk and renamed over it. On failure the old archive is untouched
        // and `error` says why.
        bool write(const std::string& path, std::string& error) const;

      private:
        friend class CBtAdMemory;
        std::unique_ptr<DeviceRecords> copy;
        std::uint64_t takenAt = 0;
    };

    CBtAdMemory();
    virtual ~CBtAdMemory();
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

    // Copies the table into `snapshot`, for writing it without the owner's lock.
    void takeSnapshot(Snapshot& snapshot) const;
    // A snapshot of `generation` is on disk: the table counts as unchanged unless it changed
    // after that snapshot was taken. The one call that may run while another thread holds the
    // owner's lock and changes the table.
    void markSaved(std::uint64_t generation);

    // Remembers `key` as served now unless it is remembered already; true when it was added.
    bool addIfAbsent(const std::string& key);
    // True when `key` is remembered. Polite: a device seen again is left alone one minute
    // longer each time it is looked up.
    bool lookup(const std::string& key, bool polite);
    // Forgets every device served more than `limitDays` ago, compared in whole seconds; an
    // entry exactly as old as the limit stays, one stamped in the future always stays.
    void purgeOlderThan(double limitDays);
    int count() const;
    // Forgets everything and marks the table changed, so the cleared state gets saved.
    void removeAll();

    bool isChanged() const { return changes != savedChanges.load(std::memory_order_acquire); }
    std::optional<OleStamp> stampOf(const std::string& key) const;
    // Why the last load or save failed.
    const std::string& lastError() const { return errorText; }

    // The archive bytes of the table as it is now.
    std::string serialize() const;

  private:
    std::unique_ptr<DeviceTable> table;
    // Every change counts one up; the table is unchanged while the count is the one of the
    // last snapshot that reached the disk.
    std::uint64_t changes = 0;
    std::atomic<std::uint64_t> savedChanges{0};
    std::string archivePath;
    std::string errorText;
};

// The current local time, whole seconds, as an OLE date.
OleStamp oleNow();
// A span of days in whole seconds, rounded half away from zero.
double wholeSeconds(double days);

}  // namespace backo
