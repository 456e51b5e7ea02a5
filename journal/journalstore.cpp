#include "journal/journalstore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

namespace journal {

namespace {

constexpr int schemaVersion = 1;
constexpr int busyTimeoutMs = 300;
constexpr std::int64_t secondsPerHour = 3600;
constexpr std::int64_t secondsPerDay = 86400;

// Texts are kept once in small lookup tables; a row holds their numbers, the device key as 16
// bytes and the time as whole seconds, which keeps a row near 50 bytes. Beside the rows the
// journal keeps totals: pushes per hour and outcome (the chart), and pushes, deliveries and
// bytes per day and campaign and per day and manufacturer (the success rates). The triggers
// keep them in step with every row added or removed, retention included. Totals per hour,
// campaign, manufacturer and outcome at once would hold nearly as many rows as the journal at
// a busy station, and a year of them could not be summed at once.
constexpr const char* schema = R"sql(
CREATE TABLE campaigns(id INTEGER PRIMARY KEY, campaign TEXT NOT NULL, sendName TEXT NOT NULL,
                       UNIQUE(campaign, sendName));
CREATE TABLE manufacturers(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE radios(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE entries(time INTEGER NOT NULL, campaign INTEGER NOT NULL, device BLOB,
                     manufacturer INTEGER NOT NULL, outcome INTEGER NOT NULL,
                     delivered INTEGER NOT NULL, packets INTEGER NOT NULL,
                     bytes INTEGER NOT NULL, duration INTEGER NOT NULL, radio INTEGER NOT NULL);
CREATE INDEX entriesByTime ON entries(time);
CREATE TABLE hourOutcomes(hour INTEGER NOT NULL, outcome INTEGER NOT NULL,
                          pushes INTEGER NOT NULL, PRIMARY KEY(hour, outcome)) WITHOUT ROWID;
CREATE TABLE dayCampaigns(day INTEGER NOT NULL, campaign INTEGER NOT NULL,
                          pushes INTEGER NOT NULL, delivered INTEGER NOT NULL,
                          bytes INTEGER NOT NULL, PRIMARY KEY(day, campaign)) WITHOUT ROWID;
CREATE TABLE dayManufacturers(day INTEGER NOT NULL, manufacturer INTEGER NOT NULL,
                              pushes INTEGER NOT NULL, delivered INTEGER NOT NULL,
                              bytes INTEGER NOT NULL, PRIMARY KEY(day, manufacturer))
                              WITHOUT ROWID;
CREATE TRIGGER entryAdded AFTER INSERT ON entries BEGIN
    INSERT INTO hourOutcomes VALUES(new.time - ((new.time % 3600) + 3600) % 3600, new.outcome, 1)
    ON CONFLICT DO UPDATE SET pushes = pushes + 1;
    INSERT INTO dayCampaigns VALUES(new.time - ((new.time % 86400) + 86400) % 86400,
                                    new.campaign, 1, new.outcome = 0 OR new.delivered <> 0,
                                    new.bytes)
    ON CONFLICT DO UPDATE SET pushes = pushes + 1, delivered = delivered + excluded.delivered,
                              bytes = bytes + excluded.bytes;
    INSERT INTO dayManufacturers VALUES(new.time - ((new.time % 86400) + 86400) % 86400,
                                        new.manufacturer, 1,
                                        new.outcome = 0 OR new.delivered <> 0, new.bytes)
    ON CONFLICT DO UPDATE SET pushes = pushes + 1, delivered = delivered + excluded.delivered,
                              bytes = bytes + excluded.bytes;
END;
CREATE TRIGGER entryRemoved AFTER DELETE ON entries BEGIN
    UPDATE hourOutcomes SET pushes = pushes - 1
    WHERE hour = old.time - ((old.time % 3600) + 3600) % 3600 AND outcome = old.outcome;
    DELETE FROM hourOutcomes
    WHERE hour = old.time - ((old.time % 3600) + 3600) % 3600 AND outcome = old.outcome
      AND pushes <= 0;
    UPDATE dayCampaigns SET pushes = pushes - 1,
                            delivered = delivered - (old.outcome = 0 OR old.delivered <> 0),
                            bytes = bytes - old.bytes
    WHERE day = old.time - ((old.time % 86400) + 86400) % 86400 AND campaign = old.campaign;
    DELETE FROM dayCampaigns
    WHERE day = old.time - ((old.time % 86400) + 86400) % 86400 AND campaign = old.campaign
      AND pushes <= 0;
    UPDATE dayManufacturers SET pushes = pushes - 1,
                                delivered = delivered - (old.outcome = 0 OR old.delivered <> 0),
                                bytes = bytes - old.bytes
    WHERE day = old.time - ((old.time % 86400) + 86400) % 86400
      AND manufacturer = old.manufacturer;
    DELETE FROM dayManufacturers
    WHERE day = old.time - ((old.time % 86400) + 86400) % 86400
      AND manufacturer = old.manufacturer AND pushes <= 0;
END;
)sql";

// A query over [from, until] reads the totals of the whole hours or days inside it (from ?3
// to before ?4) and the rows of the hours or days it only partly covers: from ?1 to ?5 before
// them and from ?6 to ?2 after them. Its answer is exact to the second.
std::string partRows(const std::string& columns) {
    return "SELECT " + columns + " FROM entries WHERE time BETWEEN ?1 AND ?5 UNION ALL SELECT " +
           columns + " FROM entries WHERE time BETWEEN ?6 AND ?2";
}

const std::string hourlyQuery =
    "SELECT hour, outcome, sum(pushes) FROM ("
    "SELECT hour, outcome, pushes FROM hourOutcomes WHERE hour >= ?3 AND hour < ?4 UNION ALL " +
    partRows("time - ((time % 3600) + 3600) % 3600, outcome, 1") +
    ") GROUP BY hour, outcome ORDER BY hour, outcome";

// Per campaign or manufacturer number first, then per name: one campaign may have been sent
// under several send names.
std::string ratesQuery(const std::string& column, const std::string& totals,
                       const std::string& names, const std::string& nameColumn) {
    return "SELECT n." + nameColumn + ", sum(t.p), sum(t.d), sum(t.b) FROM (SELECT " + column +
           " AS id, sum(pushes) AS p, sum(delivered) AS d, sum(bytes) AS b FROM (SELECT " + column +
           ", pushes, delivered, bytes FROM " + totals +
           " WHERE day >= ?3 AND day < ?4 UNION ALL " +
           partRows(column + ", 1, (outcome = 0 OR delivered <> 0), bytes") + ") GROUP BY " +
           column + ") AS t JOIN " + names + " AS n ON n.id = t.id GROUP BY n." + nameColumn +
           " ORDER BY n." + nameColumn;
}

const std::string campaignRatesQuery =
    ratesQuery("campaign", "dayCampaigns", "campaigns", "campaign");
const std::string manufacturerRatesQuery =
    ratesQuery("manufacturer", "dayManufacturers", "manufacturers", "name");
constexpr const char* entriesQuery =
    "SELECT e.time, c.campaign, c.sendName, e.device, m.name, e.outcome, e.delivered, "
    "e.packets, e.bytes, e.duration, r.name FROM entries AS e "
    "JOIN campaigns AS c ON c.id = e.campaign JOIN manufacturers AS m ON m.id = e.manufacturer "
    "JOIN radios AS r ON r.id = e.radio WHERE e.time BETWEEN ?1 AND ?2 ORDER BY e.time, e.rowid";
constexpr const char* insertQuery = "INSERT INTO entries VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr const char* removeQuery =
    "DELETE FROM entries WHERE rowid IN "
    "(SELECT rowid FROM entries WHERE time < ?1 ORDER BY time LIMIT ?2)";

std::int64_t startOf(std::int64_t time, std::int64_t period) {
    return time - ((time % period) + period) % period;
}

// The key's 32 hexadecimal digits as 16 bytes; none for anything else, which is then not
// stored at all: the journal never keeps a text that might be an address or a name.
std::optional<std::string> keyBytes(const std::string& key) {
    if (key.size() != 32) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < key.size(); i += 2) {
        int value = 0;
        for (const char c : key.substr(i, 2)) {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
    }
    return bytes;
}

std::string keyText(const void* bytes, int size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    const auto* data = static_cast<const unsigned char*>(bytes);
    for (int i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

std::string columnText(sqlite3_stmt* statement, int column) {
    const auto* text = sqlite3_column_text(statement, column);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// A prepared statement, finalised when it goes.
class Statement {
  public:
    Statement() = default;
    Statement(sqlite3* db, const std::string& sql) {
        sqlite3_stmt* made = nullptr;
        sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &made, nullptr);
        handle.reset(made);
    }

    sqlite3_stmt* get() const { return handle.get(); }
    explicit operator bool() const { return handle != nullptr; }

  private:
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    std::unique_ptr<sqlite3_stmt, Finalize> handle;
};

// Resets a statement when a use of it ends, however it ends.
class Use {
  public:
    explicit Use(sqlite3_stmt* statement) : statement(statement) {}
    ~Use() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

  private:
    sqlite3_stmt* statement;
};

// The range, and the whole hours or days (`period`) inside it.
void bindRange(sqlite3_stmt* statement, TimeRange range, std::int64_t period) {
    sqlite3_bind_int64(statement, 1, range.from);
    sqlite3_bind_int64(statement, 2, range.until);
    const std::int64_t firstWhole = startOf(range.from + period - 1, period);
    const std::int64_t endOfWhole = startOf(range.until + 1, period);
    sqlite3_bind_int64(statement, 3, firstWhole);
    sqlite3_bind_int64(statement, 4, endOfWhole);
    // Inside a single period nothing is whole, and every row is read before it.
    sqlite3_bind_int64(statement, 5, std::min(range.until, firstWhole - 1));
    sqlite3_bind_int64(statement, 6, std::max({range.from, firstWhole, endOfWhole}));
}

// `path` as the path of a "file:" name: the characters that would end it escaped.
std::string uriPath(const std::string& path) {
    std::string escaped;
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static constexpr char digits[] = "0123456789ABCDEF";
            escaped += '%';
            escaped += digits[static_cast<unsigned char>(c) >> 4];
            escaped += digits[c & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string folderOf(const std::string& path) {
    const auto folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

}  // namespace

struct CJournalStore::Statements {
    Statement insert, remove, hourly, campaignRates, manufacturerRates, entries;
    Statement findCampaign, addCampaign, findManufacturer, addManufacturer, findRadio, addRadio;
    // The numbers of the texts already looked up, so a batch asks the database once per text.
    std::map<std::pair<std::string, std::string>, std::int64_t> campaignIds;
    std::map<std::string, std::int64_t> manufacturerIds, radioIds;
};

CJournalStore::CJournalStore() = default;

CJournalStore::~CJournalStore() {
    statements.reset();
    sqlite3_close_v2(db);
}

bool CJournalStore::isOpen() const {
    return db != nullptr;
}

const std::string& CJournalStore::problem() const {
    return lastProblem;
}

namespace {

std::string cannotOpen(const std::string& path, int error) {
    if (!fileExists(folderOf(path))) {
        return "cannot open the journal " + path + ": its folder does not exist";
    }
    const bool exists = fileExists(path);
    const std::string what =
        (exists ? "cannot open the journal " : "cannot create the journal ") + path;
    switch (error) {
        case EACCES:
        case EPERM:
            return what + (exists ? ": no permission" : ": no permission to write in its folder");
        case EROFS:
            return what + ": the disk is read-only";
        default:
            return what;
    }
}

// The operator's words for what SQLite reported about the journal at `path`.
std::string describe(int code, const std::string& path, sqlite3* db) {
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "the journal " + path + " is locked by another program";
        case SQLITE_FULL:
            return "the disk is full: the journal " + path + " cannot grow";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return "the journal " + path + " is damaged or is not a journal";
        case SQLITE_READONLY:
            return "the journal " + path + " is read-only";
        case SQLITE_PERM:
            return "no permission to use the journal " + path;
        case SQLITE_IOERR:
            return "cannot read or write the journal " + path + " (input/output error)";
        case SQLITE_CANTOPEN:
            return cannotOpen(path, db ? sqlite3_system_errno(db) : 0);
        default:
            return "the journal " + path + " failed: " + (db ? sqlite3_errmsg(db) : "no memory");
    }
}

int execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// One number a pragma or query gives, or the error code.
std::pair<int, std::int64_t> queryNumber(sqlite3* db, const char* sql) {
    Statement statement(db, sql);
    if (!statement) {
        return {sqlite3_errcode(db), 0};
    }
    const int step = sqlite3_step(statement.get());
    if (step != SQLITE_ROW) {
        return {step == SQLITE_DONE ? SQLITE_CORRUPT : step, 0};
    }
    return {SQLITE_OK, sqlite3_column_int64(statement.get(), 0)};
}

}  // namespace

bool CJournalStore::open(const std::string& path, Access access) {
    statements.reset();
    sqlite3_close_v2(db);
    db = nullptr;
    lastProblem.clear();
    if (access == Access::readOnly && !fileExists(path)) {
        lastProblem = "there is no journal " + path + ": the station has not recorded a push there";
        return false;
    }
    if (!fileExists(folderOf(path))) {
        lastProblem = describe(SQLITE_CANTOPEN, path, nullptr);
        return false;
    }
    const int flags = access == Access::readOnly ? SQLITE_OPEN_READONLY
                                                 : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    std::string failure;  // what SQLite's answer meant, worked out while the handle is there
    const auto attempt = [&](const std::string& name, int extraFlags) {
        sqlite3* handle = nullptr;
        int code = sqlite3_open_v2(name.c_str(), &handle, flags | extraFlags | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
        if (code == SQLITE_OK) {
            sqlite3_busy_timeout(handle, busyTimeoutMs);
            // Closing the last handle of a file would fold its write-ahead log into it: a file
            // that is refused must stay as it was, so that waits until it is known to be ours.
            sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            code = prepare(handle, path, access);
        }
        if (code != SQLITE_OK) {
            failure = describe(code, path, handle);
            statements.reset();
            sqlite3_close_v2(handle);
            return code;
        }
        sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
        db = handle;
        return SQLITE_OK;
    };
    int code = attempt(path, 0);
    // A reader that may not write in the journal's folder cannot make the shared-memory file
    // readers of a write-ahead log need. Without a log beside it (no station has the journal
    // open) the file alone is the whole journal, and it is read as a file nobody changes.
    if (access == Access::readOnly && lastProblem.empty() &&
        ((code & 0xFF) == SQLITE_READONLY || (code & 0xFF) == SQLITE_CANTOPEN) &&
        !fileExists(path + "-wal")) {
        code = attempt("file:" + uriPath(path) + "?immutable=1", SQLITE_OPEN_URI);
    }
    if (code != SQLITE_OK && lastProblem.empty()) {
        lastProblem = access == Access::readOnly && (code & 0xFF) == SQLITE_READONLY
                          ? "cannot read the journal " + path +
                                " while a station writes it: that needs permission to write in "
                                "its folder"
                          : failure;
    }
    return code == SQLITE_OK;
}

// Checks the version before anything is written; creates the tables in a new file; makes the
// statements, which fail for a file whose tables are not the journal's; only then turns on the
// write-ahead log. Anything but SQLITE_OK leaves lastProblem or the code to explain.
int CJournalStore::prepare(sqlite3* handle, const std::string& path, Access access) {
    const auto [versionCode, version] = queryNumber(handle, "PRAGMA user_version");
    if (versionCode != SQLITE_OK) {
        return versionCode;
    }
    if (version > schemaVersion) {
        lastProblem = "the journal " + path + " was written by a newer version of the station " +
                      "(journal version " + std::to_string(version) + ", this station reads " +
                      std::to_string(schemaVersion) + "); it is left unchanged";
        return SQLITE_ERROR;
    }
    const auto [tablesCode, tables] = queryNumber(handle, "SELECT count(*) FROM sqlite_schema");
    if (tablesCode != SQLITE_OK) {
        return tablesCode;
    }
    if (version == 0 && tables > 0) {
        lastProblem = "the file " + path + " is not a journal; it is left unchanged";
        return SQLITE_ERROR;
    }
    if (access == Access::readOnly) {
        if (version == 0) {
            lastProblem = "the journal " + path + " is empty";
            return SQLITE_ERROR;
        }
        execute(handle, "PRAGMA query_only = 1");
        return makeStatements(handle);
    }
    if (version == 0) {
        const std::string create = std::string("BEGIN IMMEDIATE;") + schema +
                                   "PRAGMA user_version = " + std::to_string(schemaVersion) +
                                   "; COMMIT;";
        if (const int code = execute(handle, create.c_str()); code != SQLITE_OK) {
            execute(handle, "ROLLBACK");
            return code;
        }
    }
    if (const int code = makeStatements(handle); code != SQLITE_OK) {
        return code;
    }
    return execute(handle, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");
}

int CJournalStore::makeStatements(sqlite3* handle) {
    auto made = std::make_unique<Statements>();
    const std::pair<Statement*, std::string> wanted[] = {
        {&made->insert, insertQuery},
        {&made->remove, removeQuery},
        {&made->hourly, hourlyQuery},
        {&made->campaignRates, campaignRatesQuery},
        {&made->manufacturerRates, manufacturerRatesQuery},
        {&made->entries, entriesQuery},
        {&made->findCampaign, "SELECT id FROM campaigns WHERE campaign = ? AND sendName = ?"},
        {&made->addCampaign, "INSERT INTO campaigns(campaign, sendName) VALUES(?, ?)"},
        {&made->findManufacturer, "SELECT id FROM manufacturers WHERE name = ?"},
        {&made->addManufacturer, "INSERT INTO manufacturers(name) VALUES(?)"},
        {&made->findRadio, "SELECT id FROM radios WHERE name = ?"},
        {&made->addRadio, "INSERT INTO radios(name) VALUES(?)"},
    };
    for (const auto& [statement, sql] : wanted) {
        *statement = Statement(handle, sql);
        if (!*statement) {
            // A journal of this version that lacks its tables has been damaged.
            const int code = sqlite3_errcode(handle);
            return code == SQLITE_ERROR ? SQLITE_CORRUPT : code;
        }
    }
    statements = std::move(made);
    return SQLITE_OK;
}

bool CJournalStore::readTogether(std::initializer_list<std::function<void()>> reads) const {
    lastProblem.clear();
    if (!db) {
        return false;
    }
    if (const int code = execute(db, "BEGIN"); code != SQLITE_OK) {
        return fail(code);
    }
    bool allRead = true;
    for (const std::function<void()>& read : reads) {
        read();
        if (!lastProblem.empty()) {
            allRead = false;
            break;
        }
    }
    execute(db, "COMMIT");
    return allRead;
}

bool CJournalStore::fail(int code) const {
    lastProblem =
        describe(code, sqlite3_db_filename(db, "main") ? sqlite3_db_filename(db, "main") : "", db);
    return false;
}

namespace {

// The number of `texts` in its lookup table, added when new; -1 on failure.
std::int64_t lookUp(sqlite3* db, sqlite3_stmt* find, sqlite3_stmt* add,
                    std::initializer_list<const std::string*> texts) {
    {
        Use use(find);
        int column = 1;
        for (const std::string* text : texts) {
            sqlite3_bind_text(find, column++, text->data(), static_cast<int>(text->size()),
                              SQLITE_STATIC);
        }
        const int step = sqlite3_step(find);
        if (step == SQLITE_ROW) {
            return sqlite3_column_int64(find, 0);
        }
        if (step != SQLITE_DONE) {
            return -1;
        }
    }
    Use use(add);
    int column = 1;
    for (const std::string* text : texts) {
        sqlite3_bind_text(add, column++, text->data(), static_cast<int>(text->size()),
                          SQLITE_STATIC);
    }
    return sqlite3_step(add) == SQLITE_DONE ? sqlite3_last_insert_rowid(db) : -1;
}

template <typename Key, typename Find>
std::int64_t cached(std::map<Key, std::int64_t>& ids, const Key& key, Find find) {
    if (const auto known = ids.find(key); known != ids.end()) {
        return known->second;
    }
    const std::int64_t id = find();
    if (id >= 0) {
        ids.emplace(key, id);
    }
    return id;
}

}  // namespace

bool CJournalStore::insert(const Entry& entry) {
    Statements& s = *statements;
    const std::int64_t campaign =
        cached(s.campaignIds, std::pair(entry.campaign, entry.sendName), [&] {
            return lookUp(db, s.findCampaign.get(), s.addCampaign.get(),
                          {&entry.campaign, &entry.sendName});
        });
    const std::int64_t manufacturer = cached(s.manufacturerIds, entry.manufacturer, [&] {
        return lookUp(db, s.findManufacturer.get(), s.addManufacturer.get(), {&entry.manufacturer});
    });
    const std::int64_t radio = cached(s.radioIds, entry.radio, [&] {
        return lookUp(db, s.findRadio.get(), s.addRadio.get(), {&entry.radio});
    });
    if (campaign < 0 || manufacturer < 0 || radio < 0) {
        return false;
    }
    sqlite3_stmt* insert = s.insert.get();
    Use use(insert);
    const auto key = keyBytes(entry.deviceKey);
    sqlite3_bind_int64(insert, 1, entry.time);
    sqlite3_bind_int64(insert, 2, campaign);
    if (key) {
        sqlite3_bind_blob(insert, 3, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
    }
    sqlite3_bind_int64(insert, 4, manufacturer);
    sqlite3_bind_int(insert, 5, static_cast<int>(entry.outcome));
    sqlite3_bind_int(insert, 6, entry.delivered ? 1 : 0);
    sqlite3_bind_int(insert, 7, entry.packets);
    sqlite3_bind_int64(insert, 8, static_cast<std::int64_t>(entry.bytes));
    sqlite3_bind_int64(insert, 9, entry.durationMs);
    sqlite3_bind_int64(insert, 10, radio);
    return sqlite3_step(insert) == SQLITE_DONE;
}

bool CJournalStore::append(std::span<const Entry> entries) {
    lastProblem.clear();
    if (!db) {
        return false;
    }
    if (const int code = execute(db, "BEGIN IMMEDIATE"); code != SQLITE_OK) {
        return fail(code);
    }
    for (const Entry& entry : entries) {
        if (!insert(entry)) {
            const int code = sqlite3_errcode(db);
            execute(db, "ROLLBACK");
            forgetLookups();
            return fail(code);
        }
    }
    if (const int code = execute(db, "COMMIT"); code != SQLITE_OK) {
        execute(db, "ROLLBACK");
        forgetLookups();
        return fail(code);
    }
    lastProblem.clear();
    return true;
}

// Numbers looked up in a transaction that was rolled back are gone with it.
void CJournalStore::forgetLookups() {
    statements->campaignIds.clear();
    statements->manufacturerIds.clear();
    statements->radioIds.clear();
}

int CJournalStore::removeOlderThan(std::int64_t before, int limit) {
    lastProblem.clear();
    if (!db) {
        return -1;
    }
    sqlite3_stmt* remove = statements->remove.get();
    Use use(remove);
    sqlite3_bind_int64(remove, 1, before);
    sqlite3_bind_int(remove, 2, limit);
    if (const int code = sqlite3_step(remove); code != SQLITE_DONE) {
        fail(code);
        return -1;
    }
    return sqlite3_changes(db);
}

std::vector<HourCount> CJournalStore::hourly(TimeRange range) const {
    lastProblem.clear();
    std::vector<HourCount> counts;
    if (!db) {
        return counts;
    }
    sqlite3_stmt* query = statements->hourly.get();
    Use use(query);
    bindRange(query, range, secondsPerHour);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query)) == SQLITE_ROW) {
        counts.push_back({sqlite3_column_int64(query, 0),
                          static_cast<Outcome>(sqlite3_column_int(query, 1)),
                          sqlite3_column_int64(query, 2)});
    }
    if (step != SQLITE_DONE) {
        fail(step);
        return {};
    }
    return counts;
}

std::vector<Rate> CJournalStore::rates(TimeRange range, Grouping grouping) const {
    lastProblem.clear();
    std::vector<Rate> found;
    if (!db) {
        return found;
    }
    sqlite3_stmt* query = grouping == Grouping::campaign ? statements->campaignRates.get()
                                                         : statements->manufacturerRates.get();
    Use use(query);
    bindRange(query, range, secondsPerDay);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query)) == SQLITE_ROW) {
        found.push_back({columnText(query, 0), sqlite3_column_int64(query, 1),
                         sqlite3_column_int64(query, 2),
                         static_cast<std::uint64_t>(sqlite3_column_int64(query, 3))});
    }
    if (step != SQLITE_DONE) {
        fail(step);
        return {};
    }
    return found;
}

bool CJournalStore::forEachEntry(TimeRange range,
                                 const std::function<bool(const Entry&)>& visit) const {
    lastProblem.clear();
    if (!db) {
        return false;
    }
    sqlite3_stmt* query = statements->entries.get();
    Use use(query);
    sqlite3_bind_int64(query, 1, range.from);
    sqlite3_bind_int64(query, 2, range.until);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query)) == SQLITE_ROW) {
        Entry entry;
        entry.time = sqlite3_column_int64(query, 0);
        entry.campaign = columnText(query, 1);
        entry.sendName = columnText(query, 2);
        entry.deviceKey = keyText(sqlite3_column_blob(query, 3), sqlite3_column_bytes(query, 3));
        entry.manufacturer = columnText(query, 4);
        entry.outcome = static_cast<Outcome>(sqlite3_column_int(query, 5));
        entry.delivered = sqlite3_column_int(query, 6) != 0;
        entry.packets = sqlite3_column_int(query, 7);
        entry.bytes = static_cast<std::uint64_t>(sqlite3_column_int64(query, 8));
        entry.durationMs = static_cast<std::uint32_t>(sqlite3_column_int64(query, 9));
        entry.radio = columnText(query, 10);
        if (!visit(entry)) {
            return true;
        }
    }
    if (step != SQLITE_DONE) {
        return fail(step);
    }
    return true;
}

std::int64_t CJournalStore::entryCount() const {
    lastProblem.clear();
    if (!db) {
        return 0;
    }
    const auto [code, count] = queryNumber(db, "SELECT coalesce(sum(pushes), 0) FROM hourOutcomes");
    if (code != SQLITE_OK) {
        fail(code);
        return 0;
    }
    return count;
}

}  // namespace journal
