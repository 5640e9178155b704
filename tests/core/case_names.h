#pragma once
// Names for the cases of parameterised tests, so that test lists show what each case is.
#include <cctype>
#include <string>
#include <string_view>

namespace mdk::test {

// A case description as a test name: letters and digits kept, each run of other characters
// starts a new capitalised word ("rule 1 wins" gives "Rule1Wins").
inline std::string caseName(std::string_view what) {
    std::string name;
    bool wordStart = true;
    for (char c : what) {
        const auto byte = static_cast<unsigned char>(c);
        if (!std::isalnum(byte)) {
            wordStart = true;
            continue;
        }
        name.push_back(wordStart ? static_cast<char>(std::toupper(byte)) : c);
        wordStart = false;
    }
    return name.empty() ? "Unnamed" : name;
}

}  // namespace mdk::test
