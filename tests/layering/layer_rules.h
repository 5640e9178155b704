#pragma once
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace mdk::layering {

// The allowed-includes table: for each folder (relative to the source root, e.g.
// "src/p2k"), the folders it may include from besides itself.
struct LayerRules {
    std::vector<std::string> folders;  // every folder the table names
    std::map<std::string, std::set<std::string>> allowed;
    std::vector<std::string> errors;  // lines of the table that could not be read
};

LayerRules parseLayerRules(const std::string& text);

// One `#include "..."` that breaks the rules.
struct Violation {
    std::string file;  // relative to the source root
    int line = 0;
    std::string include;
    std::string reason;
};

// Reads every source file below the rules' folders under `root` and returns each include
// that reaches a folder its own folder may not use, or that names no file of the tree.
std::vector<Violation> findViolations(const std::filesystem::path& root, const LayerRules& rules);

// Pairs of folders that include each other, as "a <-> b".
std::vector<std::string> findMutualIncludes(const std::filesystem::path& root,
                                            const LayerRules& rules);

}  // namespace mdk::layering
