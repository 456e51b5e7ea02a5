// The include rule of ARCHITECTURE.md: a file includes only from its own folder and from folders
// of lower layers in its column, and the folders include each other without a cycle. The layers
// are read from the ```layers block of ARCHITECTURE.md, so the document and the rule agree.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path root = NYVEX_SOURCE_DIR;
constexpr const char* anyUi = "*/ui";

// Per column, each folder's layer (0 at the bottom).
using Columns = std::vector<std::map<std::string, int>>;

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string word; in >> word;) {
        out.push_back(word);
    }
    return out;
}

// "name: a b | c | d e" per line, bottom layer first.
Columns parseColumns(const std::string& block) {
    Columns columns;
    std::istringstream lines(block);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::map<std::string, int> column;
        std::istringstream layers(line.substr(colon + 1));
        int layer = 0;
        for (std::string folders; std::getline(layers, folders, '|'); ++layer) {
            for (const auto& folder : words(folders)) {
                column[folder] = layer;
            }
        }
        columns.push_back(column);
    }
    return columns;
}

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Columns documentedColumns() {
    const std::string document = readWhole(root / "ARCHITECTURE.md");
    const std::string open = "```layers\n";
    const auto start = document.find(open);
    const auto end = document.find("```", start + open.size());
    if (start == std::string::npos || end == std::string::npos) {
        return {};
    }
    return parseColumns(document.substr(start + open.size(), end - start - open.size()));
}

// The map's folder a path (of a file or an include) lies in: the longest folder of the map the
// path's directory starts with, or "*/ui" for a `ui` folder of a subsystem.
std::optional<std::string> folderOf(const Columns& columns, const std::string& directory) {
    std::optional<std::string> best;
    for (const auto& column : columns) {
        for (const auto& [folder, layer] : column) {
            const bool inside = directory == folder || directory.starts_with(folder + "/");
            if (folder != anyUi && inside && (!best || folder.size() > best->size())) {
                best = folder;
            }
        }
    }
    const auto slash = directory.find('/');
    const bool subsystemUi = slash != std::string::npos &&
                             directory.compare(slash, 3, "/ui") == 0 &&
                             (directory.size() == slash + 3 || directory[slash + 3] == '/');
    if (subsystemUi && (!best || best->size() <= slash)) {
        return std::string(anyUi);
    }
    return best;
}

bool mayInclude(const Columns& columns, const std::string& from, const std::string& to) {
    if (from == to) {
        return true;
    }
    return std::any_of(columns.begin(), columns.end(), [&](const auto& column) {
        const auto includer = column.find(from);
        const auto included = column.find(to);
        return includer != column.end() && included != column.end() &&
               included->second <= includer->second;
    });
}

// The path of a project include (#include "path") on `line`, or nothing. Not std::regex: GCC 12
// warns inside it in the sanitizer builds, and warnings are errors.
std::optional<std::string> includedPath(const std::string& line) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] != '#') {
        return std::nullopt;
    }
    at = line.find_first_not_of(" \t", at + 1);
    const std::string keyword = "include";
    if (at == std::string::npos || line.compare(at, keyword.size(), keyword) != 0) {
        return std::nullopt;
    }
    at = line.find_first_not_of(" \t", at + keyword.size());
    if (at == std::string::npos || line[at] != '"') {
        return std::nullopt;
    }
    const auto close = line.find('"', at + 1);
    if (close == std::string::npos) {
        return std::nullopt;
    }
    return line.substr(at + 1, close - at - 1);
}

struct Include {
    std::string file;
    std::string fromFolder;
    std::string path;
};

// The project includes of every source file outside the tests, benchmarks and fuzz targets.
std::vector<Include> projectIncludes(const Columns& columns, std::vector<std::string>& problems) {
    const std::set<std::string> notChecked = {"tests",   "bench", "fuzz",
                                              "station", "cmake", "scripts"};
    std::vector<Include> found;
    for (const auto& top : fs::directory_iterator(root)) {
        const std::string name = top.path().filename().string();
        if (!top.is_directory() || notChecked.contains(name) || name.starts_with(".") ||
            name.starts_with("build")) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(top.path())) {
            const auto ext = entry.path().extension();
            if (ext != ".h" && ext != ".cpp") {
                continue;
            }
            const std::string file = fs::relative(entry.path(), root).string();
            const auto folder = folderOf(columns, fs::path(file).parent_path().string());
            if (!folder) {
                problems.push_back(file + " lies in a folder the layer map does not name");
                continue;
            }
            std::istringstream lines(readWhole(entry.path()));
            for (std::string line; std::getline(lines, line);) {
                if (const auto path = includedPath(line)) {
                    found.push_back({file, *folder, *path});
                }
            }
        }
    }
    return found;
}

// A cycle in `edges` as "a -> b -> a", or nothing.
std::optional<std::string> cycleIn(const std::map<std::string, std::set<std::string>>& edges) {
    std::map<std::string, int> state;  // 1: on the current path, 2: done
    std::vector<std::string> path;
    std::optional<std::string> cycle;
    std::function<void(const std::string&)> visit = [&](const std::string& node) {
        state[node] = 1;
        path.push_back(node);
        const auto out = edges.find(node);
        for (const auto& next : out == edges.end() ? std::set<std::string>{} : out->second) {
            if (cycle) {
                return;
            }
            if (state[next] == 1) {
                std::string text;
                for (auto it = std::find(path.begin(), path.end(), next); it != path.end(); ++it) {
                    text += *it + " -> ";
                }
                cycle = text + next;
                return;
            }
            if (state[next] == 0) {
                visit(next);
            }
        }
        path.pop_back();
        state[node] = 2;
    };
    for (const auto& [node, targets] : edges) {
        if (!cycle && state[node] == 0) {
            visit(node);
        }
    }
    return cycle;
}

}  // namespace

TEST(Layers, TheRuleRefusesIncludesThatClimbOrLeaveTheirColumn) {
    const Columns columns = parseColumns(
        "program: platform libs/include | support | memory | discovery | app/station | support/ui "
        "| */ui | app/ui\n"
        "libraries: platform libs/include | libs/common | libs/radiox\n");
    struct Case {
        const char* from;
        const char* include;
        bool allowed;
    };
    const Case cases[] = {
        {"discovery", "memory/md5.h", true},
        {"memory", "discovery/sighting.h", false},
        {"memory", "memory/md5.h", true},
        {"discovery", "libs/include/radiox.h", true},
        {"discovery", "libs/radiox/btradio.h", false},
        {"libs/radiox", "libs/common/dllcomponent.h", true},
        {"libs/radiox", "support/texts.h", false},
        {"campaigns/ui", "support/ui/resofilter.h", true},
        {"campaigns/ui", "app/station/threadcenter.h", true},
        {"discovery", "support/ui/resofilter.h", false},
        {"app/station", "campaigns/ui/campaigndlg.h", false},
        {"app/ui", "campaigns/ui/campaigndlg.h", true},
    };
    for (const auto& c : cases) {
        const auto from = folderOf(columns, c.from);
        const auto to = folderOf(columns, fs::path(c.include).parent_path().string());
        ASSERT_TRUE(from && to) << c.from << " " << c.include;
        EXPECT_EQ(mayInclude(columns, *from, *to), c.allowed) << c.from << " " << c.include;
    }
    EXPECT_EQ(cycleIn({{"a", {"b"}}, {"b", {"c"}}, {"c", {"a"}}}), "a -> b -> c -> a");
    EXPECT_EQ(cycleIn({{"a", {"b", "c"}}, {"b", {"c"}}}), std::nullopt);
}

TEST(Layers, NoFileIncludesFromAboveItsLayerAndNoFoldersIncludeEachOther) {
    const Columns columns = documentedColumns();
    ASSERT_FALSE(columns.empty()) << "ARCHITECTURE.md has no ```layers block";
    std::vector<std::string> problems;
    std::map<std::string, std::set<std::string>> edges;
    for (const Include& include : projectIncludes(columns, problems)) {
        const std::string directory = fs::path(include.path).parent_path().string();
        if (directory.empty()) {
            continue;  // a file beside the includer
        }
        const auto to = folderOf(columns, directory);
        if (!to) {
            problems.push_back(include.file + " includes " + include.path +
                               ", from a folder the layer map does not name");
        } else if (!mayInclude(columns, include.fromFolder, *to)) {
            problems.push_back(include.file + " (" + include.fromFolder + ") includes " +
                               include.path + " (" + *to + ")");
        } else if (*to != include.fromFolder) {
            edges[include.fromFolder].insert(*to);
        }
    }
    for (const auto& problem : problems) {
        ADD_FAILURE() << problem;
    }
    const auto cycle = cycleIn(edges);
    EXPECT_FALSE(cycle) << "folders include each other: " << cycle.value_or("");
    EXPECT_TRUE(edges.contains("app/station")) << "the scan finds the includes";
}
