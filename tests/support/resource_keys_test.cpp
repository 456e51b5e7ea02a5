// Every operator text the code asks for by key is in the shipped text file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "support/resomap.h"

namespace {
std::set<std::string> keysAskedForInCode() {
    const std::regex call(R"((?:\btext|\blookup|setItemText\s*\([^,;]+,)\s*\(?\s*"([^"]+)\")");
    std::set<std::string> keys;
    const std::filesystem::path root = NYVEX_SOURCE_DIR;
    for (const char* folder : {"app", "discovery", "sending", "campaigns", "memory", "support"}) {
        if (!std::filesystem::exists(root / folder)) {
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") {
                continue;
            }
            std::ifstream in(entry.path());
            const std::string source((std::istreambuf_iterator<char>(in)), {});
            for (std::sregex_iterator it(source.begin(), source.end(), call), end; it != end; ++it) {
                keys.insert((*it)[1]);
            }
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
