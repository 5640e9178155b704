#include "seem/seem_lists.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/prompter.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

int loadInto(std::vector<std::string>& table, const std::string& path, const char* missingText,
             Prompter& prompter) {
    std::vector<std::string> entries;
    if (!readListFile(path, entries)) {
        prompter.ask({"Warning", missingText, PromptButtons::Ok, PromptIcon::None, false});
        return -1;
    }
    table = std::move(entries);
    return 0;
}

}  // namespace

std::vector<std::string> parseListFile(std::string_view fileBytes) {
    std::vector<std::string> entries;
    if (fileBytes.find('\n') == std::string_view::npos) return entries;
    std::string line;
    // Ends one line; false when it was empty, which ends the list.
    auto endLine = [&]() -> bool {
        if (line.empty()) return false;
        if (line.front() != '#') entries.push_back(line);
        line.clear();
        return true;
    };
    for (char c : fileBytes) {
        if (c == '\r') continue;
        if (c != '\n' && c != '\0') {
            line.push_back(c);
        } else if (!endLine()) {
            return entries;
        }
    }
    endLine();
    return entries;
}

bool readListFile(const std::string& path, std::vector<std::string>& entries) {
    const auto bytes = readTextFile(path);
    if (!bytes) return false;
    entries = parseListFile(*bytes);
    return true;
}

int SeemLists::loadSeemList(const std::string& programFolder, Prompter& prompter) {
    return loadInto(seems_, programFolder + "/" + kSeemListFile, "Seem list file not found",
                    prompter);
}

int SeemLists::loadSeemCategories(const std::string& programFolder, Prompter& prompter) {
    return loadInto(categories_, programFolder + "/" + kCategoriesFile,
                    "Seem categories file not found", prompter);
}

std::string_view SeemLists::seemEntry(size_t index) const {
    if (index >= seems_.size()) return {};
    return seems_[index];
}

std::string_view SeemLists::category(uint32_t seemNumber) const {
    if (seemNumber >= categories_.size()) return {};
    return categories_[seemNumber];
}

}  // namespace mdk
