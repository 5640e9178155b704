#pragma once
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/driver_link.h"
#include "sim/sim_phone.h"

namespace mdk::sim {

// The in-process backend of the driver link: requests go straight to a SimPhone, after an
// optional latency per request.
class SimLink final : public DriverLink {
public:
    explicit SimLink(SimPhone& phone, uint32_t latencyMs = 0)
        : phone_(phone), latencyMs_(latencyMs) {}

    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override;
    bool isOpen() const override;
    void close() override;
    std::string devicePath() const override;
    bool waitForRemoval() override;
    void stopWaiting() override;

    void setLatencyMs(uint32_t ms) { latencyMs_ = ms; }
    // Wakes a removal wait after the phone's interface went away.
    void notifyChange();

private:
    SimPhone& phone_;
    std::atomic<uint32_t> latencyMs_;
    std::atomic<bool> closed_{false};
    std::mutex waitMutex_;
    std::condition_variable waitCv_;
    bool stopWaiting_ = false;
};

// Opens a driver link by address: "sim" opens a fresh in-process sample phone (kept alive
// by the link), "sim:classic", "sim:p2k05" or "sim:cdma" a sample phone of that kind,
// anything else goes to the core's openDriverLink.
std::unique_ptr<DriverLink> openLink(const std::string& address, std::string& error);

}  // namespace mdk::sim
