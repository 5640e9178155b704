#pragma once
#include <cstddef>
#include <string>

namespace mdk {

// What a PC folder holds on its own file system: folders mounted inside it (another
// device) are neither counted nor entered; links are counted as files, never followed.
struct FolderContents {
    size_t files = 0;
    bool readable = true;  // false when some part of it could not be listed
};

FolderContents countFolderContents(const std::string& folder);

// Removes folder with everything in it that lies on the folder's own file system. A file
// system mounted inside stays where it is (its mount point folder then stays too); links
// lose only themselves. False, with a reason in error, when anything was left behind.
bool removeFolderOnItsFileSystem(const std::string& folder, std::string& error);

}  // namespace mdk
