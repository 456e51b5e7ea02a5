// Every operator text the code asks for by key is in the shipped text file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "support/resomap.h"

namespace {
// The quoted key after each `marker` in `source`: text("key"), lookup("key", ...) and the
// second argument of setItemText(id, "key").
void collectKeys(const std::string& source, const std::string& marker, bool afterComma,
                 std::set<std::string>& keys) {
    for (auto at = source.find(marker); at != std::string::npos; at = source.find(marker, at + 1)) {
        std::size_t from = at + marker.size();
        if (afterComma) {
            from = source.find_first_of(",;)", from);
            if (from == std::string::npos || source[from] != ',') {
                continue;
            }
            ++from;
        }
        from = source.find_first_not_of(" \t\n", from);
        if (from == std::string::npos || source[from] != '"') {
            continue;
        }
        const auto close = source.find('"', from + 1);
        if (close != std::string::npos) {
            keys.insert(source.substr(from + 1, close - from - 1));
        }
    }
}

// The program's own folders: every top-level folder but the libraries, the tools, the tests, the
// benchmarks, the fuzz targets, data, build and packaging scripts, and build output.
std::vector<std::filesystem::path> programFolders(const std::filesystem::path& root) {
    const std::set<std::string> notProgram = {"libs",  "tools",   "tests",   "bench", "data",
                                              "cmake", "scripts", "station", "fuzz",  "packaging"};
    std::vector<std::filesystem::path> folders;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory() && !notProgram.contains(name) && !name.starts_with(".") &&
            !name.starts_with("build")) {
            folders.push_back(entry.path());
        }
    }
    return folders;
}

std::set<std::string> keysAskedForInCode() {
    std::set<std::string> keys;
    const std::filesystem::path root = NYVEX_SOURCE_DIR;
    for (const auto& folder : programFolders(root)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") {
                continue;
            }
            std::ifstream in(entry.path());
            const std::string source((std::istreambuf_iterator<char>(in)), {});
            collectKeys(source, "text(", false, keys);
            collectKeys(source, "lookup(", false, keys);
            collectKeys(source, "setItemText(", true, keys);
        }
    }
    return keys;
}
}  // namespace

TEST(ResourceKeys, EveryKeyTheCodeAsksForIsInTheShippedFile) {
    CResoMap texts;
    texts.load(std::string(NYVEX_SOURCE_DIR) + "/data/station/resource.xml");
    const auto keys = keysAskedForInCode();
    EXPECT_TRUE(keys.count("prog_already_started")) << "the scan finds the keys";
    for (const auto& key : keys) {
        std::string text;
        EXPECT_TRUE(texts.lookup(key, text)) << "missing text key: " << key;
    }
}
