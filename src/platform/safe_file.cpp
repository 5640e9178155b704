#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace mdk {
namespace {

std::string describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
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

std::optional<std::string> readTextFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return std::nullopt;  // opens, reads nothing
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

bool PendingFile::open(const std::string& target, std::string& error) {
    discard();
    target_ = target;
    const size_t slash = target.rfind('/');
    temp_ = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
            kPendingFilePrefix + "XXXXXX";
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0) {
        error = describe("cannot create", temp_);
        temp_.clear();
        return false;
    }
    ::fchmod(fd_, 0644);
    return true;
}

bool PendingFile::write(std::span<const uint8_t> bytes, std::string& error) {
    if (fd_ >= 0 && writeAll(fd_, bytes)) return true;
    error = describe("cannot write", temp_);
    return false;
}

bool PendingFile::commit(ExistingFile mode, std::string& error) {
    if (fd_ < 0) {
        error = "cannot write " + target_ + ": no file is open";
        return false;
    }
    bool ok = ::fsync(fd_) == 0;
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    if (!ok) {
        error = describe("cannot write", temp_);
        return false;
    }
    if (mode == ExistingFile::Keep) {
        // link() refuses an existing target, so a file that appeared meanwhile is kept.
        ok = ::link(temp_.c_str(), target_.c_str()) == 0;
        if (!ok) error = describe("cannot create", target_);
        return ok;  // discard() removes the temporary name
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = describe("cannot replace", target_);
        return false;
    }
    temp_.clear();
    return true;
}

void PendingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

std::optional<uint64_t> freeSpaceIn(const std::string& folder) {
    struct statvfs st;
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &st) != 0) return std::nullopt;
    return uint64_t(st.f_bavail) * st.f_frsize;
}

bool writeFileSafely(const std::string& path, std::span<const uint8_t> bytes, ExistingFile mode,
                     std::string& error) {
    struct stat st;
    if (mode == ExistingFile::Keep && ::lstat(path.c_str(), &st) == 0) {
        error = "exists, left unchanged: " + path;
        return false;
    }
    PendingFile file;
    return file.open(path, error) && file.write(bytes, error) && file.commit(mode, error);
}

std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = describe("cannot open", path);
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file: " + path;
        ::close(fd);
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    // A file that changed size while read is not taken: it would not be read whole.
    uint8_t extra;
    const bool whole = done == bytes.size() && ::read(fd, &extra, 1) == 0;
    ::close(fd);
    if (!whole) {
        error = "cannot read whole: " + path;
        return std::nullopt;
    }
    return bytes;
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

}  // namespace mdk
