// Every #include "..." under src/ and sim/ names its folder, and no folder includes one above it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The floors, top to bottom: a file includes from its own floor and the floors below it only.
const std::vector<std::string> kFloors = {"app",  "pages", "operation", "ui",   "device", "catalogue",
                                          "module", "sim", "keys",      "tasks", "link",   "util"};

struct TInclude {
    std::string File;  // relative to the source tree, "src/pages/Frame_Keys.cpp"
    int Line;
    std::string Name;  // as written, "device/ModuleAreas.h", or <QWidget> as "<QWidget>"
};

// The floors that talk to no person: no window, dialog or widget of theirs.
const std::set<std::string> kQuietFloors = {"device", "catalogue", "module", "sim", "keys", "tasks", "link", "util"};

struct TTree {
    fs::path Root;
    std::vector<TInclude> Includes;
};

int FloorIndex(const std::string& floor)
{
    const auto it = std::find(kFloors.begin(), kFloors.end(), floor);
    return it == kFloors.end() ? -1 : int(it - kFloors.begin());
}

// "src/device/ModuleAreas.cpp" and "sim/ModuleSim.h" alike: the folder the file sits in.
std::string FloorOfFile(const std::string& file)
{
    const fs::path path(file);
    return path.parent_path().filename().string();
}

// The folder an include names; empty when it names none.
std::string FloorOfInclude(const std::string& name)
{
    const auto slash = name.find('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

bool IsSystem(const std::string& name)
{
    return !name.empty() && name[0] == '<';
}

// Made by the build next to the file that includes it.
bool IsGenerated(const std::string& name)
{
    return name.rfind("ui_", 0) == 0 || fs::path(name).extension() == ".moc";
}

TTree ReadTree()
{
    TTree tree{fs::path(ZEM_SOURCE_DIR), {}};
    static const std::regex include(R"re(^\s*#\s*include\s*("[^"]+"|<[^>]+>))re");
    for (const char* top : {"src", "sim"}) {
        for (const auto& entry : fs::recursive_directory_iterator(tree.Root / top)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
                continue;
            const std::string file = fs::relative(entry.path(), tree.Root).generic_string();
            std::ifstream in(entry.path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch match;
                if (!std::regex_search(line, match, include))
                    continue;
                const std::string name = match[1].str();
                tree.Includes.push_back({file, number, name[0] == '"' ? name.substr(1, name.size() - 2) : name});
            }
        }
    }
    std::sort(tree.Includes.begin(), tree.Includes.end(),
              [](const TInclude& a, const TInclude& b) { return std::tie(a.File, a.Line) < std::tie(b.File, b.Line); });
    return tree;
}

// The file an include names, relative to the source tree: "sim/..." from the top, the rest from src/.
std::string IncludedFile(const std::string& name)
{
    return FloorOfInclude(name) == "sim" ? name : "src/" + name;
}

// A header and its source are one unit: "src/module/Backups".
std::string Unit(const std::string& file)
{
    return (fs::path(file).parent_path() / fs::path(file).stem()).generic_string();
}

// Groups of units that reach each other through includes (strongly connected, more than one).
std::vector<std::vector<std::string>> Circles(const std::map<std::string, std::set<std::string>>& arrows)
{
    std::map<std::string, int> index, low;
    std::vector<std::string> stack;
    std::set<std::string> onStack;
    std::vector<std::vector<std::string>> circles;
    int next = 0;
    std::function<void(const std::string&)> visit = [&](const std::string& unit) {
        index[unit] = low[unit] = next++;
        stack.push_back(unit);
        onStack.insert(unit);
        const auto out = arrows.find(unit);
        if (out != arrows.end()) {
            for (const std::string& to : out->second) {
                if (!index.count(to)) {
                    visit(to);
                    low[unit] = std::min(low[unit], low[to]);
                } else if (onStack.count(to)) {
                    low[unit] = std::min(low[unit], index[to]);
                }
            }
        }
        if (low[unit] != index[unit])
            return;
        std::vector<std::string> group;
        std::string member;
        do {
            member = stack.back();
            stack.pop_back();
            onStack.erase(member);
            group.push_back(member);
        } while (member != unit);
        if (group.size() > 1) {
            std::sort(group.begin(), group.end());
            circles.push_back(group);
        }
    };
    for (const auto& [unit, to] : arrows)
        if (!index.count(unit))
            visit(unit);
    return circles;
}

TEST(IncludeFloors, EveryIncludeNamesAFloorAtOrBelowItsOwn)
{
    const TTree tree = ReadTree();
    ASSERT_GT(tree.Includes.size(), 100u) << "no sources under " << tree.Root;
    int upward = 0;
    for (const TInclude& inc : tree.Includes) {
        if (IsGenerated(inc.Name) || IsSystem(inc.Name))
            continue;
        const std::string where = inc.File + ":" + std::to_string(inc.Line) + ": \"" + inc.Name + "\"";
        const int from = FloorIndex(FloorOfFile(inc.File));
        const int to = FloorIndex(FloorOfInclude(inc.Name));
        EXPECT_GE(from, 0) << inc.File << " sits in no floor";
        if (to < 0) {
            ADD_FAILURE() << where << " names no floor";
            continue;
        }
        EXPECT_TRUE(fs::is_regular_file(tree.Root / IncludedFile(inc.Name))) << where << " names no file";
        if (to >= from)
            continue;
        ++upward;
        ADD_FAILURE() << where << " includes from a floor above its own";
    }
    std::cout << "upward includes: " << upward << "\n";
}

// An upward include already fails the test above.
TEST(IncludeFloors, NoCircleBetweenUnits)
{
    const TTree tree = ReadTree();
    std::map<std::string, std::set<std::string>> arrows;
    for (const TInclude& inc : tree.Includes) {
        if (IsGenerated(inc.Name) || IsSystem(inc.Name) || FloorOfInclude(inc.Name).empty())
            continue;
        const std::string from = Unit(inc.File);
        const std::string to = Unit(IncludedFile(inc.Name));
        if (from != to)
            arrows[from].insert(to);
    }
    const auto circles = Circles(arrows);
    for (const auto& group : circles) {
        std::string names;
        for (const std::string& unit : group)
            names += " " + unit;
        ADD_FAILURE() << "units that include each other:" << names;
    }
    std::cout << "circles: " << circles.size() << "\n";
}

#ifdef ZEM_QT_WIDGETS_DIR
TEST(IncludeFloors, TheDeviceFloorAndThoseBelowIncludeNoWidget)
{
    const fs::path widgets(ZEM_QT_WIDGETS_DIR);
    ASSERT_TRUE(fs::is_regular_file(widgets / "QWidget")) << widgets;
    int found = 0;
    for (const TInclude& inc : ReadTree().Includes) {
        if (!IsSystem(inc.Name) || !kQuietFloors.count(FloorOfFile(inc.File)))
            continue;
        std::string header = inc.Name.substr(1, inc.Name.size() - 2);
        if (header.rfind("QtWidgets/", 0) == 0)
            header = header.substr(std::string("QtWidgets/").size());
        if (fs::exists(widgets / header)) {
            ++found;
            ADD_FAILURE() << inc.File << ":" << inc.Line << ": " << inc.Name << " is a window's header";
        }
    }
    std::cout << "widget headers below the window's floors: " << found << "\n";
}
#endif

}  // namespace
