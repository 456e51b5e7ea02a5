#include "profile.h"

// Values stay UTF-8 byte strings (the layer converts UTF-16 files itself); the templates are
// instantiated here from the header alone.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

#include "files.h"
#include "system.h"
#include "text.h"

namespace platform::profile {

namespace {

// What tells one version of a file from the next: writers replace files by rename, so the inode
// changes with every write; size and modification time catch writers that rewrite in place.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileIdentity& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// What the system says about a file: its identity, or why it cannot be looked at. A file that
// is not there is no problem: it reads as empty, and a write creates it.
struct Look {
    FileIdentity identity;
    std::optional<std::string> problem;
};

Look lookAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return {};
        }
        return {{}, systemErrorText(error)};
    }
    if (!S_ISREG(st.st_mode)) {
        return {{}, "not a regular file"};
    }
    return {{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim}, std::nullopt};
}

// UTF-16 files (Windows writes INI files that way) become UTF-8 before parsing.
std::string asUtf8(const std::string& raw) {
    const auto utf16 = [&](bool littleEndian) {
        std::u16string wide;
        for (std::size_t i = 2; i + 1 < raw.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(raw[i + (littleEndian ? 0 : 1)]);
            const auto hi = static_cast<unsigned char>(raw[i + (littleEndian ? 1 : 0)]);
            wide += static_cast<char16_t>(lo | (hi << 8));
        }
        return toUtf8(wide);
    };
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
        static_cast<unsigned char>(raw[1]) == 0xFE) {
        return utf16(true);
    }
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFE &&
        static_cast<unsigned char>(raw[1]) == 0xFF) {
        return utf16(false);
    }
    return raw;
}

// SimpleIni trims the blanks around every value while it parses. The values are taken once more
// from the lines themselves, read the way SimpleIni reads them (comment lines, section lines,
// the first '=' of a line, the last of equal keys wins), so that a value is exactly what stands
// between its '=' and the end of its line.
void keepValuesExact(CSimpleIniA& ini, std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    text = text.substr(0, text.find('\0'));
    std::string section;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            if (const auto close = line.find(']'); close != std::string_view::npos) {
                section = trim(line.substr(1, close - 1));
            }
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string key = trim(line.substr(0, equals));
        if (!key.empty() && ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr) {
            ini.SetValue(section.c_str(), key.c_str(),
                         std::string(line.substr(equals + 1)).c_str());
        }
    }
}

// One INI file: its lock and its parsed contents as of `identity`.
struct IniFile {
    std::mutex lock;
    CSimpleIniA ini{true, false, false};
    FileIdentity identity;  // the version of the file `ini` holds, while `current`
    bool current = false;
    bool problemReported = false;  // the file could not be read, and readers were told

    // Makes `ini` the file as it stands now. When the file is there but cannot be read, `ini`
    // is left empty, nothing of this look is kept, and the answer says why.
    std::optional<std::string> refresh(const std::string& path) {
        const Look look = lookAt(path);
        if (current && look.identity.exists && look.identity == identity) {
            return std::nullopt;
        }
        forget();
        if (look.problem || !look.identity.exists) {
            return look.problem;
        }
        std::string why;
        const auto raw = readFile(path, &why);
        if (!raw) {
            return why;
        }
        const std::string text = asUtf8(*raw);
        if (ini.LoadData(text) < 0) {
            forget();
            return "out of memory";
        }
        keepValuesExact(ini, text);
        identity = look.identity;
        current = true;
        return std::nullopt;
    }

    // Writes `ini` over the file. On failure the parse is dropped, so that the next look reads
    // the file as it is.
    std::optional<std::string> save(const std::string& path) {
        std::string data;
        std::string why = "out of memory";
        if (ini.Save(data) < 0 || !replaceFileAtomically(path, data, &why)) {
            forget();
            return why;
        }
        const Look look = lookAt(path);
        identity = look.identity;
        current = look.identity.exists;
        return std::nullopt;
    }

    void forget() {
        ini.Reset();
        ini.SetSpaces(false);
        current = false;
    }
};

std::string normalised(const std::string& file) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(file, ec);
    return ec ? file : absolute.lexically_normal().string();
}

// Every INI file has one process-wide lock and cache, shared by every caller.
std::pair<std::shared_ptr<IniFile>, std::string> fileFor(const std::string& file) {
    static std::mutex registryLock;
    static std::map<std::string, std::shared_ptr<IniFile>> registry;
    std::string path = normalised(file);
    std::lock_guard<std::mutex> guard(registryLock);
    auto& entry = registry[path];
    if (!entry) {
        entry = std::make_shared<IniFile>();
    }
    return {entry, path};
}

std::mutex reportLock;
ProblemReport reporter;

void report(const std::string& text) {
    ProblemReport target;
    {
        std::lock_guard<std::mutex> guard(reportLock);
        target = reporter;
    }
    if (target) {
        target(text);
    }
}

// Runs `action` on the file's parse under the file's lock; a problem it leaves in its last
// argument is reported once the lock is released.
template <typename Action>
auto withFile(const std::string& file, Action action) {
    const auto [entry, path] = fileFor(file);
    std::string problem;
    auto result = [&, &f = *entry, &where = path] {
        std::lock_guard<std::mutex> guard(f.lock);
        return action(f, where, problem);
    }();
    if (!problem.empty()) {
        report(problem);
    }
    return result;
}

// Brings the parse up to date for a reader. A file that cannot be read reads as empty and is
// reported the first time; once it was read again, a new failure is reported again.
void refreshForReading(IniFile& f, const std::string& path, std::string& problem) {
    const auto why = f.refresh(path);
    if (!why) {
        f.problemReported = false;
        return;
    }
    if (!f.problemReported) {
        f.problemReported = true;
        problem = "INI file " + path + " cannot be read: " + *why;
    }
}

enum class Edit { none, made, failed };

// What a change is about, for its report: "[section] key", or the number of keys.
std::string changeOf(const std::string& section, std::size_t count, const std::string& key) {
    const std::string what = count == 1 ? key : std::to_string(count) + " keys";
    return "[" + section + "]" + (count == 0 ? "" : " " + what);
}

// Applies `change` to the file as it stands and writes the result. A file that cannot be read
// is never touched: writing the parse of nothing would replace everything in it.
template <typename Editor>
bool changeFile(const std::string& file, const std::string& what, Editor edit) {
    return withFile(file, [&](IniFile& f, const std::string& path, std::string& problem) {
        const auto fail = [&](const std::string& why) {
            problem = what + " not changed in " + path + ": " + why;
            return false;
        };
        if (const auto why = f.refresh(path)) {
            return fail("the file cannot be read (" + *why + ")");
        }
        f.problemReported = false;
        switch (edit(f.ini)) {
            case Edit::none:
                return true;
            case Edit::failed:
                f.forget();
                return fail("out of memory");
            case Edit::made:
                break;
        }
        if (const auto why = f.save(path)) {
            return fail(*why);
        }
        return true;
    });
}

std::vector<std::string> names(const CSimpleIniA::TNamesDepend& entries) {
    CSimpleIniA::TNamesDepend sorted = entries;
    sorted.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& e : sorted) {
        out.emplace_back(e.pItem);
    }
    return out;
}

}  // namespace

std::string read(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& fallback) {
    return withFile(file, [&](IniFile& f, const std::string& path, std::string& problem) {
        refreshForReading(f, path, problem);
        const char* value = f.ini.GetValue(section.c_str(), key.c_str(), nullptr);
        return value ? std::string(value) : fallback;
    });
}

bool write(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value) {
    return replaceKeys(file, section, {}, {{key, value}});
}

bool deleteKey(const std::string& file, const std::string& section, const std::string& key) {
    return replaceKeys(file, section, {key}, {});
}

bool deleteSection(const std::string& file, const std::string& section) {
    return changeFile(file, changeOf(section, 0, ""), [&](CSimpleIniA& ini) {
        return ini.Delete(section.c_str(), nullptr) ? Edit::made : Edit::none;
    });
}

namespace {

// One change of a batch on the parsed file.
Edit applyChange(CSimpleIniA& ini, const Change& change) {
    const char* section = change.section.c_str();
    switch (change.kind) {
        case Change::Kind::write: {
            const char* old = ini.GetValue(section, change.key.c_str(), nullptr);
            if (old != nullptr && change.value == old) {
                return Edit::none;
            }
            return ini.SetValue(section, change.key.c_str(), change.value.c_str()) < 0
                       ? Edit::failed
                       : Edit::made;
        }
        case Change::Kind::deleteKey:
            return ini.Delete(section, change.key.c_str()) ? Edit::made : Edit::none;
        case Change::Kind::deleteSectionIfEmpty:
            return ini.GetSectionSize(section) == 0 && ini.Delete(section, nullptr) ? Edit::made
                                                                                    : Edit::none;
    }
    return Edit::none;
}

// Makes `changes` in their order on the file as it stands and writes it once; `what` names them
// in a report.
bool applyChanges(const std::string& file, const std::string& what,
                  const std::vector<Change>& changes) {
    return changeFile(file, what, [&](CSimpleIniA& ini) {
        Edit batch = Edit::none;
        for (const Change& change : changes) {
            switch (applyChange(ini, change)) {
                case Edit::failed:
                    return Edit::failed;
                case Edit::made:
                    batch = Edit::made;
                    break;
                case Edit::none:
                    break;
            }
        }
        return batch;
    });
}

}  // namespace

bool replaceKeys(const std::string& file, const std::string& section,
                 const std::vector<std::string>& removals, const KeyValues& settings) {
    std::vector<Change> changes;
    for (const auto& key : removals) {
        changes.push_back({Change::Kind::deleteKey, section, key, ""});
    }
    for (const auto& [key, value] : settings) {
        changes.push_back({Change::Kind::write, section, key, value});
    }
    const std::string first =
        removals.empty() ? (settings.empty() ? "" : settings[0].first) : removals[0];
    return applyChanges(file, changeOf(section, changes.size(), first), changes);
}

bool applyBatch(const std::string& file, const std::vector<Change>& changes) {
    return applyChanges(file, std::to_string(changes.size()) + " changes", changes);
}

std::vector<std::string> sections(const std::string& file) {
    return withFile(file, [&](IniFile& f, const std::string& path, std::string& problem) {
        refreshForReading(f, path, problem);
        CSimpleIniA::TNamesDepend all;
        f.ini.GetAllSections(all);
        return names(all);
    });
}

std::vector<std::string> keys(const std::string& file, const std::string& section) {
    return withFile(file, [&](IniFile& f, const std::string& path, std::string& problem) {
        refreshForReading(f, path, problem);
        CSimpleIniA::TNamesDepend all;
        f.ini.GetAllKeys(section.c_str(), all);
        return names(all);
    });
}

std::optional<std::string> readProblem(const std::string& file) {
    return withFile(
        file, [](IniFile& f, const std::string& path, std::string&) { return f.refresh(path); });
}

void setProblemReport(ProblemReport report) {
    std::lock_guard<std::mutex> guard(reportLock);
    reporter = std::move(report);
}

}  // namespace platform::profile
