#pragma once
// Test fixtures made in a fresh temporary folder: the folder is removed again afterwards, and
// a StationFolder also makes it the current directory with a minimal settings file.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "config/configstore.h"

namespace testing_support {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nyvex-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        root = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::string path(const std::string& name) const { return file(name); }
    std::string folder() const { return root.string(); }
    std::string file(const std::string& name) const { return (root / name).string(); }
    // Writes `content` to the file `name` in the folder and returns the file's path.
    std::string write(const std::string& name, const std::string& content) const {
        std::ofstream(root / name, std::ios::binary) << content;
        return file(name);
    }
    std::string read(const std::string& name) const {
        std::ifstream in(root / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::filesystem::path root;
};

// A temporary folder that is the current directory while it lives, holding "appTolvik.ini"
// with the current version; `withConfig` also installs the station's configuration.
class StationFolder : public TempFolder {
  public:
    explicit StationFolder(bool withConfig = true,
                           const std::string& settings = "[Tolvik]\nversion=1.061\n")
        : previous(std::filesystem::current_path()) {
        write("appTolvik.ini", settings);
        std::filesystem::current_path(path());
        if (withConfig) {
            config::setConfig(std::make_unique<CInit>());
        }
    }
    ~StationFolder() {
        config::setConfig(nullptr);
        std::filesystem::current_path(previous);
    }

  private:
    std::filesystem::path previous;
};

}  // namespace testing_support
