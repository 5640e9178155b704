#pragma once
#include <memory>
#include <string>

#include "platform/driver_link.h"

namespace mdk {

// One client per phone: an exclusive flock on a file named after the phone's address, in
// $XDG_RUNTIME_DIR (or, when it is not set, in the private folder "marrowdeck-UID" of the
// temporary folder, made with mode 0700 and refused when it is a link or another user's).
// The file is never opened through a link. The command-line tool holds it for its whole
// run, the GUI while its link is open. The holder writes its process id into the file, so
// that a second client can say who has the phone.
class PhoneLock {
public:
    static constexpr int kPollMs = 100;

    PhoneLock() = default;
    ~PhoneLock() { release(); }
    PhoneLock(const PhoneLock&) = delete;
    PhoneLock& operator=(const PhoneLock&) = delete;

    // The lock file of a phone address: the folder, then "marrowdeck-phone-", the address
    // with every character other than a letter, digit, "-" or "." made "_" (cut to 64),
    // a hash of the whole address and ".lock".
    static std::string lockPathFor(const std::string& address);
    // Takes the lock, trying every 100 ms for up to waitMs (0: once). False when another
    // client holds it: error then reads "the phone is in use by process N" (or says why
    // the lock file cannot be used).
    bool acquire(const std::string& address, int waitMs, std::string& error);
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The lock key of a phone address: "unix:" addresses by their absolute socket path, "usb"
// and "auto" (the one USB phone) as "usb", others as given. Empty for the in-process
// simulated phones ("sim", "sim:KIND"), which no other process can reach.
std::string phoneLockKey(const std::string& address);

// A driver link that holds its phone's lock until it is closed or dropped.
class LockedDriverLink final : public DriverLink {
public:
    LockedDriverLink(std::shared_ptr<DriverLink> inner, std::unique_ptr<PhoneLock> lock)
        : inner_(std::move(inner)), lock_(std::move(lock)) {}
    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override {
        return inner_->request(code, input, capacity, output, waitMs);
    }
    bool isOpen() const override { return inner_->isOpen(); }
    void close() override {
        inner_->close();
        lock_->release();
    }
    std::string devicePath() const override { return inner_->devicePath(); }
    bool waitForRemoval() override { return inner_->waitForRemoval(); }
    void stopWaiting() override { inner_->stopWaiting(); }

private:
    std::shared_ptr<DriverLink> inner_;
    std::unique_ptr<PhoneLock> lock_;
};

// Wraps link in its phone's lock, taken at once; nullptr with error set when another
// client has the phone. Links of addresses without a key are returned as they are.
std::shared_ptr<DriverLink> lockDriverLink(std::shared_ptr<DriverLink> link,
                                           const std::string& address, std::string& error);

}  // namespace mdk
