#include "panes/drive_entries.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/message_ids.h"
#include "platform/safe_file.h"

namespace mdk {

namespace {

// Decodes the \ooo escapes of the mount table.
std::string unescapeOctal(std::string_view text) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) &&
            octal(text[i + 3])) {
            out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) |
                                     (text[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        size_t end = line.find(' ', pos);
        if (end == std::string_view::npos) end = line.size();
        if (end > pos) fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

template <size_t N>
bool oneOf(std::string_view value, const std::array<std::string_view, N>& set) {
    for (auto item : set) {
        if (value == item) return true;
    }
    return false;
}

constexpr std::array<std::string_view, 14> kNetworkTypes = {"nfs",
                                                            "nfs4",
                                                            "cifs",
                                                            "smb3",
                                                            "smbfs",
                                                            "fuse.sshfs",
                                                            "sshfs",
                                                            "fuse.gvfsd-fuse",
                                                            "fuse.curlftpfs",
                                                            "9p",
                                                            "afs",
                                                            "davfs",
                                                            "fuse.rclone",
                                                            "ncpfs"};
constexpr std::array<std::string_view, 2> kOpticalTypes = {"iso9660", "udf"};
constexpr std::array<std::string_view, 2> kRamTypes = {"tmpfs", "ramfs"};
constexpr std::array<std::string_view, 24> kPseudoTypes = {
    "proc",       "sysfs",  "devtmpfs",  "devpts",  "cgroup",      "cgroup2",
    "securityfs", "pstore", "bpf",       "debugfs", "tracefs",     "configfs",
    "fusectl",    "mqueue", "hugetlbfs", "autofs",  "binfmt_misc", "efivarfs",
    "rpc_pipefs", "nsfs",   "squashfs",  "overlay", "fuse.portal", "nfsd"};
constexpr std::array<std::string_view, 12> kSystemFolders = {"/proc", "/sys", "/dev",  "/run",
                                                             "/boot", "/efi", "/snap", "/var",
                                                             "/etc",  "/usr", "/tmp",  "/opt"};

bool underSystemFolder(const std::string& mountPoint) {
    for (auto folder : kSystemFolders) {
        if (pathWithin(mountPoint, std::string(folder))) return true;
    }
    return false;
}

bool userMediaFolder(const std::string& mountPoint) {
    return pathWithin(mountPoint, "/media") || pathWithin(mountPoint, "/run/media");
}

// A RAM disk the user mounted: below the home folder, /mnt or the media folders. The
// system's own (/run, /dev/shm, /tmp ...) are not listed.
bool userRamDisk(const std::string& mountPoint, const std::string& home) {
    return pathWithin(mountPoint, home) || pathWithin(mountPoint, "/mnt") ||
           userMediaFolder(mountPoint);
}

std::string entryText(const std::string& root, EntryIcon kind, const MessageLookup& message,
                      const std::optional<std::string>& label) {
    switch (kind) {
        case EntryIcon::Removable:
            return root + message(msg::kRemovable);
        case EntryIcon::Optical:
            return root + message(msg::kOptical);
        case EntryIcon::RamDisk:
            return root + message(msg::kRamDisk);
        case EntryIcon::Network:
            return root + message(msg::kNetwork);
        case EntryIcon::Root:
        case EntryIcon::LocalDisk:
            return root + " " + label.value_or("");
        default:
            return root;
    }
}

}  // namespace

std::vector<MountPoint> parseMountInfo(std::string_view text) {
    std::vector<MountPoint> mounts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const auto fields = splitFields(text.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mount-point options [optional...] - type source ...
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (dash + 2 >= fields.size()) continue;  // also covers lines of fewer than 9 fields
        mounts.push_back({unescapeOctal(fields[4]), std::string(fields[dash + 1]),
                          unescapeOctal(fields[dash + 2])});
    }
    return mounts;
}

std::optional<EntryIcon> classifyMount(const MountPoint& mount, const std::string& home) {
    const std::string& where = mount.mountPoint;
    if (where.empty() || where[0] != '/') return std::nullopt;
    if (oneOf(mount.fsType, kNetworkTypes)) return EntryIcon::Network;
    if (oneOf(mount.fsType, kOpticalTypes)) return EntryIcon::Optical;
    if (oneOf(mount.fsType, kRamTypes)) {
        if (userRamDisk(where, home)) return EntryIcon::RamDisk;
        return std::nullopt;
    }
    if (oneOf(mount.fsType, kPseudoTypes)) return std::nullopt;
    if (userMediaFolder(where)) return EntryIcon::Removable;
    if (underSystemFolder(where)) return std::nullopt;
    if (startsWith(mount.source, "/dev/") || mount.fsType == "fuseblk" || mount.fsType == "zfs") {
        return EntryIcon::LocalDisk;
    }
    return std::nullopt;
}

std::vector<LocationEntry> buildDriveEntries(const std::vector<MountPoint>& mounts,
                                             const std::string& home, const MessageLookup& message,
                                             const LabelLookup& label) {
    std::optional<std::string> rootLabel;
    for (const auto& mount : mounts) {
        if (mount.mountPoint == "/") rootLabel = label(mount.source);
    }
    std::vector<LocationEntry> entries;
    entries.push_back({entryText("/", EntryIcon::Root, message, rootLabel), EntryIcon::Root, "/"});
    entries.push_back({home, EntryIcon::Home, home});

    // One entry per mount point: a later mount over the same point replaces the earlier.
    std::vector<MountPoint> unique;
    for (const auto& mount : mounts) {
        bool replaced = false;
        for (auto& seen : unique) {
            if (seen.mountPoint == mount.mountPoint) {
                seen = mount;
                replaced = true;
            }
        }
        if (!replaced) unique.push_back(mount);
    }
    for (const auto& mount : unique) {
        if (mount.mountPoint == "/") continue;
        auto kind = classifyMount(mount, home);
        if (!kind) continue;
        std::optional<std::string> volumeLabel;
        if (*kind == EntryIcon::LocalDisk) volumeLabel = label(mount.source);
        LocationEntry entry{entryText(mount.mountPoint, *kind, message, volumeLabel), *kind,
                            mount.mountPoint};
        // A home folder mounted on its own is a drive root: it keeps its place on entry 6.
        if (mount.mountPoint == home) {
            entries[1] = std::move(entry);
        } else {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        std::string path(home);
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
        return pw->pw_dir;
    }
    return "/";
}

std::optional<std::string> systemVolumeLabel(const std::string& source) {
    const std::string folder = "/dev/disk/by-label";
    char device[PATH_MAX];
    if (!::realpath(source.c_str(), device)) return std::nullopt;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        char target[PATH_MAX];
        const std::string link = folder + "/" + entry->d_name;
        if (::realpath(link.c_str(), target) && std::string(target) == device) {
            // udev writes a blank in a label as \x20.
            std::string name = entry->d_name;
            for (size_t p; (p = name.find("\\x20")) != std::string::npos;) name.replace(p, 4, " ");
            found = name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::vector<LocationEntry> systemDriveEntries(const MessageLookup& message) {
    const std::string text = readTextFile("/proc/self/mountinfo").value_or("");
    return buildDriveEntries(parseMountInfo(text), homeFolder(), message, systemVolumeLabel);
}

bool pathWithin(const std::string& path, const std::string& root) {
    if (root.empty()) return false;
    if (root == "/") return !path.empty() && path[0] == '/';
    if (path.compare(0, root.size(), root) != 0) return false;
    return path.size() == root.size() || path[root.size()] == '/';
}

std::string ownerRoot(const std::vector<LocationEntry>& entries, const std::string& path) {
    std::string best = "/";
    for (const auto& entry : entries) {
        if (entry.root.empty() || !pathWithin(path, entry.root)) continue;
        if (entry.root.size() > best.size()) best = entry.root;
    }
    return best;
}

std::string driveRootOf(const std::vector<LocationEntry>& entries, const std::string& path) {
    std::vector<LocationEntry> drives;
    for (const auto& entry : entries) {
        if (entry.icon != EntryIcon::Home) drives.push_back(entry);
    }
    return ownerRoot(drives, path);
}

}  // namespace mdk
