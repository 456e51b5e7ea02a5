#pragma once
// Profile strings: named values in sections of INI files, the way the station keeps its settings
// and lists. Sections and keys are case-insensitive. Every read sees every earlier write, from any
// object or thread; every write replaces the file atomically, so a reader (in this process or
// another) sees the old file or the new one, never a half-written one. Files written by Windows
// (UTF-16 with a byte-order mark, CRLF line ends) are read as well; files are written as UTF-8.
//
// A value is everything between the '=' and the end of its line, blanks included, exactly as it
// stands in the file: every process reads the same value. A file that is there but cannot be
// read reads as empty and is never changed: a write to it fails rather than replace the whole
// file with the one key it sets.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::profile {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// The value of `key`, or `fallback` when the file, the section or the key is missing, or when
// the file cannot be read.
std::string read(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& fallback);
// Sets `key` to `value`, creating the file and the section as needed.
bool write(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value);
// Removes `key`; true also when it was not there.
bool deleteKey(const std::string& file, const std::string& section, const std::string& key);
// Removes the whole section with all its lines; true also when it was not there.
bool deleteSection(const std::string& file, const std::string& section);
// Removes the keys `removals` from `section`, then sets the keys of `settings` in their order, in
// one replacement of the file: a reader, or the file after a crash, has all of the change or
// none of it (a numbered list never shows gaps or a count that does not fit). A key in both is
// set. True also when there was nothing to change.
bool replaceKeys(const std::string& file, const std::string& section,
                 const std::vector<std::string>& removals, const KeyValues& settings);
// The section names of the file, in file order.
std::vector<std::string> sections(const std::string& file);
// The keys of a section, in file order.
std::vector<std::string> keys(const std::string& file, const std::string& section);

// One change of a batch (applyBatch).
struct Change {
    enum class Kind {
        write,                // sets `key` to `value`
        deleteKey,            // removes `key`
        deleteSectionIfEmpty  // removes `section` when no key is left in it
    };
    Kind kind;
    std::string section;
    std::string key;
    std::string value;
};
// Makes `changes` in their order on the file as it is now and replaces the file once, so that
// other readers, and the file after a crash, show either none of them or all. A batch that
// changes nothing leaves the file alone. False when the file could not be replaced (it is then
// unchanged).
bool applyBatch(const std::string& file, const std::vector<Change>& changes);

// Why the file cannot be read now, or nothing when it can (a missing file can: it is empty).
// Asks without reporting.
std::optional<std::string> readProblem(const std::string& file);

// Where the layer reports what it could not do: a file that is there but cannot be read (once,
// and again only after it was read in between) and every change it could not make. Called from
// the asking thread, outside the layer's locks. Nothing is reported while none is set.
using ProblemReport = std::function<void(const std::string& text)>;
void setProblemReport(ProblemReport report);

}  // namespace platform::profile
