#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "config/linux_settings.h"
#include "device/device_platform.h"
#include "device/discovery.h"
#include "device/link_watch.h"
#include "device/mode_switch.h"
#include "device/usblan_link.h"

namespace mdk {

struct DeviceContext;
class AppControl;
class DeviceView;
struct LinkState;

// The device connection of one program run: discovery, mode switching, the link watch and
// the USBLAN link, wired to the application context (whose `link` member holds the link
// state), the platform stand-ins and the window's interfaces.
class DeviceConnection {
public:
    // Uses the context's command set and prompter. Hands the catalogue its USBLAN identity
    // reader (the model name of a Linux phone) for as long as the connection lives.
    DeviceConnection(DeviceContext& context, DevicePlatform platform, DeviceView& view,
                     AppControl& control, LinuxSettings settings = {});
    ~DeviceConnection();
    DeviceConnection(const DeviceConnection&) = delete;
    DeviceConnection& operator=(const DeviceConnection&) = delete;

    LinkState& state();
    DeviceDiscovery& discovery() { return discovery_; }
    ModeSwitcher& modes() { return modes_; }
    UsblanLink& usblan() { return usblan_; }
    LinkWatch& watch() { return watch_; }
    const LinuxSettings& settings() const { return settings_; }

    // The routine the P2k watcher runs once the interface is up (the catalogue's
    // attachPhone). Set before startLinkWatch.
    void setAttachPhone(std::function<int()> attachPhone);
    // The window's start-up (onceOnly) and the package dialog (without the once test).
    void startLinkWatch(bool onceOnly = true);
    void stopLinkWatch();
    // Gives the phone up for another client (the mount): the watch stops and an open P2k
    // link is closed as if the phone had gone. startLinkWatch(false) takes it up again.
    void releaseLink();
    // One attach pass on the caller's thread (re-reading a phone location).
    void attachP2k() { modes_.attachP2k(); }
    void attachUsblan() { modes_.attachUsblan(); }
    void reconnect() { modes_.reconnect(); }
    // The close actions of the mode, run when the main window closes: stops the watch,
    // then unmounts (mode 1), ends the FTP mount (mode 2) or closes the socket (mode 3).
    void closeLink();

    // Mode 3 straight to a phone at host:port (the command line's usblan:HOST[:PORT]): the
    // connection, the session sequence and the model name (state().modelName). 0 when
    // connected, -1 otherwise (the log tells why).
    int connectUsblan(const std::string& host, uint16_t port = kUsblanPort);
    // Mode 0 (the command line's "auto"): one attach pass as the watcher runs it: open the
    // Test Command interface, or switch a modem or memory-card phone first. 0 when the
    // interface is open.
    int attachOnce();

private:
    DeviceContext& context_;
    LinuxSettings settings_;
    Waiter waiter_;
    DeviceDiscovery discovery_;
    UsblanLink usblan_;
    ModeSwitcher modes_;
    LinkWatch watch_;
};

}  // namespace mdk
