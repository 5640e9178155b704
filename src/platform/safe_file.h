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

    // Creates the temporary file beside target (links on the way to its folder are
    // followed). False with error set.
    bool open(const std::string& target, std::string& error);
    // Creates the temporary file in the open folder dir, for the name leaf there; shown
    // names the target in messages.
    bool openAt(int dir, const std::string& leaf, const std::string& shown, std::string& error);
    bool isOpen() const { return fd_ >= 0; }
    bool write(std::span<const uint8_t> bytes, std::string& error);
    // Syncs and closes the temporary file and puts it in place: renamed over the target
    // (ExistingFile::Replace), or linked to a target name that must not exist yet
    // (ExistingFile::Keep, which leaves a file that appeared meanwhile alone).
    bool commit(ExistingFile mode, std::string& error);
    // Removes the temporary file (nothing after a commit).
    void discard();
    const std::string& tempName() const { return temp_; }

private:
    std::string leaf_;
    std::string shown_;
    std::string temp_;  // the temporary file's name in dir_
    int dir_ = -1;
    int fd_ = -1;
};

// The bytes an unprivileged user may still write in the file system of folder; nullopt
// when it cannot be told.
std::optional<uint64_t> freeSpaceIn(const std::string& folder);

// Opens a file for reading without waiting on it: what is not a regular file (a named
// pipe, a device, a folder) is refused at once. The descriptor, or -1 with error set.
// Every file read from a folder the user chose is opened this way.
int openRegularFile(const std::string& path, std::string& error);

// The largest file read whole into memory: what a 32-bit size can describe, so also the
// largest file a phone can hold.
inline constexpr uint64_t kLargestWholeFile = 0xFFFFFFFFu;

// Reads a whole regular file (opened as openRegularFile does); nullopt with error set
// when it is missing, not a regular file, larger than largest bytes ("too large to read
// whole: PATH (N bytes; at most M)", before anything is read), larger than the memory
// left, or cannot be read whole.
std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path, std::string& error,
                                                  uint64_t largest = kLargestWholeFile);

// The first limit bytes of a regular file (fewer when it is shorter); nullopt with error
// set as readWholeFile does.
std::optional<std::vector<uint8_t>> readFileStart(const std::string& path, size_t limit,
                                                  std::string& error);

// Writes every byte to fd, going on after short writes and interruptions. False on an
// error or when nothing more can be written (errno tells why).
bool writeAll(int fd, std::span<const uint8_t> bytes);

// A whole regular file as text, streamed (so also /proc and sysfs files); nullopt when it
// cannot be opened, is not a regular file (a folder, a named pipe) or a read fails.
std::optional<std::string> readTextFile(const std::string& path);

// The first line of a small text file (sysfs attributes), without trailing blanks and CR;
// empty when the file cannot be read.
std::string firstLine(const std::string& path);

// The size of a PC file in bytes for progress totals; 0 when it cannot be read.
uint64_t pcFileSize(const std::string& path);

// Creates every missing folder of path (like mkdir -p). False with error set when a
// level cannot be created, e.g. because a file stands in the way.
bool makeFolders(const std::string& path, std::string& error);

// A folder the user chose (a backup, a package) that files are made and read in: every
// name is resolved inside it one level at a time, and a link met on the way is refused,
// never followed. The folder itself may be a link. Names are relative ("files/a/x.jpg").
class AnchoredFolder {
public:
    // Opens path (creating it and its parents first when create is set); ok() tells
    // whether that worked, error() why not.
    AnchoredFolder(const std::string& path, bool create);
    ~AnchoredFolder();
    AnchoredFolder(const AnchoredFolder&) = delete;
    AnchoredFolder& operator=(const AnchoredFolder&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    // The bytes of a regular file inside; nullopt with error set otherwise.
    std::optional<std::vector<uint8_t>> readFile(const std::string& name, std::string& error) const;
    // The size of a regular file inside; nullopt when there is none (or a link).
    std::optional<uint64_t> fileSize(const std::string& name) const;
    // True when nothing at all stands at name (not even a link).
    bool absent(const std::string& name) const;
    // Opens pending for the file name inside (creating its folders first), to be put in
    // place by its commit().
    bool openPending(const std::string& name, PendingFile& pending, std::string& error) const;
    // Writes a file inside as writeFileSafely does, creating its folders first.
    bool writeFile(const std::string& name, std::span<const uint8_t> bytes, ExistingFile mode,
                   std::string& error) const;

private:
    // The folder holding name's last component (made when create is set), or -1 with
    // error set; leaf receives that component.
    int openParent(const std::string& name, bool create, std::string& leaf,
                   std::string& error) const;

    std::string path_;
    std::string error_;
    int fd_ = -1;
};

}  // namespace mdk
