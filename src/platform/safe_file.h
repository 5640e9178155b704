#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mdk {

// How a PC file is written when one of that name already exists.
enum class ExistingFile { Replace, Keep };

// Writes bytes to path through a temporary file in the same folder that is renamed over
// the target only after every byte was written, so a failure never damages an existing
// file. With ExistingFile::Keep an existing file is left alone and the write fails.
// False with error set on failure.
bool writeFileSafely(const std::string& path, std::span<const uint8_t> bytes, ExistingFile mode,
                     std::string& error);

// A file written under a short temporary name (".mdk-XXXXXX", so that a long target name
// still fits) in its target's folder, and put in place by commit() only once every byte
// was written. Dropped uncommitted, the temporary file is removed.
inline constexpr const char* kPendingFilePrefix = ".mdk-";
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile() { discard(); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file beside target. False with error set.
    bool open(const std::string& target, std::string& error);
    bool write(std::span<const uint8_t> bytes, std::string& error);
    // Syncs and closes the temporary file and puts it in place: renamed over the target
    // (ExistingFile::Replace), or linked to a target name that must not exist yet
    // (ExistingFile::Keep, which leaves a file that appeared meanwhile alone).
    bool commit(ExistingFile mode, std::string& error);
    // Removes the temporary file (nothing after a commit).
    void discard();
    const std::string& tempPath() const { return temp_; }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

// The bytes an unprivileged user may still write in the file system of folder; nullopt
// when it cannot be told.
std::optional<uint64_t> freeSpaceIn(const std::string& folder);

// Reads a whole regular file; nullopt with error set when it is missing, not a regular
// file or cannot be read whole.
std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path, std::string& error);

// Writes every byte to fd, going on after short writes and interruptions. False on an
// error or when nothing more can be written (errno tells why).
bool writeAll(int fd, std::span<const uint8_t> bytes);

// A whole file as text, streamed (so also /proc and sysfs files); nullopt when it cannot
// be opened, is a folder or a read fails.
std::optional<std::string> readTextFile(const std::string& path);

// The first line of a small text file (sysfs attributes), without trailing blanks and CR;
// empty when the file cannot be read.
std::string firstLine(const std::string& path);

// The size of a PC file in bytes for progress totals; 0 when it cannot be read.
uint64_t pcFileSize(const std::string& path);

// Creates every missing folder of path (like mkdir -p). False with error set when a
// level cannot be created, e.g. because a file stands in the way.
bool makeFolders(const std::string& path, std::string& error);

}  // namespace mdk
