#include "layer_rules.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

namespace mdk::layering {
namespace fs = std::filesystem;

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// The longest folder of the table that holds `path` (relative, with "/"), or "".
std::string folderOf(const std::string& path, const LayerRules& rules) {
    std::string best;
    for (const auto& folder : rules.folders) {
        if (path.rfind(folder + "/", 0) == 0 && folder.size() > best.size()) best = folder;
    }
    return best;
}

// The file an include names: tried below src/ first, then below the root.
std::string resolveInclude(const fs::path& root, const std::string& include) {
    for (const std::string prefix : {"src/", ""}) {
        if (fs::exists(root / (prefix + include))) return prefix + include;
    }
    return {};
}

bool isSource(const fs::path& p) {
    const auto ext = p.extension().string();
    return ext == ".h" || ext == ".cpp";
}

struct Include {
    std::string file;
    int line;
    std::string text;
};

std::vector<Include> includesBelow(const fs::path& root, const LayerRules& rules) {
    static const std::regex includeLine(R"(^\s*#\s*include\s*"([^"]+)\")");
    std::vector<Include> out;
    std::set<std::string> tops;
    for (const auto& folder : rules.folders) tops.insert(folder.substr(0, folder.find('/')));
    for (const auto& top : tops) {
        if (!fs::is_directory(root / top)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
            if (!entry.is_regular_file() || !isSource(entry.path())) continue;
            const auto rel = fs::relative(entry.path(), root).generic_string();
            std::ifstream in(entry.path());
            std::string text;
            for (int n = 1; std::getline(in, text); ++n) {
                std::smatch m;
                if (std::regex_search(text, m, includeLine)) out.push_back({rel, n, m[1]});
            }
        }
    }
    std::sort(out.begin(), out.end(), [](const Include& a, const Include& b) {
        return std::tie(a.file, a.line) < std::tie(b.file, b.line);
    });
    return out;
}

}  // namespace

LayerRules parseLayerRules(const std::string& text) {
    LayerRules rules;
    std::istringstream in(text);
    std::set<std::string> below;  // folders of every level read so far
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const auto hash = line.find('#');
        const auto w = words(line.substr(0, hash));
        if (w.empty()) continue;
        if (w[0] == "layer" && w.size() >= 2) {
            for (size_t i = 1; i < w.size(); ++i) {
                rules.folders.push_back(w[i]);
                rules.allowed[w[i]] = below;
            }
            below.insert(w.begin() + 1, w.end());
        } else if (w[0] == "program" && w.size() >= 2) {
            rules.folders.push_back(w[1]);
            rules.allowed[w[1]] = {w.begin() + 2, w.end()};
        } else if (w[0] == "also" && w.size() == 3 && rules.allowed.count(w[1])) {
            rules.allowed[w[1]].insert(w[2]);
        } else {
            rules.errors.push_back("line " + std::to_string(number) + ": " + line);
        }
    }
    return rules;
}

std::vector<Violation> findViolations(const fs::path& root, const LayerRules& rules) {
    std::vector<Violation> out;
    for (const auto& inc : includesBelow(root, rules)) {
        const auto from = folderOf(inc.file, rules);
        const auto target = resolveInclude(root, inc.text);
        if (target.empty()) {
            out.push_back({inc.file, inc.line, inc.text, "names no file of the tree"});
            continue;
        }
        const auto to = folderOf(target, rules);
        if (to.empty() || to == from) continue;
        if (!rules.allowed.at(from).count(to)) {
            out.push_back({inc.file, inc.line, inc.text, from + " may not use " + to});
        }
    }
    return out;
}

std::vector<std::string> findMutualIncludes(const fs::path& root, const LayerRules& rules) {
    std::set<std::pair<std::string, std::string>> edges;
    for (const auto& inc : includesBelow(root, rules)) {
        const auto target = resolveInclude(root, inc.text);
        if (target.empty()) continue;
        const auto from = folderOf(inc.file, rules);
        const auto to = folderOf(target, rules);
        if (!to.empty() && to != from) edges.insert({from, to});
    }
    std::vector<std::string> out;
    for (const auto& [a, b] : edges) {
        if (a < b && edges.count({b, a})) out.push_back(a + " <-> " + b);
    }
    return out;
}

}  // namespace mdk::layering
