#include "panes/pane_set.h"

#include <utility>

namespace mdk {

namespace {

EntryIcon phoneEntryIcon(uint32_t index) {
    if (index == 0) return EntryIcon::Program;
    if (index == kSeemEntry) return EntryIcon::SeemTool;
    return EntryIcon::Volume;
}

}  // namespace

PaneSet::PaneSet() {
    for (auto& location : locations_) {
        for (uint32_t i = 0; i < kPhoneEntryCount; ++i) {
            location.entries.push_back({"", phoneEntryIcon(i), ""});
        }
    }
}

void PaneSet::setListener(PaneListener* listener) {
    listener_ = listener;
}

void PaneSet::notify(Side side) {
    if (PaneListener* listener = listener_.load()) listener->locationsChanged(side);
}

std::vector<LocationEntry> PaneSet::entries(Side side) const {
    std::lock_guard lock(mutex_);
    return at(side).entries;
}

std::optional<LocationEntry> PaneSet::entry(Side side, uint32_t index) const {
    std::lock_guard lock(mutex_);
    const auto& entries = at(side).entries;
    if (index >= entries.size()) return std::nullopt;
    return entries[index];
}

size_t PaneSet::entryCount(Side side) const {
    std::lock_guard lock(mutex_);
    return at(side).entries.size();
}

void PaneSet::setEntries(Side side, std::vector<LocationEntry> entries) {
    {
        std::lock_guard lock(mutex_);
        at(side).entries = std::move(entries);
    }
    notify(side);
}

void PaneSet::appendEntry(Side side, LocationEntry entry) {
    {
        std::lock_guard lock(mutex_);
        at(side).entries.push_back(std::move(entry));
    }
    notify(side);
}

bool PaneSet::removeEntry(Side side, uint32_t index) {
    {
        std::lock_guard lock(mutex_);
        auto& entries = at(side).entries;
        if (index >= entries.size()) return false;
        entries.erase(entries.begin() + index);
    }
    notify(side);
    return true;
}

void PaneSet::setPhoneEntryTexts(const std::array<std::string, kPhoneEntryCount>& texts) {
    {
        std::lock_guard lock(mutex_);
        for (auto& location : locations_) {
            for (uint32_t i = 0; i < kPhoneEntryCount && i < location.entries.size(); ++i) {
                location.entries[i].text = texts[i];
            }
        }
    }
    notify(Side::Left);
    notify(Side::Right);
}

void PaneSet::setStartupPhoneTexts(const std::array<std::string, kPhoneEntryCount>& texts) {
    {
        std::lock_guard lock(mutex_);
        startupPhoneTexts_ = texts;
    }
    setPhoneEntryTexts(texts);
}

void PaneSet::resetPhoneEntries() {
    std::array<std::string, kPhoneEntryCount> texts;
    {
        std::lock_guard lock(mutex_);
        texts = startupPhoneTexts_;
    }
    setPhoneEntryTexts(texts);
}

std::optional<uint32_t> PaneSet::firstFavourite(Side side) const {
    std::lock_guard lock(mutex_);
    const auto& entries = at(side).entries;
    for (uint32_t i = kFirstPcEntry; i < entries.size(); ++i) {
        if (!entries[i].text.empty() && entries[i].text[0] == kFavouriteMarker) return i;
    }
    return std::nullopt;
}

uint32_t PaneSet::locationIndex(Side side) const {
    std::lock_guard lock(mutex_);
    return at(side).index;
}

void PaneSet::setLocationIndex(Side side, uint32_t index) {
    std::lock_guard lock(mutex_);
    at(side).index = index;
}

std::string PaneSet::phoneFolder(Side side) const {
    std::lock_guard lock(mutex_);
    return at(side).phoneFolder;
}

void PaneSet::setPhoneFolder(Side side, std::string folder) {
    std::lock_guard lock(mutex_);
    at(side).phoneFolder = std::move(folder);
}

std::string PaneSet::pcPath(Side side) const {
    std::lock_guard lock(mutex_);
    return at(side).pcPath;
}

void PaneSet::setPcPath(Side side, std::string path) {
    std::lock_guard lock(mutex_);
    at(side).pcPath = std::move(path);
}

std::string PaneSet::pathText(Side side) const {
    std::lock_guard lock(mutex_);
    return at(side).pathText;
}

void PaneSet::setPathText(Side side, std::string text) {
    std::lock_guard lock(mutex_);
    at(side).pathText = std::move(text);
}

}  // namespace mdk
