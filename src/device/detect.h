#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_sysfs.h"

namespace mdk {

class CommandSet;
class Transport;
class UsbDriver;

// The udev rule the project ships for vendor 0x22B8.
inline constexpr const char* kUdevRuleName = "70-marrowdeck.rules";

// The mode a device shows itself in, from its interfaces.
enum class PhoneMode { P2k, Modem, MemoryCard, Usblan, Unknown };

// The state named on the report's last line, the first that fits in this order.
enum class DetectState {
    Ready,         // a phone answered the probe
    InUse,         // another process holds the phone's lock
    NoAnswer,      // the probe reached a link but the phone did not answer
    NoDevice,      // no Motorola device
    NoPermission,  // the node the next step needs cannot be opened
    ModemMode,
    MemoryCardMode,
    UsblanMode,
    NotAttached,    // a usable Test Command interface that was not probed
    UnknownDevice,  // Motorola devices without a phone interface
};

// What the probe found. It writes nothing to the phone: the command-set probe and the
// identity are seem reads, then the volume list and the free space of each volume.
struct ProbeReport {
    bool attempted = false;
    bool reached = false;
    std::string address;
    std::string note;  // why it was not made, or how it failed
    bool p2k05 = false;
    bool cdma = false;
    std::string model;
    struct Volume {
        std::string name;
        std::optional<uint32_t> freeBytes;
    };
    std::vector<Volume> volumes;
};

struct ModemPortReport {
    NodeInfo node;
    bool usable = false;
};

struct AdapterReport {
    std::string name;
    std::string mac;  // masked
    std::vector<std::string> ipv4;
};

struct DeviceReport {
    UsbDeviceInfo usb;  // serial masked
    NodeInfo node;
    bool usable = false;
    PhoneMode mode = PhoneMode::Unknown;
    std::vector<ModemPortReport> modemPorts;
    std::vector<AdapterReport> adapters;
    std::vector<std::string> disks;
};

struct SessionInfo {
    UserIdentity user;
    bool remote = false;  // an SSH login
};

struct SystemInfo {
    std::string version;
    std::string kernel;
    std::string distribution;
};

struct DetectReport {
    SystemInfo system;
    SessionInfo session;
    bool usbBus = false;
    std::vector<DeviceReport> devices;
    std::vector<std::string> rulesRead;     // where udev reads it
    std::vector<std::string> rulesNotRead;  // under /usr/local
    std::string lockHolder;                 // "in use by process N", empty when free
    std::string lockedAddress;              // the address whose lock was looked at
    std::string switchResult;               // what --switch did, empty without it
    ProbeReport probe;
    std::vector<std::string> advice;
    DetectState state = DetectState::NoDevice;
    std::string stateLine;
};

// The IPv4 addresses of a network adapter by name.
using AddressLookup = std::function<std::vector<std::string>(const std::string& adapter)>;

// Reads devices, nodes, modem ports, network adapters and the rule's place. Opens nothing.
void gatherDetect(const UsbSysfs& sysfs, AddressLookup ipv4Of, DetectReport& report);
// A report of this system and user (programVersion, uname, os-release, the process's user
// and environment) with what gatherDetect reads.
DetectReport startDetect(const UsbSysfs& sysfs, const AddressLookup& ipv4Of);
// The IPv4 addresses of this machine's adapters (getifaddrs), looked up by name.
AddressLookup systemAddresses();
// Takes and drops the lock of the phone at address: false, with lockHolder ("in use by
// process N") or the probe's note set, when another client has it.
bool checkPhoneLock(const std::string& address, DetectReport& report);
// The mode of a device: a Test Command interface is P2k mode, else a cdc_acm modem, a
// storage interface, a network adapter.
PhoneMode modeOf(const UsbDeviceInfo& device);
// The user's login: remote when SSH_CONNECTION or SSH_TTY is set.
SessionInfo sessionFrom(const UserIdentity& user,
                        const std::function<const char*(const char*)>& getenv);
// The program's version, as the build was made.
const char* programVersion();
// The version given, the kernel (uname) and the distribution (PRETTY_NAME of
// root/etc/os-release).
SystemInfo systemInfo(const std::string& version, const std::string& root = "/");
// Probes the phone on the driver's open link under the phone-session lock: interface
// name, framing, family, model, volumes and free space. Never runs the session sequence.
ProbeReport probePhone(UsbDriver& driver, Transport& transport, CommandSet& commands);

// Fills advice, state and stateLine from the rest of the report.
void concludeDetect(DetectReport& report);
// The state (the first that fits, in the order of DetectState) and its line ("ready",
// "no Motorola device", ...).
DetectState stateOf(const DetectReport& report);
std::string stateText(const DetectReport& report);
// What the user can do, one sentence each: the USB bus, the rule, access, each device's
// mode, the lock.
std::vector<std::string> adviceFor(const DetectReport& report);

// The report as text, its last line the state, and as JSON.
std::string detectText(const DetectReport& report);
std::string detectJson(const DetectReport& report);

// Serial numbers keep their first and last two characters; MAC addresses their first
// three bytes.
std::string maskSerial(const std::string& serial);
std::string maskMac(const std::string& mac);
const char* modeName(PhoneMode mode);

}  // namespace mdk
