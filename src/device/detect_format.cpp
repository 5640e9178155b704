// The detect report as text (its last line the state) and as JSON.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "device/detect.h"

namespace mdk {
namespace {

using Json = nlohmann::ordered_json;

// Text that came from a device, with control characters escaped for a terminal.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string hex(int value, int digits) {
    if (value < 0) return "?";
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

std::string octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

const char* yesNo(bool on) {
    return on ? "yes" : "no";
}

std::string aclText(const NodeInfo& node) {
    std::string text;
    auto bits = [](unsigned perm) {
        return std::string(perm & 4 ? "r" : "-") + (perm & 2 ? "w" : "-") + (perm & 1 ? "x" : "-");
    };
    for (const auto& [uid, perm] : node.aclUsers) {
        text += (text.empty() ? "" : ", ") + std::string("user ") + std::to_string(uid) + " " +
                bits(perm);
    }
    for (const auto& [gid, perm] : node.aclGroups) {
        text += (text.empty() ? "" : ", ") + std::string("group ") + std::to_string(gid) + " " +
                bits(perm);
    }
    return text.empty() ? "none" : text;
}

std::string nodeText(const NodeInfo& node, bool usable) {
    if (!node.exists) return node.path + ": missing";
    std::string group = std::to_string(node.group);
    if (!node.groupName.empty()) group += " (" + node.groupName + ")";
    return node.path + ": owner " + std::to_string(node.owner) + ", group " + group + ", mode " +
           octal(node.mode) + ", access list: " + aclText(node) +
           "; this user can open it: " + yesNo(usable);
}

std::string interfaceText(const UsbInterfaceInfo& i) {
    return "interface " + std::to_string(i.number) + ": class " + hex(i.interfaceClass, 2) + "/" +
           hex(i.subClass, 2) + "/" + hex(i.protocol, 2) + " \"" + printable(i.name) +
           "\", driver " + (i.driver.empty() ? "none" : printable(i.driver));
}

void deviceText(const DeviceReport& device, std::string& out) {
    const UsbDeviceInfo& usb = device.usb;
    out += "device " + printable(usb.sysName) + ": " + hex(usb.vendor, 4) + ":" +
           hex(usb.product, 4) + " \"" + printable(usb.productName) + "\" (" +
           printable(usb.manufacturer) + "), serial " + printable(usb.serial) + ", " +
           modeName(device.mode) + " mode\n";
    out += "  node " + nodeText(device.node, device.usable) + "\n";
    for (const auto& interface : usb.interfaces) out += "  " + interfaceText(interface) + "\n";
    for (const auto& port : device.modemPorts) {
        out += "  modem port " + nodeText(port.node, port.usable) + "\n";
    }
    for (const auto& adapter : device.adapters) {
        std::string addresses;
        for (const auto& a : adapter.ipv4) addresses += (addresses.empty() ? "" : ", ") + a;
        out += "  network adapter " + printable(adapter.name) + ": MAC " +
               (adapter.mac.empty() ? "unknown" : printable(adapter.mac)) + ", IPv4 " +
               (addresses.empty() ? "none" : addresses) + "\n";
    }
    for (const auto& disk : device.disks) out += "  disk /dev/" + printable(disk) + "\n";
}

std::string ruleText(const DetectReport& report) {
    std::string text = std::string("udev rule ") + kUdevRuleName + ": ";
    if (!report.rulesRead.empty()) {
        text += "installed at " + report.rulesRead.front();
    } else if (!report.rulesNotRead.empty()) {
        text += "at " + report.rulesNotRead.front() + ", which udev does not read";
    } else {
        text += "not installed (looked in /etc, /run, /usr/lib and /lib udev/rules.d)";
    }
    return text;
}

std::string probeText(const ProbeReport& probe) {
    std::string out = probe.address.empty() ? "probe: " : "probe (" + probe.address + "): ";
    if (!probe.attempted) {
        return out + "not made" + (probe.note.empty() ? "" : ": " + probe.note) + "\n";
    }
    if (!probe.reached) return out + "failed: " + probe.note + "\n";
    out += std::string("framing ") + (probe.p2k05 ? "P2k05" : "classic") + ", family " +
           (probe.cdma ? "CDMA" : "GSM") + ", model \"" + printable(probe.model) + "\"\n";
    for (const auto& volume : probe.volumes) {
        out += "  volume " + printable(volume.name) + ": free " +
               (volume.freeBytes ? std::to_string(*volume.freeBytes) + " bytes" : "unknown") + "\n";
    }
    if (!probe.note.empty()) out += "  " + probe.note + "\n";
    return out;
}

Json nodeJson(const NodeInfo& node, bool usable) {
    Json j = {{"path", node.path}, {"exists", node.exists}};
    if (!node.exists) return j;
    j["owner"] = node.owner;
    j["group"] = node.group;
    j["groupName"] = node.groupName;
    j["mode"] = octal(node.mode);
    Json users = Json::object();
    for (const auto& [uid, perm] : node.aclUsers) users[std::to_string(uid)] = perm;
    j["aclUsers"] = users;
    j["usable"] = usable;
    return j;
}

Json deviceJson(const DeviceReport& device) {
    const UsbDeviceInfo& usb = device.usb;
    Json interfaces = Json::array();
    for (const auto& i : usb.interfaces) {
        interfaces.push_back({{"number", i.number},
                              {"class", i.interfaceClass},
                              {"subClass", i.subClass},
                              {"protocol", i.protocol},
                              {"name", i.name},
                              {"driver", i.driver},
                              {"ttys", i.ttys},
                              {"netAdapters", i.netAdapters},
                              {"disks", i.blockDevices}});
    }
    Json ports = Json::array();
    for (const auto& port : device.modemPorts) ports.push_back(nodeJson(port.node, port.usable));
    Json adapters = Json::array();
    for (const auto& a : device.adapters) {
        adapters.push_back({{"name", a.name}, {"mac", a.mac}, {"ipv4", a.ipv4}});
    }
    return {{"sysName", usb.sysName},           {"vendor", hex(usb.vendor, 4)},
            {"product", hex(usb.product, 4)},   {"productName", usb.productName},
            {"manufacturer", usb.manufacturer}, {"serial", usb.serial},
            {"mode", modeName(device.mode)},    {"node", nodeJson(device.node, device.usable)},
            {"interfaces", interfaces},         {"modemPorts", ports},
            {"networkAdapters", adapters},      {"disks", device.disks}};
}

Json probeJson(const ProbeReport& probe) {
    Json volumes = Json::array();
    for (const auto& v : probe.volumes) {
        volumes.push_back(
            {{"name", v.name}, {"freeBytes", v.freeBytes ? Json(*v.freeBytes) : Json(nullptr)}});
    }
    return {{"address", probe.address},
            {"attempted", probe.attempted},
            {"reached", probe.reached},
            {"note", probe.note},
            {"framing", probe.reached ? (probe.p2k05 ? "P2k05" : "classic") : ""},
            {"family", probe.reached ? (probe.cdma ? "CDMA" : "GSM") : ""},
            {"model", probe.model},
            {"volumes", volumes}};
}

}  // namespace

std::string detectText(const DetectReport& report) {
    std::string out = "Marrowdeck " + report.system.version + " connection report\n";
    out += "kernel: " + report.system.kernel + "\n";
    out += "distribution: " + printable(report.system.distribution) + "\n";
    const UserIdentity& user = report.session.user;
    out += "user: " + (user.name.empty() ? std::string("?") : user.name) + " (uid " +
           std::to_string(user.uid) + "), " +
           (report.session.remote ? "remote (SSH) login" : "local login") + "\n";
    out += ruleText(report) + "\n";
    out += "looked for: USB devices of vendor 0x22B8 in /sys/bus/usb/devices\n";
    if (!report.usbBus) out += "USB: no /sys/bus/usb on this system\n";
    if (report.usbBus && report.devices.empty()) out += "Motorola devices: none\n";
    for (const auto& device : report.devices) deviceText(device, out);
    if (!report.lockedAddress.empty()) {
        out += "lock (" + report.lockedAddress +
               "): " + (report.lockHolder.empty() ? std::string("free") : report.lockHolder) + "\n";
    }
    if (!report.switchResult.empty()) out += "switch: " + report.switchResult + "\n";
    out += probeText(report.probe);
    for (const auto& advice : report.advice) out += "advice: " + advice + "\n";
    out += report.stateLine + "\n";
    return out;
}

std::string detectJson(const DetectReport& report) {
    Json devices = Json::array();
    for (const auto& device : report.devices) devices.push_back(deviceJson(device));
    const Json j = {
        {"version", report.system.version},
        {"kernel", report.system.kernel},
        {"distribution", report.system.distribution},
        {"user",
         {{"name", report.session.user.name},
          {"uid", report.session.user.uid},
          {"remote", report.session.remote}}},
        {"udevRule", {{"read", report.rulesRead}, {"notRead", report.rulesNotRead}}},
        {"usbBus", report.usbBus},
        {"devices", devices},
        {"lock", {{"address", report.lockedAddress}, {"holder", report.lockHolder}}},
        {"switch", report.switchResult},
        {"probe", probeJson(report.probe)},
        {"advice", report.advice},
        {"state", report.stateLine},
        {"phoneReached", report.probe.reached},
    };
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace mdk
