#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "config/linux_settings.h"
#include "device/device_platform.h"

namespace mdk {

struct DeviceContext;
class DeviceDiscovery;
class DeviceView;
class ModeSwitcher;
class UsblanLink;
struct LinkState;

// The link watch: one watcher thread per process that follows the phone. In mode 0 the
// P2k watcher runs an attach pass every 5000 ms until the Test Command interface opens,
// then runs the attach routine and blocks until the interface goes away. In modes 1 to 3
// the USBLAN watcher runs an attach pass every 512 ms. All waits go through the injected
// clock.
class LinkWatch {
public:
    static constexpr uint32_t kP2kRetryMs = 5000;
    static constexpr uint32_t kUsblanRetryMs = 512;

    LinkWatch(DeviceContext& context, LinkState& state, DevicePlatform platform,
              DeviceDiscovery& discovery, ModeSwitcher& modes, UsblanLink& usblan, DeviceView& view,
              Waiter& waiter, const LinuxSettings& settings)
        : context_(context),
          state_(state),
          platform_(platform),
          discovery_(discovery),
          modes_(modes),
          usblan_(usblan),
          view_(view),
          waiter_(waiter),
          settings_(settings) {}
    ~LinkWatch();

    // The routine run when the P2k interface has come up (the catalogue's attachPhone:
    // identity, volumes, free space). Set before start().
    void setAttachPhone(std::function<int()> attachPhone) { attachPhone_ = std::move(attachPhone); }

    // Starts the watch for the configured mode: resets the probe counters, deletes the IP
    // report and starts the watcher thread. With onceOnly it does nothing the second time
    // in a process. A watcher thread already running is kept (one per process).
    void start(bool onceOnly = true);
    // Ends the watcher thread (waits, removal waits and attach passes end early).
    void stop();
    bool running() const { return thread_.joinable() && !finished_; }

    // The P2k interface went away or was given up: the link (and the phone's lock with
    // it) is closed, the window told and its status texts reset. Not while running.
    void linkDown();

    // One round of each watcher, as the threads run them.
    void p2kCycle();
    void usblanCycle();

private:
    void run(bool p2k);

    DeviceContext& context_;
    LinkState& state_;
    DevicePlatform platform_;
    DeviceDiscovery& discovery_;
    ModeSwitcher& modes_;
    UsblanLink& usblan_;
    DeviceView& view_;
    Waiter& waiter_;
    const LinuxSettings& settings_;
    std::function<int()> attachPhone_;
    std::mutex threadMutex_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{true};
};

}  // namespace mdk
