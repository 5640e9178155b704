#pragma once
#include <cstdint>
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

// One row of a pane's list: the three column texts and the row's parameter (its index
// after the last renumbering). Column 1 starting with "<" marks a folder-like row.
struct PaneRow {
    std::string name;
    std::string size;
    std::string detail;  // PC: date and time of last write
    bool folder = false;
    uint32_t param = 0;
};

inline constexpr const char* kDirSizeText = "< DIR >";
// Marker that starts a favourite folder entry's text.
inline constexpr char kFavouriteMarker = '_';

}  // namespace mdk
