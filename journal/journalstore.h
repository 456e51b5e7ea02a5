#pragma once
// The outcome journal's file: an SQLite database in WAL mode (crash-safe; readers, such as the
// statistics window or a report, never wait for the station that writes). The schema carries
// its version; a journal written by a newer version is refused and never touched. The queries
// read the totals the database keeps beside the rows (per hour and outcome, per day and
// campaign or manufacturer) and only the rows of the hours or days a range covers in part, so
// a year of a busy station answers at once and every answer is exact to the second.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "journal/journalentry.h"

struct sqlite3;

namespace journal {

// The journal's file in the station folder.
constexpr const char* journalFileName = "journal.sqlite";

// The first and last second of a query, both included (seconds since 1970, UTC).
struct TimeRange {
    std::int64_t from = 0;
    std::int64_t until = 0;
};

// Pushes of one outcome in the hour that starts at `hour` (seconds since 1970, UTC).
struct HourCount {
    std::int64_t hour = 0;
    Outcome outcome = Outcome::delivered;
    std::int64_t pushes = 0;

    bool operator==(const HourCount&) const = default;
};

// Push attempts and deliveries of one campaign or manufacturer. A delivery is a push whose
// outcome is `delivered`, or a range test whose picture arrived (Entry::delivered).
struct Rate {
    std::string name;
    std::int64_t pushes = 0;
    std::int64_t delivered = 0;
    std::uint64_t bytes = 0;

    bool operator==(const Rate&) const = default;
};

enum class Grouping { campaign, manufacturer };

class CJournalStore {
  public:
    enum class Access { readWrite, readOnly };

    CJournalStore();
    ~CJournalStore();
    CJournalStore(const CJournalStore&) = delete;
    CJournalStore& operator=(const CJournalStore&) = delete;

    // Opens (readWrite: creates) the journal at `path`. False with problem() set when the file
    // cannot be opened or created, is not a journal, is damaged, or was written by a newer
    // version (then it is left exactly as it was).
    bool open(const std::string& path, Access access);
    bool isOpen() const;
    // What went wrong last, in words for the operator; empty when nothing did.
    const std::string& problem() const;

    // Adds the entries in one transaction; false (problem() set, nothing added) on failure.
    bool append(std::span<const Entry> entries);
    // Removes at most `limit` of the oldest entries older than `before`; the number removed, or
    // -1 on failure.
    int removeOlderThan(std::int64_t before, int limit);

    // Per hour and outcome, hours without pushes left out, ordered by hour and outcome. An hour
    // the range covers in part counts only its pushes inside the range. A journal written by a
    // later version may hold outcomes this one does not know (see allOutcomes).
    std::vector<HourCount> hourly(TimeRange range) const;
    // Per campaign or manufacturer, ordered by name.
    std::vector<Rate> rates(TimeRange range, Grouping grouping) const;
    // Every entry in the range, oldest first; `visit` returns false to stop.
    bool forEachEntry(TimeRange range, const std::function<bool(const Entry&)>& visit) const;
    std::int64_t entryCount() const;
    // Runs the reads one after the other in one read transaction, so all of them see the
    // journal as it was at the first while a station goes on writing. Stops at the first read
    // that fails: false with its problem() kept.
    bool readTogether(std::initializer_list<std::function<void()>> reads) const;

  private:
    struct Statements;
    int prepare(sqlite3* handle, const std::string& path, Access access);
    int makeStatements(sqlite3* handle);
    bool insert(const Entry& entry);
    void forgetLookups();
    bool fail(int code) const;

    sqlite3* db = nullptr;
    std::unique_ptr<Statements> statements;
    mutable std::string lastProblem;
};

}  // namespace journal
