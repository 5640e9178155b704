#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace mdk {
namespace {

std::string describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Closes a descriptor without changing errno, which the caller still reports.
void closeKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a plain file";
}

// The one way a file is opened for reading: non-blocking, so that a named pipe or a
// device cannot hold the program up, and refused unless it is a regular file.
int openRegularAt(int dir, const std::string& name, int extraFlags, const std::string& shown,
                  std::string& error) {
    const int fd =
        ::openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | extraFlags);
    if (fd < 0) {
        error = errno == ELOOP && (extraFlags & O_NOFOLLOW) ? "a link, not followed: " + shown
                                                            : describe("cannot open", shown);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file (" + std::string(kindOf(st.st_mode)) + "), not read: " + shown;
        ::close(fd);
        return -1;
    }
    // A regular file never makes a read wait; the flag goes so reads behave as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Reads an opened file to its end (or limit bytes) and closes it. With wholeSize set, a
// file whose length differs from the size it had when opened (it changed meanwhile) is
// not taken.
std::optional<std::vector<uint8_t>> readOpened(int fd, bool wholeSize, const std::string& shown,
                                               std::string& error, size_t limit = SIZE_MAX) {
    struct stat st;
    const bool sized = ::fstat(fd, &st) == 0;
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    try {
        if (sized && wholeSize) bytes.reserve(std::min<size_t>(size_t(st.st_size), limit));
        while (bytes.size() < limit) {
            const ssize_t n = ::read(fd, block, std::min(sizeof block, limit - bytes.size()));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = describe("cannot read", shown);
                ::close(fd);
                return std::nullopt;
            }
            if (n == 0) break;
            bytes.insert(bytes.end(), block, block + n);
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory to read " + shown;
        ::close(fd);
        return std::nullopt;
    }
    ::close(fd);
    if (wholeSize && (!sized || bytes.size() != static_cast<uint64_t>(st.st_size))) {
        error = "cannot read whole: " + shown;
        return std::nullopt;
    }
    return bytes;
}

// Reads an opened file whole unless it is larger than largest bytes, which is refused
// before anything is read. A file that grows while it is read stops one byte past the
// limit and is then refused as not read whole.
std::optional<std::vector<uint8_t>> readWholeOpened(int fd, const std::string& shown,
                                                    std::string& error,
                                                    uint64_t largest = kLargestWholeFile) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > largest) {
        error = "too large to read whole: " + shown + " (" + std::to_string(st.st_size) +
                " bytes; at most " + std::to_string(largest) + ")";
        ::close(fd);
        return std::nullopt;
    }
    const uint64_t room = std::min<uint64_t>(largest, SIZE_MAX - 1) + 1;
    return readOpened(fd, true, shown, error, static_cast<size_t>(room));
}

// writeFileSafely inside the folder dir: shown names the target in messages.
bool writeSafelyAt(int dir, const std::string& leaf, const std::string& shown,
                   std::span<const uint8_t> bytes, ExistingFile mode, std::string& error) {
    struct stat st;
    if (mode == ExistingFile::Keep && ::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        error = "exists, left unchanged: " + shown;
        return false;
    }
    PendingFile file;
    return file.openAt(dir, leaf, shown, error) && file.write(bytes, error) &&
           file.commit(mode, error);
}

}  // namespace

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int openRegularFile(const std::string& path, std::string& error) {
    return openRegularAt(AT_FDCWD, path, 0, path, error);
}

std::optional<std::string> readTextFile(const std::string& path) {
    std::string error;
    const int fd = openRegularFile(path, error);
    if (fd < 0) return std::nullopt;
    auto bytes = readOpened(fd, false, path, error);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::optional<std::vector<uint8_t>> readFileStart(const std::string& path, size_t limit,
                                                  std::string& error) {
    const int fd = openRegularFile(path, error);
    if (fd < 0) return std::nullopt;
    return readOpened(fd, false, path, error, limit);
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

bool PendingFile::open(const std::string& target, std::string& error) {
    const size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : target.substr(0, slash ? slash : 1);
    // The user's own links on the way to a plain PC folder are followed.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        discard();
        error = describe("cannot open folder", folder);
        return false;
    }
    const bool ok = openAt(dir, target.substr(slash + 1), target, error);
    ::close(dir);
    return ok;
}

bool PendingFile::openAt(int dir, const std::string& leaf, const std::string& shown,
                         std::string& error) {
    discard();
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = kPendingFilePrefix;
        for (int i = 0; i < 6; ++i) temp_.push_back(kLetters[random() % 36]);
        // Created exclusively, never through a link.
        fd_ = ::openat(dir, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       0644);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        error = describe("cannot create a temporary file for", shown);
        temp_.clear();
        return false;
    }
    dir_ = ::dup(dir);
    leaf_ = leaf;
    shown_ = shown;
    return true;
}

bool PendingFile::write(std::span<const uint8_t> bytes, std::string& error) {
    if (fd_ >= 0 && writeAll(fd_, bytes)) return true;
    error = describe("cannot write", shown_);
    return false;
}

bool PendingFile::commit(ExistingFile mode, std::string& error) {
    if (fd_ < 0) {
        error = "cannot write " + shown_ + ": no file is open";
        return false;
    }
    bool ok = ::fsync(fd_) == 0;
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    if (!ok) {
        error = describe("cannot write", shown_);
        return false;
    }
    if (mode == ExistingFile::Keep) {
        // link() refuses an existing target, so a file that appeared meanwhile is kept.
        ok = ::linkat(dir_, temp_.c_str(), dir_, leaf_.c_str(), 0) == 0;
        if (!ok) error = describe("cannot create", shown_);
        return ok;  // discard() removes the temporary name
    }
    if (::renameat(dir_, temp_.c_str(), dir_, leaf_.c_str()) != 0) {
        error = describe("cannot replace", shown_);
        return false;
    }
    temp_.clear();
    return true;
}

void PendingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty() && dir_ >= 0) ::unlinkat(dir_, temp_.c_str(), 0);
    temp_.clear();
    if (dir_ >= 0) ::close(dir_);
    dir_ = -1;
}

std::optional<uint64_t> freeSpaceIn(const std::string& folder) {
    struct statvfs st;
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &st) != 0) return std::nullopt;
    return uint64_t(st.f_bavail) * st.f_frsize;
}

bool writeFileSafely(const std::string& path, std::span<const uint8_t> bytes, ExistingFile mode,
                     std::string& error) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    // The user's own links on the way to a plain PC folder are followed.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        error = describe("cannot open folder", folder);
        return false;
    }
    const bool ok = writeSafelyAt(dir, leaf, path, bytes, mode, error);
    ::close(dir);
    return ok;
}

std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path, std::string& error,
                                                  uint64_t largest) {
    const int fd = openRegularFile(path, error);
    if (fd < 0) return std::nullopt;
    return readWholeOpened(fd, path, error, largest);
}

uint64_t pcFileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

bool makeFolders(const std::string& path, std::string& error) {
    std::string partial;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        partial = path.substr(0, slash);
        start = slash + 1;
        if (partial.empty()) continue;
        struct stat st;
        if (::stat(partial.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                error = "a file stands where a folder is needed: " + partial;
                return false;
            }
            continue;
        }
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            error = describe("cannot create folder", partial);
            return false;
        }
    }
    return true;
}

// ---- AnchoredFolder ----------------------------------------------------------------

AnchoredFolder::AnchoredFolder(const std::string& path, bool create) : path_(path) {
    if (create && !makeFolders(path, error_)) return;
    // The chosen folder itself may be a link: only what lies inside is held to its place.
    fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) error_ = describe("cannot open folder", path);
}

AnchoredFolder::~AnchoredFolder() {
    if (fd_ >= 0) ::close(fd_);
}

int AnchoredFolder::openParent(const std::string& name, bool create, std::string& leaf,
                               std::string& error) const {
    std::vector<std::string> parts;
    for (size_t start = 0; start <= name.size();) {
        size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        std::string part = name.substr(start, slash - start);
        if (part == "." || part == "..") {
            error = "not a name inside " + path_ + ": " + name;
            errno = EINVAL;
            return -1;
        }
        if (!part.empty()) parts.push_back(std::move(part));
        start = slash + 1;
    }
    if (fd_ < 0 || parts.empty()) {
        error = fd_ < 0 ? error_ : "no file name: " + name;
        errno = EINVAL;
        return -1;
    }
    leaf = parts.back();
    int dir = ::dup(fd_);
    std::string shown = path_;
    for (size_t i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        shown += "/" + parts[i];
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(dir, parts[i].c_str(), flags);
        if (next < 0 && errno == ENOENT && create &&
            (::mkdirat(dir, parts[i].c_str(), 0755) == 0 || errno == EEXIST)) {
            next = ::openat(dir, parts[i].c_str(), flags);
        }
        if (next < 0) {
            struct stat st;
            const int saved = errno;
            const bool link = ::fstatat(dir, parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                              S_ISLNK(st.st_mode);
            errno = saved;
            error = link ? "a link inside " + path_ + ", not followed: " + shown
                         : describe("cannot open folder", shown);
        }
        closeKeepingErrno(dir);
        dir = next;
    }
    return dir;
}

std::optional<std::vector<uint8_t>> AnchoredFolder::readFile(const std::string& name,
                                                             std::string& error) const {
    std::string leaf;
    const int dir = openParent(name, false, leaf, error);
    if (dir < 0) return std::nullopt;
    const std::string shown = path_ + "/" + name;
    const int fd = openRegularAt(dir, leaf, O_NOFOLLOW, shown, error);
    ::close(dir);
    if (fd < 0) return std::nullopt;
    return readWholeOpened(fd, shown, error);
}

std::optional<uint64_t> AnchoredFolder::fileSize(const std::string& name) const {
    std::string leaf, error;
    const int dir = openParent(name, false, leaf, error);
    if (dir < 0) return std::nullopt;
    struct stat st;
    const bool regular =
        ::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
    ::close(dir);
    if (!regular) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

bool AnchoredFolder::absent(const std::string& name) const {
    std::string leaf, error;
    const int dir = openParent(name, false, leaf, error);
    if (dir < 0) return errno == ENOENT;
    struct stat st;
    const bool none =
        ::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    ::close(dir);
    return none;
}

bool AnchoredFolder::openPending(const std::string& name, PendingFile& pending,
                                 std::string& error) const {
    std::string leaf;
    const int dir = openParent(name, true, leaf, error);
    if (dir < 0) return false;
    const bool ok = pending.openAt(dir, leaf, path_ + "/" + name, error);
    ::close(dir);
    return ok;
}

bool AnchoredFolder::writeFile(const std::string& name, std::span<const uint8_t> bytes,
                               ExistingFile mode, std::string& error) const {
    std::string leaf;
    const int dir = openParent(name, true, leaf, error);
    if (dir < 0) return false;
    const bool ok = writeSafelyAt(dir, leaf, path_ + "/" + name, bytes, mode, error);
    ::close(dir);
    return ok;
}

}  // namespace mdk
