#include "panes/pc_panes.h"

#include "base/event_log.h"
#include "config/config_record.h"
#include "panes/compare_rows.h"
#include "panes/drive_entries.h"

namespace mdk {

void PcPanes::fillLocations(Side side, const std::vector<LocationEntry>& drives,
                            const std::string& favourite) {
    std::vector<LocationEntry> entries = panes_.entries(side);
    entries.resize(kPhoneEntryCount);
    entries.insert(entries.end(), drives.begin(), drives.end());
    // No favourite stored: no entry (a blank entry would only carry the program icon).
    if (!favourite.empty()) entries.push_back({favourite, EntryIcon::Program, ""});
    panes_.setEntries(side, std::move(entries));
}

void PcPanes::showFolder(Side side, const std::string& folder) {
    panes_.setPcPath(side, folder);
    panes_.setPathText(side, folder);
}

bool PcPanes::enterFolder(Side side, const std::string& folder) {
    if (folder.empty() || folder[0] != '/') return false;
    const std::string path = normalPath(folder);
    if (!enterableFolder(path)) return false;
    showFolder(side, path);
    return true;
}

bool PcPanes::enterPcLocation(Side side, uint32_t entryIndex) {
    auto entry = panes_.entry(side, entryIndex);
    if (!entry) return false;
    if (side == Side::Left) log_.logLine(entry->text);
    if (!entry->text.empty() && entry->text[0] == kFavouriteMarker) {
        return enterFolder(side, normalPath(entry->text.substr(1)));
    }
    if (entry->root.empty()) return false;
    auto last = lastVisited_.find(entry->root);
    if (last != lastVisited_.end() && enterFolder(side, last->second)) return true;
    return enterFolder(side, entry->root);
}

void PcPanes::selectPcLocation(Side side, uint32_t entryIndex) {
    panes_.setLocationIndex(side, entryIndex);
    if (!enterPcLocation(side, entryIndex)) {
        panes_.setLocationIndex(side, kFallbackEntry);
        enterPcLocation(side, kFallbackEntry);
    }
    listPcFolder(side);
}

void PcPanes::startPane(Side side, uint32_t savedIndex, const std::string& savedFolder) {
    uint32_t entryIndex = savedIndex < kFirstPcEntry ? kFallbackEntry : savedIndex;
    if (entryIndex >= panes_.entryCount(side)) entryIndex = kFallbackEntry;
    panes_.setLocationIndex(side, entryIndex);
    if (savedFolder.empty() || !enterFolder(side, savedFolder)) {
        selectPcLocation(side, entryIndex);
        return;
    }
    listPcFolder(side);
}

void PcPanes::listPcFolder(Side side) {
    const std::string folder = panes_.pcPath(side);
    // Only "/" and mount points are drive roots; every other folder lists "..".
    roots_[index(side)] = driveRootOf(panes_.entries(side), normalPath(folder));
    const bool below = belowRoot(side);
    auto& rows = panes_.rows(side);
    rows = readPcFolder(folder, below, dateText_);
    sortRows(rows, panes_.nameSortMode.load());
    if (!folder.empty()) lastVisited_[ownerRoot(panes_.entries(side), normalPath(folder))] = folder;
}

bool PcPanes::belowRoot(Side side) const {
    const std::string folder = panes_.pcPath(side);
    const std::string& base = roots_[index(side)];
    return pathWithin(folder, base) && normalPath(folder) != normalPath(base);
}

Activation PcPanes::activatePcRow(Side side, const std::string& name) {
    const std::string folder = panes_.pcPath(side);
    const std::string target = normalPath(childPath(folder, name));
    if (name != ".." || belowRoot(side)) {
        if (enterableFolder(target) && pathWithin(target, root(side))) {
            showFolder(side, target);
            listPcFolder(side);
            return {Activation::Kind::Entered, target};
        }
    }
    return {Activation::Kind::OpenWithShell, childPath(folder, name)};
}

DropOutcome PcPanes::dropFileOnPane(Side target, const std::string& file) {
    const LocationKind targetKind = panes_.kind(target);
    const LocationKind otherKind = panes_.kind(otherSide(target));
    if (targetKind == LocationKind::Pc && otherKind == LocationKind::Pc) {
        const size_t slash = file.find_last_of('/');
        const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
        if (!name.empty()) copyPcFile(file, childPath(panes_.pcPath(target), name), false);
        listPcFolder(target);
        return DropOutcome::CopiedToPc;
    }
    if (targetKind == LocationKind::PhoneVolume && otherKind != LocationKind::PhoneVolume) {
        return DropOutcome::ToPhone;
    }
    return DropOutcome::Ignored;
}

bool PcPanes::addFavourite(ConfigRecord& config) {
    const std::string text = std::string(1, kFavouriteMarker) + panes_.pathText(Side::Left);
    // The stored field holds the text and its terminating zero.
    if (text.size() + 1 > configTextWidth("favouriteFolder")) return false;
    for (Side side : {Side::Left, Side::Right}) {
        panes_.appendEntry(side, {text, EntryIcon::Program, ""});
    }
    config.favouriteFolder = text;
    return true;
}

bool PcPanes::deleteFavourite(ConfigRecord& config) {
    auto found = panes_.firstFavourite(Side::Left);
    if (!found) return false;
    const std::string text = panes_.entry(Side::Left, *found)->text;
    for (Side side : {Side::Left, Side::Right}) {
        panes_.removeEntry(side, *found);
        // Keep each pane's index on the entry it showed; a pane that showed the deleted
        // favourite goes back to the fallback location at its next re-read.
        const uint32_t shown = panes_.locationIndex(side);
        if (shown > *found) panes_.setLocationIndex(side, shown - 1);
        if (shown == *found) panes_.setLocationIndex(side, kFallbackEntry);
    }
    if (config.favouriteFolder == text) config.favouriteFolder.clear();
    return true;
}

}  // namespace mdk
