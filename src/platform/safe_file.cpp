#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
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

bool writeFileSafely(const std::string& path, std::span<const uint8_t> bytes, ExistingFile mode,
                     std::string& error) {
    struct stat st;
    if (mode == ExistingFile::Keep && ::lstat(path.c_str(), &st) == 0) {
        error = "exists, left unchanged: " + path;
        return false;
    }
    std::string temp = path + ".part-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = describe("cannot create", temp);
        return false;
    }
    ::fchmod(fd, 0644);
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (!ok) error = describe("cannot write", temp);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = describe("cannot write", temp);
    }
    if (ok && mode == ExistingFile::Keep) {
        // link() refuses an existing target, so a file that appeared meanwhile is kept.
        if (::link(temp.c_str(), path.c_str()) != 0) {
            ok = false;
            error = describe("cannot create", path);
        }
        ::unlink(temp.c_str());
        return ok;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = describe("cannot replace", path);
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
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
