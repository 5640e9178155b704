#include "mount/folder_index.h"

#include <strings.h>

#include <algorithm>
#include <utility>

#include "base/ascii_case.h"

namespace mdk {
namespace {

constexpr uint32_t kFolderBit = 0x1000;

}  // namespace

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::pair<std::string_view, std::string_view> FolderIndex::split(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {std::string_view(), path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

bool FolderIndex::plainPath(std::string_view path) {
    if (path.empty() || path[0] != '/') return false;
    for (size_t start = 1; start <= path.size();) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = slash + 1;
    }
    return true;
}

FolderIndex::Folder& FolderIndex::folder(std::string_view path) {
    auto found = folders_.find(asciiLower(path));
    if (found != folders_.end()) return found->second;
    addFolder(path);
    return folders_[asciiLower(path)];
}

void FolderIndex::addFolder(std::string_view path) {
    if (path.empty() || folders_.count(asciiLower(path))) return;
    const auto [parent, name] = split(path);
    Folder& above = folder(parent);
    auto [entry, added] = above.try_emplace(std::string(name));
    if (added) entry->second.name = std::string(name);
    entry->second.folder = true;
    folders_.try_emplace(asciiLower(path));
}

bool FolderIndex::addRecord(std::string_view path, uint32_t attributes, uint32_t size) {
    if (!plainPath(path)) return false;
    if (attributes & kFolderBit) {
        addFolder(path);
        if (IndexEntry* entry = find(path)) entry->attributes = attributes;
        return true;
    }
    const auto [parent, name] = split(path);
    Folder& above = folder(parent);
    const auto [entry, added] = above.try_emplace(std::string(name));
    if (added) entry->second = IndexEntry{std::string(name), false, size, attributes};
    return true;
}

void FolderIndex::setFile(std::string_view path, uint32_t size, uint32_t attributes) {
    const auto [parent, name] = split(path);
    Folder& above = folder(parent);
    IndexEntry& entry = above[std::string(name)];
    if (entry.name.empty()) entry.name = std::string(name);
    entry.folder = false;
    entry.size = size;
    entry.attributes = attributes;
}

void FolderIndex::removeBelow(const std::string& path) {
    const std::string prefix = asciiLower(path) + "/";
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->first.compare(0, prefix.size(), prefix) == 0) {
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderIndex::remove(std::string_view path) {
    const auto [parent, name] = split(path);
    auto above = folders_.find(asciiLower(parent));
    if (above == folders_.end()) return;
    auto entry = above->second.find(std::string(name));
    if (entry == above->second.end()) return;
    if (entry->second.folder) {
        folders_.erase(asciiLower(path));
        removeBelow(std::string(path));
    }
    above->second.erase(entry);
}

const IndexEntry* FolderIndex::find(std::string_view path) const {
    const auto [parent, name] = split(path);
    auto above = folders_.find(asciiLower(parent));
    if (above == folders_.end() || name.empty()) return nullptr;
    auto entry = above->second.find(std::string(name));
    return entry == above->second.end() ? nullptr : &entry->second;
}

IndexEntry* FolderIndex::find(std::string_view path) {
    return const_cast<IndexEntry*>(std::as_const(*this).find(path));
}

const FolderIndex::Folder* FolderIndex::children(std::string_view path) const {
    auto found = folders_.find(asciiLower(path));
    return found == folders_.end() ? nullptr : &found->second;
}

}  // namespace mdk
