#include "profile.h"

// Values stay UTF-8 byte strings (the layer converts UTF-16 files itself); the templates are
// instantiated here from the header alone.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "files.h"
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

FileIdentity identityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
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

// One INI file: its lock and its parsed contents as of `identity`.
struct IniFile {
    std::mutex lock;
    FileIdentity identity;
    CSimpleIniA ini{true, false, false};

    // Re-parses the file when it changed since the last look. Caller holds `lock`.
    void refresh(const std::string& path) {
        const FileIdentity current = identityOf(path);
        if (current == identity && current.exists) {
            return;
        }
        ini.Reset();
        ini.SetSpaces(false);
        identity = current;
        if (!current.exists) {
            return;
        }
        if (const auto raw = readFile(path)) {
            ini.LoadData(asUtf8(*raw));
        }
    }

    bool save(const std::string& path) {
        std::string data;
        if (ini.Save(data) < 0 || !replaceFileAtomically(path, data)) {
            identity = {};  // re-read the file as it is on the next call
            return false;
        }
        identity = identityOf(path);
        return true;
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

template <typename Action>
auto withFile(const std::string& file, Action action) {
    auto [ini, path] = fileFor(file);
    std::lock_guard<std::mutex> guard(ini->lock);
    ini->refresh(path);
    return action(*ini, path);
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
    return withFile(file, [&](IniFile& f, const std::string&) {
        const char* value = f.ini.GetValue(section.c_str(), key.c_str(), nullptr);
        return value ? std::string(value) : fallback;
    });
}

bool write(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value) {
    return withFile(file, [&](IniFile& f, const std::string& path) {
        if (f.ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) {
            return false;
        }
        return f.save(path);
    });
}

bool deleteKey(const std::string& file, const std::string& section, const std::string& key) {
    return withFile(file, [&](IniFile& f, const std::string& path) {
        if (!f.ini.Delete(section.c_str(), key.c_str())) {
            return true;
        }
        return f.save(path);
    });
}

bool replaceKeys(const std::string& file, const std::string& section,
                 const std::vector<std::string>& removals, const KeyValues& settings) {
    return withFile(file, [&](IniFile& f, const std::string& path) {
        bool changed = false;
        for (const auto& key : removals) {
            changed = f.ini.Delete(section.c_str(), key.c_str()) || changed;
        }
        for (const auto& [key, value] : settings) {
            if (f.ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) {
                f.identity = {};  // the parse holds part of the change: read the file anew
                return false;
            }
            changed = true;
        }
        return !changed || f.save(path);
    });
}

bool deleteSection(const std::string& file, const std::string& section) {
    return withFile(file, [&](IniFile& f, const std::string& path) {
        if (!f.ini.Delete(section.c_str(), nullptr)) {
            return true;
        }
        return f.save(path);
    });
}

std::vector<std::string> sections(const std::string& file) {
    return withFile(file, [&](IniFile& f, const std::string&) {
        CSimpleIniA::TNamesDepend all;
        f.ini.GetAllSections(all);
        return names(all);
    });
}

std::vector<std::string> keys(const std::string& file, const std::string& section) {
    return withFile(file, [&](IniFile& f, const std::string&) {
        CSimpleIniA::TNamesDepend all;
        f.ini.GetAllKeys(section.c_str(), all);
        return names(all);
    });
}

}  // namespace platform::profile
