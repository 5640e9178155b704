#pragma once
#include <string>

#include "device/device_platform.h"

namespace mdk {

struct DeviceContext;
class AppControl;
class DeviceDiscovery;
class DeviceView;
class Prompter;
class UsblanLink;
struct LinkState;

inline constexpr const char* kP2kSwitchCommand = "at+mode=8";

// The bytes written to the modem for the USBLAN switch: the command, CR LF, twice.
std::string usblanSwitchBytes(const std::string& command);

// Switches a phone out of modem mode and runs the attach passes of the four connection
// modes. Each attach pass holds the phone-session lock while it works; the mode questions
// are asked after the lock is released, so that a box waiting for the user never holds
// up the window's own phone operations.
class ModeSwitcher {
public:
    ModeSwitcher(DeviceContext& context, LinkState& state, DevicePlatform platform,
                 DeviceDiscovery& discovery, UsblanLink& usblan, Prompter& prompter,
                 AppControl& control, DeviceView& view, Waiter& waiter)
        : context_(context),
          state_(state),
          platform_(platform),
          discovery_(discovery),
          usblan_(usblan),
          prompter_(prompter),
          control_(control),
          view_(view),
          waiter_(waiter) {}

    // Writes "at+mode=8" CR LF to the modem port at 115200 8N1. 0 on success, -1 when the
    // port cannot be opened or written.
    int switchModemToP2k();
    // Writes the configured USBLAN switch command, CR LF, twice in one write.
    int switchModemToUsblan();
    // One attach pass of mode 0 (and of re-reading a phone location in modes 1 and 2).
    void attachP2k();
    // One attach pass of the USBLAN watcher (modes 1 to 3).
    void attachUsblan();
    // The window's "Re-Connect": switch a modem to USBLAN and bring the link up.
    void reconnect();

private:
    enum class Question { None, LinuxPhone, P2kPhone };
    Question attachP2kLocked();
    Question attachUsblanLocked();
    int writeSwitch(const std::string& logText, const std::string& bytes);
    void ask(Question question);
    void askLinuxPhone();
    void askP2kPhone();
    void reportFatalError();
    void linkFound(int message);

    DeviceContext& context_;
    LinkState& state_;
    DevicePlatform platform_;
    DeviceDiscovery& discovery_;
    UsblanLink& usblan_;
    Prompter& prompter_;
    AppControl& control_;
    DeviceView& view_;
    Waiter& waiter_;
};

}  // namespace mdk
