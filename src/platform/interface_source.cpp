#include "platform/interface_source.h"

#include "platform/phone_lock.h"
#include "platform/usb_link.h"

namespace mdk {

LinkAddressInterfaceSource::LinkAddressInterfaceSource(std::string address, LinkOpener opener)
    : address_(std::move(address)), opener_(std::move(opener)) {
    if (!opener_)
        opener_ = [](const std::string& a, std::string& e) { return openDriverLink(a, e); };
}

std::vector<InterfaceCandidate> LinkAddressInterfaceSource::enumerate() {
    std::vector<InterfaceCandidate> candidates;
    lastError_.clear();
    if (address_.empty() || address_ == "usb") {
        // Each candidate takes the phone's lock when it is opened and keeps it while open.
        for (auto& link : UsbLink::openAll(lastError_)) {
            std::shared_ptr<DriverLink> shared(std::move(link));
            candidates.push_back({shared->devicePath(), [shared] {
                                      std::string error;
                                      return lockDriverLink(shared, "usb", error);
                                  }});
        }
        return candidates;
    }
    // A socket phone: connecting is opening, so the path is known once connected. The
    // lock comes first: a connection of ours must not disturb another client's.
    auto lock = std::make_unique<PhoneLock>();
    const std::string key = phoneLockKey(address_);
    if (!key.empty() && !lock->acquire(key, 0, lastError_)) return candidates;
    std::string error;
    std::shared_ptr<DriverLink> link = opener_(address_, error);
    if (!link) {
        lastError_ = error;
        return candidates;
    }
    if (!key.empty()) link = std::make_shared<LockedDriverLink>(link, std::move(lock));
    candidates.push_back({link->devicePath(), [link] { return link; }});
    return candidates;
}

std::vector<InterfaceCandidate> FakeInterfaceSource::enumerate() {
    std::lock_guard lock(mutex_);
    ++enumerations_;
    return candidates_;
}

void FakeInterfaceSource::setCandidates(std::vector<InterfaceCandidate> candidates) {
    std::lock_guard lock(mutex_);
    candidates_ = std::move(candidates);
}

int FakeInterfaceSource::enumerations() const {
    std::lock_guard lock(mutex_);
    return enumerations_;
}

}  // namespace mdk
