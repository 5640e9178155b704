#include "platform/folder_removal.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace mdk {

namespace {

namespace fs = std::filesystem;

// The device of path itself (a link is not followed); -1 when it cannot be read.
long long deviceOf(const fs::path& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_dev);
}

bool isRealFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(path, error));
}

void count(const fs::path& folder, long long device, FolderContents& contents) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        contents.readable = false;
        return;
    }
    for (const fs::directory_entry& entry : it) {
        if (!isRealFolder(entry.path())) {
            ++contents.files;
        } else if (deviceOf(entry.path()) == device) {
            count(entry.path(), device, contents);
        }
    }
}

bool removeBelow(const fs::path& folder, long long device, std::string& error) {
    std::error_code code;
    fs::directory_iterator it(folder, code);
    if (code) {
        error = folder.string() + ": " + code.message();
        return false;
    }
    bool complete = true;
    for (const fs::directory_entry& entry : it) {
        const fs::path path = entry.path();
        if (isRealFolder(path)) {
            if (deviceOf(path) != device) {
                error = path.string() + " is another file system; left as it is";
                complete = false;
                continue;
            }
            if (!removeBelow(path, device, error)) {
                complete = false;
                continue;
            }
        }
        if (!fs::remove(path, code)) {
            error = path.string() + ": " + code.message();
            complete = false;
        }
    }
    return complete;
}

}  // namespace

FolderContents countFolderContents(const std::string& folder) {
    FolderContents contents;
    count(folder, deviceOf(folder), contents);
    return contents;
}

bool removeFolderOnItsFileSystem(const std::string& folder, std::string& error) {
    if (!isRealFolder(folder)) {
        error = folder + " is not a folder";
        return false;
    }
    if (!removeBelow(folder, deviceOf(folder), error)) return false;
    std::error_code code;
    if (!fs::remove(folder, code)) {
        error = folder + ": " + code.message();
        return false;
    }
    return true;
}

}  // namespace mdk
