// What the detect report concludes: the state of its last line and the advice before it.
#include "device/detect.h"

namespace mdk {
namespace {

const DeviceReport* firstDevice(const DetectReport& report, PhoneMode mode) {
    for (const auto& device : report.devices) {
        if (device.mode == mode) return &device;
    }
    return nullptr;
}

bool rulesInstalled(const DetectReport& report) {
    return !report.rulesRead.empty();
}

// A modem-mode device's first port this user cannot open (nullptr when all can be).
const ModemPortReport* blockedPort(const DeviceReport& device) {
    for (const auto& port : device.modemPorts) {
        if (!port.usable) return &port;
    }
    return nullptr;
}

bool anyUsablePort(const DeviceReport& device) {
    for (const auto& port : device.modemPorts) {
        if (port.usable) return true;
    }
    return false;
}

std::string userName(const DetectReport& report) {
    const UserIdentity& user = report.session.user;
    return user.name.empty() ? "uid " + std::to_string(user.uid) : user.name;
}

// Why a node this user cannot open stays closed, in a few words.
std::string blockReason(const DetectReport& report) {
    if (!rulesInstalled(report)) return "the udev rule is not installed";
    if (report.session.remote) return "a remote session gets no access through uaccess";
    return "the rule gave this user no access; plug the phone in again";
}

// The node a device's next step needs and this user cannot open; nullptr when none.
const NodeInfo* blockedNode(const DeviceReport& device) {
    if (device.mode == PhoneMode::P2k && !device.usable) return &device.node;
    if (device.mode == PhoneMode::Modem && !anyUsablePort(device)) {
        if (const ModemPortReport* port = blockedPort(device)) return &port->node;
    }
    return nullptr;
}

std::string noPermissionText(const DetectReport& report) {
    for (const auto& device : report.devices) {
        const NodeInfo* node = blockedNode(device);
        if (!node) continue;
        std::string reason = blockReason(report);
        if (device.mode == PhoneMode::Modem && rulesInstalled(report) && !node->groupName.empty()) {
            reason = "join the group " + node->groupName;
        }
        return "no permission: " + userName(report) + " cannot open " + node->path + " (" + reason +
               ")";
    }
    return {};
}

}  // namespace

DetectState stateOf(const DetectReport& report) {
    if (report.probe.reached) return DetectState::Ready;
    if (!report.lockHolder.empty()) return DetectState::InUse;
    if (report.probe.attempted) return DetectState::NoAnswer;
    if (report.devices.empty()) return DetectState::NoDevice;
    if (!noPermissionText(report).empty()) return DetectState::NoPermission;
    if (firstDevice(report, PhoneMode::P2k)) return DetectState::NotAttached;
    if (firstDevice(report, PhoneMode::Modem)) return DetectState::ModemMode;
    if (firstDevice(report, PhoneMode::MemoryCard)) return DetectState::MemoryCardMode;
    if (firstDevice(report, PhoneMode::Usblan)) return DetectState::UsblanMode;
    return DetectState::UnknownDevice;
}

namespace {

void addRuleAdvice(const DetectReport& report, std::vector<std::string>& advice) {
    if (!report.rulesRead.empty()) return;
    if (!report.rulesNotRead.empty()) {
        advice.push_back(std::string(kUdevRuleName) + " is installed at " +
                         report.rulesNotRead.front() +
                         ", which udev does not read: move it to /etc/udev/rules.d/, then run "
                         "\"sudo udevadm control --reload\" and plug the phone in again.");
        return;
    }
    advice.push_back(std::string("The udev rule ") + kUdevRuleName +
                     " is not installed: install the package, or copy "
                     "resources/udev/70-marrowdeck.rules to /etc/udev/rules.d/, then run "
                     "\"sudo udevadm control --reload\" and plug the phone in again.");
}

void addAccessAdvice(const DetectReport& report, std::vector<std::string>& advice) {
    const std::string user = userName(report);
    if (report.session.user.uid == 0) {
        advice.push_back(
            "Running as root: every node opens. Run detect as the desktop user to "
            "see whether the rule gives that user the phone.");
    } else if (report.session.remote) {
        advice.push_back(
            "This is a remote (SSH) login: the rule gives access through uaccess, "
            "only to the user of the active local session. Run Marrowdeck on the "
            "machine's own desktop.");
    }
    for (const auto& device : report.devices) {
        if (device.mode == PhoneMode::P2k && !device.usable && device.node.exists &&
            rulesInstalled(report) && !report.session.remote) {
            advice.push_back("The rule did not apply to " + device.node.path +
                             ": its access list does not name " + user +
                             ". Unplug the phone and plug it in again, or run \"sudo udevadm "
                             "trigger --attr-match=idVendor=22b8\".");
        }
        for (const auto& port : device.modemPorts) {
            if (port.usable || !port.node.exists) continue;
            const std::string group = port.node.groupName.empty() ? "dialout" : port.node.groupName;
            advice.push_back("The modem port " + port.node.path + " belongs to the group " + group +
                             ": join it with \"sudo adduser " + user + " " + group +
                             "\", then log in again.");
        }
    }
}

// What a device in each mode is told, after "Device NAME".
const char* modeAdvice(PhoneMode mode) {
    switch (mode) {
        case PhoneMode::P2k:
            return " is in P2k mode and this user can open it.";
        case PhoneMode::Modem:
            return " is a phone in modem mode: \"detect --switch\" or Re-Connect writes "
                   "at+mode=8 to its modem port, which switches it into P2k mode; it then comes "
                   "back with another product id.";
        case PhoneMode::MemoryCard:
            return " is a phone in memory-card mode: \"detect --switch\" sends its disk the "
                   "SCSI command that switches it into P2k mode.";
        case PhoneMode::Usblan:
            return " is a Linux phone on USBLAN: reach it with --phone usblan:PHONE_ADDRESS, or "
                   "choose \"P2k05 over USBLAN\" in the options.";
        default:
            return " shows no phone interface: it may be another Motorola product, or a phone "
                   "that is still starting.";
    }
}

void addModeAdvice(const DetectReport& report, std::vector<std::string>& advice) {
    size_t p2k = 0;
    for (const auto& device : report.devices) {
        if (device.mode == PhoneMode::P2k) {
            ++p2k;
            // Only a P2k phone that can be opened and was not probed needs a word.
            if (!device.usable || report.probe.attempted) continue;
        }
        advice.push_back("Device " + device.usb.sysName + modeAdvice(device.mode));
    }
    if (p2k > 1) {
        advice.push_back(
            "More than one phone is in P2k mode: the first one is taken; unplug "
            "the others, or probe one with --phone.");
    }
}

}  // namespace

std::vector<std::string> adviceFor(const DetectReport& report) {
    std::vector<std::string> advice;
    if (!report.usbBus) {
        advice.push_back(
            "This system shows no USB bus (/sys/bus/usb is missing), as in a "
            "container or a virtual machine without USB: attach the phone to a "
            "machine with USB, or pass the USB device through.");
    } else if (report.devices.empty()) {
        advice.push_back(
            "No device of vendor 0x22B8 is attached: plug the phone in with a data "
            "cable and unlock it (a cable that only charges shows nothing).");
    }
    addRuleAdvice(report, advice);
    addAccessAdvice(report, advice);
    addModeAdvice(report, advice);
    if (!report.lockHolder.empty()) {
        advice.push_back("Another Marrowdeck program has the phone (" + report.lockHolder +
                         "): close it, or use that one.");
    }
    return advice;
}

std::string stateText(const DetectReport& report) {
    switch (stateOf(report)) {
        case DetectState::Ready:
            return "ready";
        case DetectState::InUse:
            return report.lockHolder;
        case DetectState::NoAnswer:
            return "no answer from " + report.probe.address + ": " + report.probe.note;
        case DetectState::NoDevice:
            return "no Motorola device";
        case DetectState::NoPermission:
            return noPermissionText(report);
        case DetectState::ModemMode:
            return "phone in modem mode: run with --switch or use Re-Connect";
        case DetectState::MemoryCardMode:
            return "phone in memory-card mode: run with --switch or use Re-Connect";
        case DetectState::UsblanMode:
            return "phone in USBLAN mode: run with --phone usblan:PHONE_ADDRESS";
        case DetectState::NotAttached:
            return "P2k interface present but not opened: use Re-Connect";
        case DetectState::UnknownDevice:
            return "Motorola device without a phone interface";
    }
    return {};
}

void concludeDetect(DetectReport& report) {
    report.state = stateOf(report);
    report.stateLine = stateText(report);
    report.advice = adviceFor(report);
}

}  // namespace mdk
