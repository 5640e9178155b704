#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/message_ids.h"
#include "panes/pane_types.h"

namespace mdk {

// One line of the mount table.
struct MountPoint {
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

// Reads the mount table in the /proc/self/mountinfo format. Malformed lines are skipped;
// octal escapes (\040 for a blank) are decoded.
std::vector<MountPoint> parseMountInfo(std::string_view text);

// What kind of drive entry a mount makes; nullopt for file systems a user would not
// browse (system pseudo file systems, the system's own RAM disks, system folders).
std::optional<EntryIcon> classifyMount(const MountPoint& mount, const std::string& home);

// Message numbers of the drive kinds.

using MessageLookup = std::function<std::string(int)>;
// The volume label of a mount's source device, nullopt when it cannot be read.
using LabelLookup = std::function<std::optional<std::string>(const std::string& source)>;

// The drive entries: "/" first, then the home folder (so that it lands on entry 6), then
// every browsable mount in the order of the table, one per mount point. Texts: the mount
// point, then for a local disk a blank and its label, for the other kinds the kind's
// message. A home folder that is a browsable mount point is that mount's entry, on 6.
std::vector<LocationEntry> buildDriveEntries(const std::vector<MountPoint>& mounts,
                                             const std::string& home, const MessageLookup& message,
                                             const LabelLookup& label);

// The same from this machine's mount table, $HOME and /dev/disk/by-label.
std::vector<LocationEntry> systemDriveEntries(const MessageLookup& message);
// This machine's label lookup over /dev/disk/by-label.
std::optional<std::string> systemVolumeLabel(const std::string& source);
// The user's home folder ($HOME, else the password database, else "/").
std::string homeFolder();

// True when path is root itself or lies below it (component-wise).
bool pathWithin(const std::string& path, const std::string& root);
// The drive root of entries that holds path: the longest root path lies within; "/" when
// none does.
std::string ownerRoot(const std::vector<LocationEntry>& entries, const std::string& path);
// The drive root that holds path: "/" or the longest mount point among the drive entries.
// The home folder is a start place, not a drive root, unless it is a mount point itself.
std::string driveRootOf(const std::vector<LocationEntry>& entries, const std::string& path);

}  // namespace mdk
