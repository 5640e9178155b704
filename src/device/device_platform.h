#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/clock.h"
#include "platform/interface_source.h"
#include "platform/ip_report.h"
#include "platform/process_runner.h"
#include "platform/scsi_disks.h"
#include "platform/serial_ports.h"

namespace mdk {

// The outside world as the device connection sees it: one reference per stand-in.
struct DevicePlatform {
    SerialPortMap& serialMap;
    SerialPorts& serialPorts;
    ScsiDisks& disks;
    InterfaceSource& interfaces;
    NetworkReporter& network;
    CommandRunner& commands;
};

// The Linux implementations. linkAddress chooses the Test Command interfaces: "usb" (or
// empty) enumerates libusb; "unix:PATH" or "tcp:HOST:PORT" makes the socket phone the only
// interface (the value of MARROWDECK_LINK, when set).
class LinuxDevicePlatform {
public:
    explicit LinuxDevicePlatform(const std::string& linkAddress, LinkOpener opener = {});
    DevicePlatform services();

private:
    SysfsSerialPortMap serialMap_;
    TermiosSerialPorts serialPorts_{serialMap_};
    SgioScsiDisks disks_;
    LinkAddressInterfaceSource interfaces_;
    LinuxNetworkReporter network_;
    PosixCommandRunner commands_;
};

// The fakes, for tests: every part is reachable for setting up and inspecting.
struct FakeDevicePlatform {
    FakeSerialPortMap serialMap;
    FakeSerialPorts serialPorts;
    FakeScsiDisks disks;
    FakeInterfaceSource interfaces;
    FakeNetworkReporter network;
    FakeCommandRunner commands;
    DevicePlatform services() {
        return {serialMap, serialPorts, disks, interfaces, network, commands};
    }
};

// Waits on the injected clock in slices, so that a stop request ends a long wait early.
class Waiter {
public:
    explicit Waiter(Clock& clock) : clock_(clock) {}
    // Waits ms milliseconds, or less once cancel() was called. Returns false when cancelled.
    bool wait(uint32_t ms);
    void cancel() { cancelled_ = true; }
    void reset() { cancelled_ = false; }
    bool cancelled() const { return cancelled_; }
    Clock& clock() { return clock_; }

private:
    Clock& clock_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace mdk
