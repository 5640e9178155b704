#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "p2k/catalogue.h"
#include "panes/pane_types.h"
#include "panes/pc_listing.h"

namespace mdk {

// The rows of the panes, made from typed values; the column texts are made here, once,
// for display only.

inline constexpr const char* kSeemSizeText = "< SEEM >";

// ".." of a PC or phone folder or a seem's records: "< DIR >", no detail.
PaneRow parentRow(std::string path = {});
// A PC folder or file: "< DIR >" or the low 32 bits of its size, then its last-write time
// as dateText gives it.
PaneRow pcRow(const std::string& name, const std::string& path, bool folder, uint64_t size,
              std::time_t modified, const DateFormatter& dateText);
// A phone folder or file of the catalogue's listing: "< DIR >" or the size in decimal, then
// the ten-character attribute text. A file of the made-up size of hidden files is unlisted.
PaneRow phoneRow(const PhoneRow& row, const std::string& path);
// A seem of the seem folder: "< SEEM >", then its category.
PaneRow seemRow(const std::string& name, const std::string& category);
// One record of a seem: its length in decimal.
PaneRow seemRecordRow(const std::string& name, uint32_t length);

// The open value of a phone row's download and write-back: bits 8 to 23 of its attribute
// word, or its low 16 bits over USBLAN.
uint32_t rowOpenMode(const PaneRow& row, bool usblanMode);
// The size a phone row's download expects (the bound of an unlisted file).
uint32_t rowDownloadSize(const PaneRow& row);
// The value column 1 sorts by: the 32-bit value of the size text (folder-like rows: 0).
uint32_t rowSortSize(const PaneRow& row);

}  // namespace mdk
