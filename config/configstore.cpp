#include "configstore.h"

#include "config/configexceptions.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "support/filechecker.h"
#include "support/logentry.h"

CInit::CInit() : section("Tolvik") {
    const auto dir = platform::currentDirectory();
    if (!dir) {
        throw CIniSeriException("CurrentDir not found");
    }
    currentDir = *dir;
    iniPath = currentDir + "/appTolvik.ini";
    // Settings that cannot be read must not look missing: writing `path` would then replace the
    // whole file with that one key.
    if (const auto problem = platform::profile::readProblem(iniPath)) {
        throw CIniSeriException("appTolvik.ini cannot be read: " + *problem);
    }
    if (read("path", "o") == "o") {
        setString("path", currentDir + "/");
    }
    const std::string version = read("version", "o");
    if (version == "o") {
        throw CIniSeriException("version not found");
    }
    if (version != versionText) {
        throw CIniSeriException("version mismatch");
    }
}

std::string CInit::dataIniPath() const {
    return currentDir + "/tolvik.ini";
}

std::string CInit::read(const std::string& key, const std::string& fallback) const {
    return platform::profile::read(iniPath, section, key, fallback);
}

std::string CInit::getString(const std::string& key, bool warn) const {
    const std::string value = read(key, missing);
    if (value == missing && warn) {
        support::logError(key + " in ini nicht gefunden", support::typeTag(this));
    }
    return value;
}

std::int32_t CInit::getInt(const std::string& key, bool warn) const {
    const std::string value = read(key, missing);
    if (value == missing && warn) {
        support::logError(key + " not found in ini file.", support::typeTag(this));
    }
    return platform::parseLeadingInt32(value);
}

bool CInit::setString(const std::string& key, const std::string& value) const {
    return platform::profile::write(iniPath, section, key, value);
}

bool CInit::deleteKey(const std::string& key) const {
    return platform::profile::deleteKey(iniPath, section, key);
}

bool CInit::replaceKeys(const std::vector<std::string>& removals, const KeyValues& settings) const {
    return platform::profile::replaceKeys(iniPath, section, removals, settings);
}

bool CInit::isComplete() const {
    const auto isMissing = [](const std::string& v) {
        return platform::equalsIgnoreCase(v, missing);
    };
    const std::string path = read("path", missing);
    const std::string archfile = read("archfile", missing);
    if (isMissing(path) || isMissing(archfile)) {
        return false;
    }
    if (!CFileChecker::folderExists(archfile) && !CFileChecker::folderExists(path + archfile)) {
        return false;
    }
    return !isMissing(read("duration", missing));
}

namespace config {

namespace {
// Written by start-up (and tests) while no worker runs; read by every thread. Never destroyed:
// a worker that ends while the program exits may still read it.
std::unique_ptr<CInit>& installed() {
    static auto* configuration = new std::unique_ptr<CInit>;
    return *configuration;
}
}  // namespace

void setConfig(std::unique_ptr<CInit> configuration) {
    installed() = std::move(configuration);
}

CInit* current() {
    return installed().get();
}

CInit configCopy() {
    if (!installed()) {
        throw CIniSeriException("configuration not loaded");
    }
    return *installed();
}

}  // namespace config
