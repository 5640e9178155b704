#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "panes/pane_types.h"

namespace mdk {

// Sort modes of compareRows.
inline constexpr int32_t kSortSizeAscending = 1;
inline constexpr int32_t kSortSizeDescending = 2;
inline constexpr int32_t kSortNameAscending = 3;
inline constexpr int32_t kSortNameDescending = 4;

// The order of two rows: folder-like rows first, ".." first among folders, then by mode:
// 1 size ascending, 2 size descending (by rowSortSize, the 32-bit value of the size text),
// 3 names ascending, any other value names descending. Negative, zero or positive. Size
// values are compared, not subtracted, so sizes of 2 GB and more keep their order.
int32_t compareRows(const PaneRow& first, const PaneRow& second, int32_t mode);

// Case-insensitive, locale-aware name order.
int compareNames(std::string_view first, std::string_view second);

// Sorts the rows in mode (stable) and renumbers them.
void sortRows(std::vector<PaneRow>& rows, int32_t mode);
// Sets every row's parameter to its index.
void renumberRows(std::vector<PaneRow>& rows);

// Header images of a pane's columns 0 and 1 (index into the header strip).
inline constexpr int kHeaderImageNone = 0;
inline constexpr int kHeaderImageDescending = 1;
inline constexpr int kHeaderImageAscending = 2;

struct ColumnSort {
    int32_t mode = kSortNameAscending;  // the mode to sort the clicked pane with
    int nameImage = kHeaderImageAscending;
    int sizeImage = kHeaderImageNone;
};

// A click on a column header: the name column toggles nameSortMode between 3 and 4, the
// size column toggles sizeSortState between 1 and 2 (nameSortMode stays), the date column
// does nothing (nullopt).
std::optional<ColumnSort> columnClick(int column, int32_t& nameSortMode, int32_t& sizeSortState);

}  // namespace mdk
