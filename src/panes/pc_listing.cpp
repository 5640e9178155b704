#include "panes/pc_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "panes/pane_rows.h"
#include "platform/safe_file.h"

namespace mdk {

namespace {

PaneRow makeRow(const std::string& folder, const std::string& name, const DateFormatter& dateText) {
    struct stat st {};
    const std::string path = childPath(folder, name);
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) st = {};
    return pcRow(name, path, S_ISDIR(st.st_mode), static_cast<uint64_t>(st.st_size), st.st_mtime,
                 dateText);
}

bool copyContents(int from, int to) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0 || !writeAll(to, std::span(reinterpret_cast<const uint8_t*>(buffer),
                                             static_cast<size_t>(n))))
            return false;
    }
}

// Writes the copy into an open target; keeps times and permission bits of the source.
bool fillTarget(int from, int to, const struct stat& source) {
    if (!copyContents(from, to)) return false;
    const timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(to, times);
    ::fchmod(to, source.st_mode & 07777);
    return ::fsync(to) == 0;
}

}  // namespace

std::string timeOfDayText(const std::tm& local) {
    char text[16];
    std::snprintf(text, sizeof text, " %02d:%02d", local.tm_hour, local.tm_min);
    return text;
}

std::string defaultDateText(std::time_t time) {
    std::tm local{};
    ::localtime_r(&time, &local);
    char date[64];
    if (std::strftime(date, sizeof date, "%x", &local) == 0) date[0] = '\0';
    return date + timeOfDayText(local);
}

std::string sizeText(uint64_t size) {
    return std::to_string(static_cast<uint32_t>(size & 0xFFFFFFFFu));
}

std::string childPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string normalPath(const std::string& path, const std::string& base) {
    std::filesystem::path p(path);
    if (!p.is_absolute()) p = std::filesystem::path(base) / p;
    std::string text = p.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text.empty() ? "/" : text;
}

bool enterableFolder(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ::access(path.c_str(), R_OK | X_OK) == 0;
}

std::vector<PaneRow> readPcFolder(const std::string& folder, bool showParent,
                                  const DateFormatter& dateText) {
    std::vector<PaneRow> rows;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return rows;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == ".") continue;
        if (name == ".." && !showParent) continue;
        rows.push_back(makeRow(folder, name, dateText));
    }
    ::closedir(dir);
    return rows;
}

CopyResult copyPcFile(const std::string& source, const std::string& target, bool overwrite) {
    std::string error;
    int from = openRegularFile(source, error);
    if (from < 0) return CopyResult::Failed;
    struct stat src {};
    if (::fstat(from, &src) != 0) {
        ::close(from);
        return CopyResult::Failed;
    }
    struct stat dst {};
    if (::stat(target.c_str(), &dst) == 0) {
        CopyResult refused = CopyResult::TargetExists;
        if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) refused = CopyResult::SameFile;
        if (refused == CopyResult::SameFile || !overwrite || !S_ISREG(dst.st_mode)) {
            ::close(from);
            return refused;
        }
    }
    const std::string written = overwrite ? target + ".mdk-copy" : target;
    int to = ::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (to < 0) {
        ::close(from);
        return errno == EEXIST && !overwrite ? CopyResult::TargetExists : CopyResult::Failed;
    }
    bool ok = fillTarget(from, to, src);
    ok = (::close(to) == 0) && ok;
    ::close(from);
    if (ok && overwrite) ok = std::rename(written.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(written.c_str());
        return CopyResult::Failed;
    }
    return CopyResult::Copied;
}

}  // namespace mdk
