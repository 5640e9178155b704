#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "panes/pane_types.h"

namespace mdk {

// Formats a last-write time for column 2: the user's short date immediately followed by
// " HH:mm" (24-hour clock, two digits each).
using DateFormatter = std::function<std::string(std::time_t)>;

// The formatter of the core: the C library's short date ("%x") and " HH:mm".
std::string defaultDateText(std::time_t time);
// The " HH:mm" picture of a local time (24-hour clock).
std::string timeOfDayText(const std::tm& local);

// Column 1 of a file: the low 32 bits of its size as an unsigned decimal.
std::string sizeText(uint64_t size);

// The rows of a PC folder, unsorted: "." is never listed, ".." only when showParent is set
// (the folder lies below its pane's root). A folder that cannot be read gives no rows.
std::vector<PaneRow> readPcFolder(const std::string& folder, bool showParent,
                                  const DateFormatter& dateText);

// A child of a PC folder: folder + "/" + name, without doubling the separator.
std::string childPath(const std::string& folder, const std::string& name);
// The absolute, lexically normal form of path ("a/b/../c" becomes "a/c"); paths that do
// not start with "/" are taken relative to base.
std::string normalPath(const std::string& path, const std::string& base = "/");
// True when path is a folder this process may enter and read.
bool enterableFolder(const std::string& path);

enum class CopyResult {
    Copied,
    TargetExists,  // copying without overwriting found a file of that name: left unchanged
    SameFile,      // source and target name the same file: refused, nothing touched
    Failed,        // unreadable source, not a plain file, or the target could not be written
};

// Copies one PC file. Without overwrite an existing target stays untouched; with
// overwrite the copy is written beside the target and renamed over it, so a failed copy
// keeps the old target. Source and target naming the same file are always refused. The
// copy keeps the source's last-write time and permission bits.
CopyResult copyPcFile(const std::string& source, const std::string& target, bool overwrite);

}  // namespace mdk
