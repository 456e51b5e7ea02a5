#pragma once
// Entries for the journal's tests: a small varied day, and a journal damaged where only its
// queries notice.

#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "journal/journalentry.h"
#include "journal/journalstore.h"

namespace journal_testing {

// 2026-03-02 00:00:00 UTC, a Monday.
constexpr std::int64_t dayStart = 1772409600;

// The salted key of device `n`: 32 lower-case hexadecimal digits.
inline std::string keyOf(int n) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string key;
    std::uint64_t value = 0x9e3779b97f4a7c15ULL * static_cast<std::uint64_t>(n + 1);
    for (int i = 0; i < 32; ++i) {
        key += digits[(value >> ((i % 16) * 4)) & 0xF];
        if (i == 15) {
            value = ~value;
        }
    }
    return key;
}

inline journal::Entry entryAt(std::int64_t time, journal::Outcome outcome, int n = 0) {
    static const char* const campaigns[] = {"Spring sale", "Menu, \"today\"", "Café Ø"};
    static const char* const makers[] = {"Apple", "Samsung", "Nokia", ""};
    journal::Entry entry;
    entry.time = time;
    entry.campaign = campaigns[n % 3];
    entry.sendName = n % 2 ? "offer.jpg" : "menu\nnew.png";
    entry.deviceKey = keyOf(n);
    entry.manufacturer = makers[n % 4];
    entry.outcome = outcome;
    entry.delivered = outcome == journal::Outcome::delivered ||
                      (outcome == journal::Outcome::rangeTest && n % 2 == 0);
    entry.packets = n % 7;
    entry.bytes = static_cast<std::uint64_t>(n) * 1000 + 17;
    entry.durationMs = static_cast<std::uint32_t>(n * 13);
    entry.radio = n % 5 ? "nyvex-1" : "radio 2";
    return entry;
}

// Entries spread over a day and the next, every outcome, several per hour, some on the same
// second, in time order.
inline std::vector<journal::Entry> sampleEntries(int count = 300) {
    std::vector<journal::Entry> entries;
    for (int n = 0; n < count; ++n) {
        const std::int64_t time = dayStart + n * 577 - (n % 4 == 1 ? 577 : 0);
        entries.push_back(entryAt(time, journal::allOutcomes[n % journal::allOutcomes.size()], n));
    }
    return entries;
}

// Overwrites the first page of `table` in the closed journal at `path` with garbage: the journal
// still opens, and fails the queries that read that table.
inline bool damageTable(const std::string& path, const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_stmt* query = nullptr;
    std::int64_t page = 0, pageSize = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db,
                           "SELECT rootpage, (SELECT page_size FROM pragma_page_size) "
                           "FROM sqlite_schema WHERE name = ?",
                           -1, &query, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(query, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(query) == SQLITE_ROW) {
            page = sqlite3_column_int64(query, 0);
            pageSize = sqlite3_column_int64(query, 1);
        }
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    if (page < 2 || pageSize <= 0) {
        return false;
    }
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp((page - 1) * pageSize);
    file << std::string(static_cast<std::size_t>(pageSize), '\x5a');
    return static_cast<bool>(file);
}

}  // namespace journal_testing
