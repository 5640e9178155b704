#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace mdk {

// The state of the phone link that discovery, the attach passes, the watchers and the
// USBLAN link share. linkHandle itself lives in the USB driver (UsbDriver::linkHandle()).
// Flags read by other threads are atomic; the texts are guarded by textMutex.
struct LinkState {
    // Set to 1 whenever an attach step finds the link; 999 marks a cancelled package run.
    std::atomic<int> phoneConnected{0};
    std::atomic<bool> interfaceUp{false};
    // Mode 0: the attach routine (command-set probe, identity, volumes) has finished on the
    // interface that is up; cleared when it goes away.
    std::atomic<bool> phoneAttached{false};
    std::atomic<bool> usblanUp{false};
    std::atomic<uint32_t> modemProbeCount{0};
    std::atomic<bool> usblanSwitchSent{false};
    std::atomic<bool> watchersStarted{false};
    std::atomic<bool> foundByIndex{false};
    // Set once the user chose to restart: the watchers stop asking and searching.
    std::atomic<bool> restartRequested{false};
    // Modes 1 and 2: the phone's file system is mounted (set once per run).
    std::atomic<bool> driveMapped{false};
    // Mode 2: the process id of the FTP mount command, or -1.
    std::atomic<int> ftpDriveProcess{-1};

    mutable std::mutex textMutex;
    std::string modemPort;        // "COM1" or a device path, as found
    std::string interfaceDetail;  // device path of the open Test Command interface
    std::string interfaceNumberText = "InterfaceNumber is: 00 ";
    std::string adapterIp;   // the PC side of the USB network adapter
    std::string phoneIp;     // the phone's address
    std::string modelName;   // mode 3: from the phone's Bluetooth settings
    std::string mountPoint;  // modes 1 and 2: where the phone's files appear

    std::string text(const std::string LinkState::*field) const {
        std::lock_guard lock(textMutex);
        return this->*field;
    }
    void setText(std::string LinkState::*field, std::string value) {
        std::lock_guard lock(textMutex);
        this->*field = std::move(value);
    }
};

}  // namespace mdk
