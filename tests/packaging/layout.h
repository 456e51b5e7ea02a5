#pragma once
// What an installation of the station holds, below its prefix, and the tools the packaging
// tests share: a folder's files and links by relative path, a program's dynamic section.

#include <filesystem>
#include <set>
#include <string>

#include "tests/common/childprocess.h"

namespace packaging {

inline std::set<std::string> installedFiles() {
    const std::string bin = NYVEX_INSTALL_BINDIR;
    const std::string libraries = NYVEX_INSTALL_LIBRARYDIR;
    const std::string share = NYVEX_INSTALL_DATAROOTDIR;
    std::set<std::string> files = {
        bin + "/Nyvex",
        bin + "/phonesim",
        libraries + "/libRadiox.so",
        libraries + "/libObexa.so",
        libraries + "/libSdpora.so",
        std::string(NYVEX_INSTALL_HELPERDIR) + "/prepare-state",
        share + "/nyvex/appTolvik.ini.in",
        share + "/nyvex/resource.xml",
        share + "/nyvex/testpic.gif",
        share + "/nyvex/kampa_1.png",
        share + "/nyvex/manufacturers.dat",
        share + "/nyvex/demo/world.ini",
        share + "/nyvex/demo/tolvik.ini",
        share + "/nyvex/simulation.conf",
        share + "/doc/nyvex/README.md",
        share + "/applications/nyvex.desktop",
        share + "/icons/hicolor/scalable/apps/nyvex.svg",
        "lib/systemd/system/nyvex.service",
        "lib/systemd/system/nyvex-phonesim.service",
        "lib/sysusers.d/nyvex.conf",
    };
    for (const char* size : {"16", "32", "48", "64", "128", "256"}) {
        files.insert(share + "/icons/hicolor/" + size + "x" + size + "/apps/nyvex.png");
    }
    return files;
}

// The files and links below `root`, by path relative to it.
inline std::set<std::string> filesBelow(const std::filesystem::path& root) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_directory() || entry.is_symlink()) {
            files.insert(std::filesystem::relative(entry.path(), root).string());
        }
    }
    return files;
}

// The dynamic section of an ELF file as readelf shows it.
inline std::string dynamicSection(const std::filesystem::path& file) {
    return testing_support::runProcess({"/usr/bin/readelf", "-d", file.string()}, "", {}).output;
}

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace packaging
