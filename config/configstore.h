#pragma once
// The station's settings: keys of section "Tolvik" in "appTolvik.ini" in the directory the
// program was started in, read from the file at every use so a value written anywhere is seen
// by the next read everywhere. Worker threads use their own copies.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CInit {
  public:
    static constexpr const char* versionText = "1.061";
    static constexpr const char* missing = "default";

    using KeyValues = std::vector<std::pair<std::string, std::string>>;

    // Locates the settings file, writes `path` when it is missing, checks `version`. Throws
    // CIniSeriException ("CurrentDir not found", "appTolvik.ini cannot be read: <why>",
    // "version not found", "version mismatch").
    CInit();
    virtual ~CInit() = default;
    CInit(const CInit&) = default;
    CInit& operator=(const CInit&) = default;

    std::string dataIniPath() const;
    const std::string& settingsPath() const { return iniPath; }
    const std::string& folder() const { return currentDir; }

    std::string getString(const std::string& key, bool warn) const;
    std::int32_t getInt(const std::string& key, bool warn) const;
    bool setString(const std::string& key, const std::string& value) const;
    bool deleteKey(const std::string& key) const;
    // Removes the keys `removals`, then sets the keys of `settings`, in one replacement of the
    // file: a numbered list rewritten so never shows gaps or a wrong count, even after a crash.
    bool replaceKeys(const std::vector<std::string>& removals, const KeyValues& settings) const;
    bool isComplete() const;

  private:
    std::string read(const std::string& key, const std::string& fallback) const;

    std::string section;
    std::string iniPath;
    std::string currentDir;
};

// The station's one configuration, made by start-up. Every part reads the INI files through its
// own copy.
namespace config {

// Installs (or, with nullptr, removes) the configuration.
void setConfig(std::unique_ptr<CInit> configuration);
CInit* current();
// A copy for the caller's own use; throws CIniSeriException while there is no configuration.
CInit configCopy();

}  // namespace config
