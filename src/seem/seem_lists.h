#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mdk {

class Prompter;

// The entries of a list file: lines end in LF, CR bytes are dropped wherever they stand,
// a line that begins with "#" is a comment, and the first empty line ends the list. A
// text without any LF holds no entries; otherwise the last line needs no LF of its own.
// A zero byte ends a line as an LF does.
std::vector<std::string> parseListFile(std::string_view fileBytes);

// Reads a list file whole. False when it cannot be opened or read.
bool readListFile(const std::string& path, std::vector<std::string>& entries);

// The known seem numbers ("Seem.lst", one four-digit hexadecimal number per line) and the
// category names ("SeemCategories.lst", entry n names the category of seem number n), as
// the seem folder of a phone pane shows them.
class SeemLists {
public:
    static constexpr const char* kSeemListFile = "Seem.lst";
    static constexpr const char* kCategoriesFile = "SeemCategories.lst";

    // Each loads its file from the program folder and returns 0. A file that cannot be
    // opened shows its warning box, returns -1 and keeps the previous table.
    int loadSeemList(const std::string& programFolder, Prompter& prompter);
    int loadSeemCategories(const std::string& programFolder, Prompter& prompter);

    size_t seemCount() const { return seems_.size(); }
    // The seem list entry as written in the file; empty past the end.
    std::string_view seemEntry(size_t index) const;
    // The category of a seem number; empty for a number without an entry.
    std::string_view category(uint32_t seemNumber) const;
    size_t categoryCount() const { return categories_.size(); }

private:
    std::vector<std::string> seems_;
    std::vector<std::string> categories_;
};

}  // namespace mdk
