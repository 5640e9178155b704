#pragma once
#include <cstdint>
#include <ctime>
#include <string>

namespace mdk {

// The two panes of the main window.
enum class Side : int { Left = 0, Right = 1 };

inline constexpr int sideIndex(Side side) {
    return static_cast<int>(side);
}
inline constexpr Side otherSide(Side side) {
    return side == Side::Left ? Side::Right : Side::Left;
}

// Location entries: 0 to 3 phone volumes, 4 the seem pseudo-folder, 5 and above PC
// locations (drive entries, then favourite folders).
inline constexpr uint32_t kSeemEntry = 4;
inline constexpr uint32_t kFirstPcEntry = 5;
// The PC location every failed entry falls back to: the user's home folder.
inline constexpr uint32_t kFallbackEntry = 6;
inline constexpr uint32_t kPhoneEntryCount = 5;

enum class LocationKind { PhoneVolume, SeemFolder, Pc };

// What a pane shows is decided on its location index alone.
inline constexpr LocationKind locationKind(uint32_t index) {
    if (index < kSeemEntry) return LocationKind::PhoneVolume;
    if (index == kSeemEntry) return LocationKind::SeemFolder;
    return LocationKind::Pc;
}

// The small icon drawn beside a location entry.
enum class EntryIcon {
    Program,    // the program's own icon: first phone volume, favourite folders
    Volume,     // further phone volumes
    SeemTool,   // the seem pseudo-folder
    Root,       // the file system root
    Home,       // the user's home folder
    Removable,  // removable media
    LocalDisk,  // other local disks
    Network,    // network mounts
    Optical,    // CD and DVD media
    RamDisk,    // RAM disks
    EmptySlot,  // a phone location slot without a volume
};

// One entry of a location combo.
struct LocationEntry {
    std::string text;
    EntryIcon icon = EntryIcon::Program;
    // The folder a drive entry opens (its mount point); empty for phone entries and for
    // favourites, whose folder is the text after the "_" marker.
    std::string root;

    bool operator==(const LocationEntry&) const = default;
};

// What a row of a pane's list stands for.
enum class RowKind {
    Parent,      // ".." (one level up)
    Folder,      // a PC or phone folder
    File,        // a PC or phone file
    Seem,        // a seem of the seem pseudo-folder
    SeemRecord,  // one record of a seem
};

// One row of a pane's list: what it stands for, as typed values, and the texts of its
// columns 1 and 2, made from those values when the row is made (src/panes/pane_rows.*)
// and read only to show them. param is its index after the last renumbering.
struct PaneRow {
    RowKind kind = RowKind::File;
    std::string name;
    std::string path;          // the PC path, or the phone path of a phone row
    uint64_t size = 0;         // bytes: files and seem records
    bool unlisted = false;     // a hidden phone file: its size is a bound, not listed
    uint32_t attributes = 0;   // phone rows: the catalogue's word as the pane reads it
    std::time_t modified = 0;  // PC rows: the last write
    std::string sizeText;      // column 1
    std::string detailText;    // column 2: date and time, attribute text or seem category
    uint32_t param = 0;

    // Folder-like rows (a folder, "..", a seem) sort first and are entered, not opened.
    bool isFolder() const { return kind != RowKind::File && kind != RowKind::SeemRecord; }
};

inline constexpr const char* kDirSizeText = "< DIR >";
// Marker that starts a favourite folder entry's text.
inline constexpr char kFavouriteMarker = '_';

}  // namespace mdk
