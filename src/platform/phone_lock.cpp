#include "platform/phone_lock.h"

#include <fcntl.h>
#include <sys/file.h>
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

std::string lockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && std::filesystem::is_directory(runtime)) return runtime;
    return "/tmp";
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

void writeHolder(int fd) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] ssize_t n = ::pwrite(fd, pid.data(), pid.size(), 0);
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
    return lockFolder() + "/marrowdeck-phone-" + name + "-" + hash + ".lock";
}

bool PhoneLock::acquire(const std::string& address, int waitMs, std::string& error) {
    release();
    const std::string path = lockPathFor(address);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // Another user's lock file can still be locked through a read-only descriptor.
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
