#include "sim/sim_link.h"

#include "platform/fine_sleep.h"
#include "sim/sample_phone.h"

namespace mdk::sim {

DriverStatus SimLink::request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                              std::vector<uint8_t>& output, uint32_t /*waitMs*/) {
    if (closed_) return DriverStatus::Failed;
    if (latencyMs_ > 0) waitPreciseMs(latencyMs_);
    DriverStatus status = phone_.handle(code, input, capacity, output);
    if (!phone_.interfaceUp()) notifyChange();
    return status;
}

bool SimLink::isOpen() const {
    return !closed_ && phone_.interfaceUp();
}

void SimLink::close() {
    closed_ = true;
    notifyChange();
}

std::string SimLink::devicePath() const {
    return makeDevicePath(0x4901, 8, "sim");
}

bool SimLink::waitForRemoval() {
    std::unique_lock lock(waitMutex_);
    waitCv_.wait(lock, [&] { return stopWaiting_ || !isOpen(); });
    bool removed = !isOpen();
    stopWaiting_ = false;
    return removed;
}

void SimLink::stopWaiting() {
    {
        std::lock_guard lock(waitMutex_);
        stopWaiting_ = true;
    }
    waitCv_.notify_all();
}

void SimLink::notifyChange() {
    { std::lock_guard lock(waitMutex_); }
    waitCv_.notify_all();
}

namespace {

// A simulated phone with its sample files and the link to it, kept together.
struct OwnedSimPhone {
    explicit OwnedSimPhone(PhoneKind kind) : model(kind), phone(model), link(phone) {
        loadSamplePhone(model);
    }
    PhoneModel model;
    SimPhone phone;
    SimLink link;
};

// A SimLink that owns its phone: the "sim" address of the command-line tool and the GUI.
class OwningSimLink final : public ForwardingLink {
public:
    explicit OwningSimLink(PhoneKind kind) : ForwardingLink(ownedLink(kind)) {}

private:
    static std::shared_ptr<DriverLink> ownedLink(PhoneKind kind) {
        auto owned = std::make_shared<OwnedSimPhone>(kind);
        return std::shared_ptr<DriverLink>(owned, &owned->link);
    }
};

}  // namespace

std::unique_ptr<DriverLink> openLink(const std::string& address, std::string& error) {
    if (address == "sim") return std::make_unique<OwningSimLink>(PhoneKind::P2k05Gsm);
    if (address.rfind("sim:", 0) == 0) {
        const std::optional<PhoneKind> kind = kindFromName(address.substr(4));
        if (!kind || *kind == PhoneKind::Linux) {
            error = "no simulated P2k phone of kind " + address.substr(4) +
                    " (want sim:classic, sim:p2k05 or sim:cdma)";
            return nullptr;
        }
        return std::make_unique<OwningSimLink>(*kind);
    }
    return openDriverLink(address, error);
}

}  // namespace mdk::sim
