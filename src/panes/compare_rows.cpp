#include "panes/compare_rows.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "panes/pane_rows.h"

namespace mdk {

namespace {

bool isDotDot(const PaneRow& row) {
    return row.name.rfind("..", 0) == 0;
}

int32_t sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

int32_t compareValues(uint32_t first, uint32_t second) {
    if (first < second) return -1;
    return first > second ? 1 : 0;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

int compareNames(std::string_view first, std::string_view second) {
    const std::string a = lowered(first);
    const std::string b = lowered(second);
    int order = std::strcoll(a.c_str(), b.c_str());
    return order != 0 ? order : a.compare(b);
}

int32_t compareRows(const PaneRow& first, const PaneRow& second, int32_t mode) {
    const bool firstFolder = first.isFolder();
    const bool secondFolder = second.isFolder();
    if (firstFolder != secondFolder) return firstFolder ? -1 : 1;
    if (firstFolder && isDotDot(first) != isDotDot(second)) return isDotDot(first) ? -1 : 1;
    switch (mode) {
        case kSortSizeAscending:
            return compareValues(rowSortSize(first), rowSortSize(second));
        case kSortSizeDescending:
            return compareValues(rowSortSize(second), rowSortSize(first));
        case kSortNameAscending:
            return sign(compareNames(first.name, second.name));
        default:
            return sign(compareNames(second.name, first.name));
    }
}

void renumberRows(std::vector<PaneRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) rows[i].param = static_cast<uint32_t>(i);
}

void sortRows(std::vector<PaneRow>& rows, int32_t mode) {
    std::stable_sort(rows.begin(), rows.end(), [mode](const PaneRow& a, const PaneRow& b) {
        return compareRows(a, b, mode) < 0;
    });
    renumberRows(rows);
}

std::optional<ColumnSort> columnClick(int column, int32_t& nameSortMode, int32_t& sizeSortState) {
    ColumnSort sort;
    if (column == 0) {
        nameSortMode =
            (nameSortMode == 0 || nameSortMode == 4) ? kSortNameAscending : kSortNameDescending;
        sort.mode = nameSortMode;
        sort.nameImage =
            nameSortMode == kSortNameAscending ? kHeaderImageAscending : kHeaderImageDescending;
        sort.sizeImage = kHeaderImageNone;
        return sort;
    }
    if (column == 1) {
        sizeSortState = (sizeSortState == 0 || sizeSortState == 2) ? 1 : 2;
        sort.mode = sizeSortState == 1 ? kSortSizeAscending : kSortSizeDescending;
        sort.sizeImage = sizeSortState == 1 ? kHeaderImageAscending : kHeaderImageDescending;
        sort.nameImage = kHeaderImageNone;
        return sort;
    }
    return std::nullopt;
}

}  // namespace mdk
