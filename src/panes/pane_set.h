#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "panes/pane_types.h"

namespace mdk {

// Told when a pane's location entries or location index changed. Called on the thread
// that made the change (the attach routine and the watcher thread change them from
// their own threads): a GUI implementation posts to its own thread and never blocks.
class PaneListener {
public:
    virtual ~PaneListener() = default;
    virtual void locationsChanged(Side side) = 0;
};

// The state of both panes: location entries, location index, folders, focus and the
// shared sort modes. The location part is guarded by a mutex because the attach routine
// and the watcher thread read and rebuild it; rows belong to the GUI thread.
class PaneSet {
public:
    PaneSet();
    PaneSet(const PaneSet&) = delete;
    PaneSet& operator=(const PaneSet&) = delete;

    void setListener(PaneListener* listener);

    // Location entries.
    std::vector<LocationEntry> entries(Side side) const;
    std::optional<LocationEntry> entry(Side side, uint32_t index) const;
    size_t entryCount(Side side) const;
    void setEntries(Side side, std::vector<LocationEntry> entries);
    void appendEntry(Side side, LocationEntry entry);
    // Removes entry index; false when there is none.
    bool removeEntry(Side side, uint32_t index);
    // Entries 0 to 4 of both sides get these texts (phone volumes, then the seem folder).
    void setPhoneEntryTexts(const std::array<std::string, kPhoneEntryCount>& texts);
    // The texts entries 0 to 4 get back when the phone goes away.
    void setStartupPhoneTexts(const std::array<std::string, kPhoneEntryCount>& texts);
    void resetPhoneEntries();
    // The first entry of a side whose text starts with the favourite marker.
    std::optional<uint32_t> firstFavourite(Side side) const;

    uint32_t locationIndex(Side side) const;
    void setLocationIndex(Side side, uint32_t index);
    LocationKind kind(Side side) const { return locationKind(locationIndex(side)); }

    std::string phoneFolder(Side side) const;
    void setPhoneFolder(Side side, std::string folder);
    // The PC folder a PC pane shows.
    std::string pcPath(Side side) const;
    void setPcPath(Side side, std::string path);
    // What the pane's path field shows.
    std::string pathText(Side side) const;
    void setPathText(Side side, std::string text);

    // Rows of a pane: GUI thread only.
    std::vector<PaneRow>& rows(Side side) { return rows_[static_cast<size_t>(sideIndex(side))]; }
    const std::vector<PaneRow>& rows(Side side) const {
        return rows_[static_cast<size_t>(sideIndex(side))];
    }

    std::atomic<int> activePane{0};
    // 0 at load, 3 once the main window opens; 1 size ascending, 2 size descending,
    // 3 names ascending, 0 and 4 names descending. Shared by both panes.
    std::atomic<int32_t> nameSortMode{0};
    // Which size order was used last: 0, 1 or 2. Shared by both panes.
    std::atomic<int32_t> sizeSortState{0};
    std::array<std::atomic<int32_t>, 2> focusIndex{};
    std::atomic<bool> seemFolderShown{false};
    // The location entry last chosen for the phone: a volume 0 to 3, or 4 for the seems.
    std::atomic<uint32_t> phoneVolumeIndex{0};

    Side active() const { return activePane.load() == 0 ? Side::Left : Side::Right; }

private:
    struct Location {
        std::vector<LocationEntry> entries;
        uint32_t index = kFallbackEntry;
        std::string phoneFolder = "/";
        std::string pcPath;
        std::string pathText;
    };
    void notify(Side side);
    Location& at(Side side) { return locations_[static_cast<size_t>(sideIndex(side))]; }
    const Location& at(Side side) const { return locations_[static_cast<size_t>(sideIndex(side))]; }

    mutable std::mutex mutex_;
    std::array<Location, 2> locations_;
    std::array<std::string, kPhoneEntryCount> startupPhoneTexts_;
    std::array<std::vector<PaneRow>, 2> rows_;
    std::atomic<PaneListener*> listener_{nullptr};
};

}  // namespace mdk
