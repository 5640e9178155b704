#include "seem/seem_functions.h"

#include <algorithm>

#include "seem/seem_lists.h"

namespace mdk {
namespace {

constexpr size_t kFieldsBeforeDescription = 4;

// Cuts the four ";"-ended fields and the description; false when the line has fewer than
// four ";".
bool cutFields(const std::string& line, SeemFunction& function) {
    std::string* fields[kFieldsBeforeDescription] = {&function.seemText, &function.recordText,
                                                     &function.offsetText, &function.bitText};
    size_t start = 0;
    for (std::string* field : fields) {
        const size_t end = line.find(';', start);
        if (end == std::string::npos) return false;
        *field = line.substr(start, end - start);
        start = end + 1;
    }
    function.description = line.substr(start);
    return true;
}

void addressOf(SeemFunction& function) {
    function.heading = !function.offsetText.empty() && function.offsetText[0] == '-';
    if (function.heading) return;
    SeemBitResult failure;
    function.address = parseSeemBitFields(function.seemText, function.recordText,
                                          function.offsetText, function.bitText, failure);
    if (!function.address) function.fault = failure.detail;
}

}  // namespace

SeemCatalogue parseSeemCatalogue(std::string_view fileBytes) {
    SeemCatalogue catalogue;
    for (const std::string& line : parseListFile(fileBytes)) {
        SeemFunction function;
        if (!cutFields(line, function)) {
            catalogue.skippedLines.push_back(line);
            continue;
        }
        addressOf(function);
        catalogue.functions.push_back(std::move(function));
    }
    return catalogue;
}

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return lower;
}

int findSeemFunction(const std::vector<SeemFunction>& functions, std::string_view text,
                     int position) {
    if (text.empty()) return -1;
    const std::string wanted = lowerAscii(text);
    const size_t first = position < 0 ? 0 : size_t(position) + 1;
    for (size_t i = first; i < functions.size(); ++i) {
        if (lowerAscii(functions[i].description).find(wanted) != std::string::npos) {
            return int(i);
        }
    }
    return -1;
}

}  // namespace mdk
