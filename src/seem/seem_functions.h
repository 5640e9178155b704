#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "seem/seem_bit.h"

namespace mdk {

// The seem function catalogue: CSV lines "seem;record;offset;bit;description" that name
// single seem bits. Numbers are hexadecimal texts, kept as written for display.

inline constexpr const char* kSeemFunctionsP2k = "SeemFunctionsP2k.csv";
inline constexpr const char* kSeemFunctionsP2k05 = "SeemFunctionsP2k05.csv";

// The catalogue file for the framing in use.
inline const char* seemFunctionsFileName(bool p2k05) {
    return p2k05 ? kSeemFunctionsP2k05 : kSeemFunctionsP2k;
}

struct SeemFunction {
    std::string seemText;
    std::string recordText;
    std::string offsetText;
    std::string bitText;
    std::string description;  // runs to the end of the line, ";" included
    // A heading or note line: its offset text begins with "-". It names no bit.
    bool heading = false;
    // The bit the line names; nullopt for a heading and for a line whose fields are not
    // numbers in range (fault then says why).
    std::optional<SeemBitAddress> address;
    std::string fault;
};

struct SeemCatalogue {
    std::vector<SeemFunction> functions;
    // Lines with fewer than four ";", as written: they are left out of the table.
    std::vector<std::string> skippedLines;
};

// Parses the catalogue file. Line rules as the seem list's: CR bytes are dropped, a line
// beginning with "#" is a comment, the first empty line ends the catalogue, a text
// without any LF holds no lines.
SeemCatalogue parseSeemCatalogue(std::string_view fileBytes);

// Letters A-Z turned into a-z; other bytes unchanged.
std::string lowerAscii(std::string_view text);

// The search of the catalogue's descriptions: the first function after position (-1: from
// the top) whose description holds text, letters A-Z compared without case. -1 when the
// walk passes the last function or text is empty.
int findSeemFunction(const std::vector<SeemFunction>& functions, std::string_view text,
                     int position);

}  // namespace mdk
