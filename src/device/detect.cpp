#include "device/detect.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "device/discovery.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "platform/ip_report.h"
#include "platform/phone_lock.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

constexpr uint16_t kMotorolaVendor = 0x22B8;
constexpr int kCommunicationsClass = 0x02;
constexpr int kStorageClass = 0x08;

bool hasDriver(const UsbDeviceInfo& device, std::initializer_list<const char*> names) {
    for (const auto& interface : device.interfaces) {
        for (const char* name : names) {
            if (interface.driver == name) return true;
        }
    }
    return false;
}

template <typename Pred>
bool anyInterface(const UsbDeviceInfo& device, Pred pred) {
    for (const auto& interface : device.interfaces) {
        if (pred(interface)) return true;
    }
    return false;
}

// "PRETTY_NAME="Debian GNU/Linux 12 (bookworm)"" -> the text between the quotes.
std::string osReleaseName(const std::string& root) {
    const auto text = readTextFile(root + "/etc/os-release");
    if (!text) return "unknown (no /etc/os-release)";
    std::istringstream in(*text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return "unknown";
}

DeviceReport deviceReport(const UsbSysfs& sysfs, UsbDeviceInfo usb, const AddressLookup& ipv4Of,
                          const UserIdentity& user) {
    DeviceReport device;
    device.mode = modeOf(usb);
    device.node = sysfs.node(usb.devName);
    device.usable = canReadWrite(device.node, user);
    usb.serial = maskSerial(usb.serial);
    for (const auto& interface : usb.interfaces) {
        for (const auto& tty : interface.ttys) {
            ModemPortReport port{sysfs.node(tty), false};
            port.usable = canReadWrite(port.node, user);
            device.modemPorts.push_back(port);
        }
        for (const auto& name : interface.netAdapters) {
            device.adapters.push_back({name, maskMac(sysfs.macAddress(name)),
                                       ipv4Of ? ipv4Of(name) : std::vector<std::string>{}});
        }
        device.disks.insert(device.disks.end(), interface.blockDevices.begin(),
                            interface.blockDevices.end());
    }
    device.usb = std::move(usb);
    return device;
}

}  // namespace

PhoneMode modeOf(const UsbDeviceInfo& device) {
    if (anyInterface(device, [](const auto& i) { return i.name == kTestCommandInterfaceName; })) {
        return PhoneMode::P2k;
    }
    if (hasDriver(device, {"rndis_host", "cdc_ether", "cdc_eem", "cdc_ncm"}) ||
        anyInterface(device, [](const auto& i) { return !i.netAdapters.empty(); })) {
        return PhoneMode::Usblan;
    }
    if (hasDriver(device, {"cdc_acm"}) || anyInterface(device, [](const auto& i) {
            return !i.ttys.empty() || i.interfaceClass == kCommunicationsClass;
        })) {
        return PhoneMode::Modem;
    }
    if (hasDriver(device, {"usb-storage", "uas"}) ||
        anyInterface(device, [](const auto& i) { return i.interfaceClass == kStorageClass; })) {
        return PhoneMode::MemoryCard;
    }
    return PhoneMode::Unknown;
}

const char* modeName(PhoneMode mode) {
    switch (mode) {
        case PhoneMode::P2k:
            return "P2k";
        case PhoneMode::Modem:
            return "modem";
        case PhoneMode::MemoryCard:
            return "memory card";
        case PhoneMode::Usblan:
            return "USBLAN";
        default:
            return "unknown";
    }
}

void gatherDetect(const UsbSysfs& sysfs, AddressLookup ipv4Of, DetectReport& report) {
    report.usbBus = sysfs.usbBusPresent();
    report.devices.clear();
    for (UsbDeviceInfo& usb : sysfs.devices(kMotorolaVendor)) {
        report.devices.push_back(deviceReport(sysfs, std::move(usb), ipv4Of, report.session.user));
    }
    report.rulesRead = sysfs.rulesRead(kUdevRuleName);
    report.rulesNotRead = sysfs.rulesNotRead(kUdevRuleName);
}

DetectReport startDetect(const UsbSysfs& sysfs, const AddressLookup& ipv4Of) {
    DetectReport report;
    report.system = systemInfo(programVersion(), sysfs.root());
    report.session = sessionFrom(currentUser(), std::getenv);
    gatherDetect(sysfs, ipv4Of, report);
    return report;
}

AddressLookup systemAddresses() {
    std::map<std::string, std::vector<std::string>> byName;
    for (const AdapterInfo& adapter : LinuxNetworkReporter().adapters()) {
        for (const auto& v4 : adapter.ipv4) byName[adapter.name].push_back(v4.address);
    }
    return [byName](const std::string& name) {
        auto found = byName.find(name);
        return found == byName.end() ? std::vector<std::string>{} : found->second;
    };
}

bool checkPhoneLock(const std::string& address, DetectReport& report) {
    const std::string key = phoneLockKey(address);
    if (key.empty()) return true;
    report.lockedAddress = address;
    PhoneLock lock;
    std::string error;
    if (lock.acquire(key, 0, error)) return true;
    const std::string prefix = "the phone is ";
    if (error.rfind(prefix, 0) == 0) {
        report.lockHolder = error.substr(prefix.size());
    } else {
        report.probe.note = error;
    }
    return false;
}

SessionInfo sessionFrom(const UserIdentity& user,
                        const std::function<const char*(const char*)>& getenv) {
    SessionInfo session;
    session.user = user;
    for (const char* name : {"SSH_CONNECTION", "SSH_TTY", "SSH_CLIENT"}) {
        const char* value = getenv(name);
        if (value && *value) session.remote = true;
    }
    return session;
}

const char* programVersion() {
    return MDK_VERSION;
}

SystemInfo systemInfo(const std::string& version, const std::string& root) {
    SystemInfo info;
    info.version = version;
    utsname names{};
    if (::uname(&names) == 0) {
        info.kernel = std::string(names.sysname) + " " + names.release + " " + names.machine;
    }
    info.distribution = osReleaseName(root);
    return info;
}

ProbeReport probePhone(UsbDriver& driver, Transport& transport, CommandSet& commands) {
    ProbeReport probe;
    probe.attempted = true;
    PhoneSession session(transport);
    std::string name;
    if (driver.interfaceName(name) != 0) {
        probe.note = "the interface does not answer the name request";
        return probe;
    }
    if (name != kTestCommandInterfaceName) {
        probe.note = "not a Test Command interface (\"" + name + "\")";
        return probe;
    }
    commands.probeCommandSet();
    probe.p2k05 = transport.p2k05Active();
    probe.cdma = commands.cdmaPhone();
    const PhoneModelRead identity = readPhoneModel(commands);
    if (!identity.ok) {
        probe.note = transport.failureText("the phone refused the identity read");
        return probe;
    }
    probe.reached = true;
    probe.model = identity.model;
    if (probe.cdma) {
        probe.note = "volumes are not asked of a CDMA phone (its attach reads none)";
        return probe;
    }
    std::vector<uint8_t> list;
    if (commands.phoneListVolumes(list) != 0) {
        probe.note = "the phone did not list its volumes";
        return probe;
    }
    std::istringstream names(Catalogue::volumeText(list));
    for (std::string volume; names >> volume;) {
        probe.volumes.push_back({volume, commands.phoneFreeSpace(volume)});
    }
    return probe;
}

std::string maskSerial(const std::string& serial) {
    constexpr size_t kKept = 2;
    if (serial.size() <= 3 * kKept) return std::string(serial.size(), '*');
    return serial.substr(0, kKept) + std::string(serial.size() - 2 * kKept, '*') +
           serial.substr(serial.size() - kKept);
}

std::string maskMac(const std::string& mac) {
    constexpr size_t kKept = 8;  // "00:11:22"
    std::string masked = mac;
    for (size_t i = kKept; i < masked.size(); ++i) {
        if (masked[i] != ':' && masked[i] != '-') masked[i] = 'x';
    }
    return masked;
}

}  // namespace mdk
