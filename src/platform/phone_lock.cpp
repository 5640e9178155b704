#include "platform/phone_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace mdk {
namespace {

constexpr size_t kNameLimit = 64;

// FNV-1a: a hash that is the same in every process and every build.
uint32_t stableHash(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

struct LockFolder {
    std::string path;
    bool shared = false;  // under the temporary folder that every user can write in
};

LockFolder lockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && std::filesystem::is_directory(runtime)) return {runtime, false};
    // Straight in a shared temporary folder, anyone could plant the file or a link there.
    std::error_code ec;
    const auto temp = std::filesystem::temp_directory_path(ec);
    return {
        (ec ? std::string("/tmp") : temp.string()) + "/marrowdeck-" + std::to_string(::getuid()),
        true};
}

// Opens the lock folder. The private one under the temporary folder is made with mode
// 0700 and refused (-1, error set) when it is a link or not this user's own folder.
int openLockFolder(const LockFolder& folder, std::string& error) {
    const char* path = folder.path.c_str();
    if (folder.shared && ::mkdir(path, 0700) != 0 && errno != EEXIST) {
        error = "cannot create the lock folder " + folder.path + ": " + std::strerror(errno);
        return -1;
    }
    const int fd =
        ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.shared ? O_NOFOLLOW : 0));
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || (folder.shared && st.st_uid != ::getuid())) {
        error = "the lock folder " + folder.path + " is a link or not this user's own folder";
        if (fd >= 0) ::close(fd);
        return -1;
    }
    if (folder.shared && (st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        error = "cannot make the lock folder " + folder.path + " private";
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string holderOf(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return {};
    std::string pid;
    for (ssize_t i = 0; i < n && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        pid.push_back(text[i]);
    }
    return pid;
}

// Writes the holder's process id over the start of the file, and cuts what is beyond it
// only when the file is this user's own regular file.
void writeHolder(int fd) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) return;
    if (::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size())) {
        [[maybe_unused]] int cut = ::ftruncate(fd, static_cast<off_t>(pid.size()));
    }
}

}  // namespace

std::string PhoneLock::lockPathFor(const std::string& address) {
    std::string name;
    for (char c : address.substr(0, kNameLimit)) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
        name.push_back(plain ? c : '_');
    }
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08x", stableHash(address));
    return lockFolder().path + "/marrowdeck-phone-" + name + "-" + hash + ".lock";
}

bool PhoneLock::acquire(const std::string& address, int waitMs, std::string& error) {
    release();
    const std::string path = lockPathFor(address);
    const int folder = openLockFolder(lockFolder(), error);
    if (folder < 0) return false;
    const std::string name = path.substr(path.rfind('/') + 1);
    // Never through a link: a planted one would have another file written.
    const int fd = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    ::close(folder);
    if (fd < 0) {
        error = "cannot use the lock file " + path + ": " + std::strerror(errno);
        return false;
    }
    for (int waited = 0;; waited += kPollMs) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            writeHolder(fd);
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "cannot lock " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (waited >= waitMs) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    const std::string holder = holderOf(fd);
    error = holder.empty() ? "the phone is in use by another process"
                           : "the phone is in use by process " + holder;
    ::close(fd);
    return false;
}

void PhoneLock::release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

std::string phoneLockKey(const std::string& address) {
    if (address == "sim" || address.rfind("sim:", 0) == 0) return {};
    if (address.empty() || address == "usb" || address == "auto") return "usb";
    if (address.rfind("unix:", 0) == 0) {
        std::error_code ec;
        const auto path =
            std::filesystem::weakly_canonical(std::filesystem::absolute(address.substr(5), ec), ec);
        return ec ? address : "unix:" + path.string();
    }
    return address;
}

std::shared_ptr<DriverLink> lockDriverLink(std::shared_ptr<DriverLink> link,
                                           const std::string& address, std::string& error) {
    const std::string key = phoneLockKey(address);
    if (!link || key.empty()) return link;
    auto lock = std::make_unique<PhoneLock>();
    if (!lock->acquire(key, 0, error)) {
        link->close();
        return nullptr;
    }
    return std::make_shared<LockedDriverLink>(std::move(link), std::move(lock));
}

}  // namespace mdk
