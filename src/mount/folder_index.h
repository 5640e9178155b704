#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mdk {

// One name of a mounted folder.
struct IndexEntry {
    std::string name;  // as the phone lists it
    bool folder = false;
    uint32_t size = 0;
    uint32_t attributes = 0;  // the record's attribute word as the phone pane reads it
};

// Names compared as the phone's file system does: case ignored (ASCII).
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// The phone's files by folder, built from catalogue records: a lookup or a listing costs
// one map search, never a scan of every record. Folders are named by their full path
// without a closing "/" ("" is the root, "/a/mobile" a folder), case ignored. Like the
// phone pane, the first of two names that differ only in case wins.
class FolderIndex {
public:
    using Folder = std::map<std::string, IndexEntry, CaseLess>;

    // Adds a record's path ("/a/mobile/x.bin"); every folder above it is made too. A record
    // with the folder bit (0x1000) is a folder. Paths with an empty, "." or ".." component
    // are skipped (false).
    bool addRecord(std::string_view path, uint32_t attributes, uint32_t size);
    // Adds a folder and the folders above it.
    void addFolder(std::string_view path);
    // Adds or replaces a file entry (its folder must exist or is made).
    void setFile(std::string_view path, uint32_t size, uint32_t attributes);
    // Removes an entry; a folder goes with everything below it.
    void remove(std::string_view path);

    // The entry at path; nullptr when there is none (the root has no entry).
    const IndexEntry* find(std::string_view path) const;
    IndexEntry* find(std::string_view path);
    // The names of a folder; nullptr when path is not a folder.
    const Folder* children(std::string_view path) const;
    size_t folderCount() const { return folders_.size(); }

    // "/a/mobile/x.bin" -> "/a/mobile" and "x.bin".
    static std::pair<std::string_view, std::string_view> split(std::string_view path);
    // True when every component between the slashes is a name (not empty, ".", "..").
    static bool plainPath(std::string_view path);

private:
    Folder& folder(std::string_view path);
    void removeBelow(const std::string& path);

    // Keyed by the folder's path in lower case.
    std::unordered_map<std::string, Folder> folders_{{"", {}}};
};

}  // namespace mdk
