#include "device/discovery.h"

#include <algorithm>
#include <cctype>

#include "device/device_context.h"
#include "device/link_state.h"

namespace mdk {
namespace {

constexpr const char* kDevicePrefix = "\\Device\\";
constexpr size_t kDevicePrefixLength = 8;
constexpr size_t kRule1DataLimit = 255;  // a 256-byte data buffer
constexpr size_t kEnumNameLimit = 99;    // a 100-byte name buffer
constexpr size_t kEnumDataLimit = 99;    // a 100-byte data buffer

bool beginsWithCom(const std::string& data) {
    return data.compare(0, 3, "COM") == 0;
}

// The part of a value name after "\Device\", cut to length characters.
std::string nameTail(const std::string& name, size_t length) {
    if (name.size() <= kDevicePrefixLength) return {};
    return name.substr(kDevicePrefixLength, length);
}

// The first value (names over the name buffer are skipped) whose tail matches.
const SerialMapEntry* firstByTail(const std::vector<SerialMapEntry>& map, const char* tail) {
    const std::string wanted(tail);
    for (const SerialMapEntry& value : map) {
        if (value.name.size() > kEnumNameLimit) continue;
        if (nameTail(value.name, wanted.size()) == wanted) return &value;
    }
    return nullptr;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::optional<std::string> modemPortFromMap(const std::vector<SerialMapEntry>& map,
                                            bool& foundByIndex) {
    const std::string rule1Name = std::string(kDevicePrefix) + "USBSER000";
    for (const SerialMapEntry& value : map) {
        if (value.name != rule1Name) continue;
        std::string data = value.data.substr(0, kRule1DataLimit);
        if (beginsWithCom(data)) return data;
        break;  // the rule read its value; it fails on the data
    }
    if (const SerialMapEntry* value = firstByTail(map, "USBPDO-")) {
        std::string data = value->data.substr(0, kEnumDataLimit);
        if (beginsWithCom(data)) return data;
    }
    if (const SerialMapEntry* value = firstByTail(map, "0000")) {
        std::string data = value->data.substr(0, kEnumDataLimit);
        if (beginsWithCom(data)) {
            foundByIndex = true;
            return data;
        }
    }
    return std::nullopt;
}

std::string interfaceNumberText(const std::string& devicePath) {
    std::string text = "InterfaceNumber is: 00 ";
    if (devicePath.size() > kInterfaceDigitPosition) text[21] = devicePath[kInterfaceDigitPosition];
    return text;
}

int DeviceDiscovery::findModemPort() {
    state_.setText(&LinkState::modemPort, {});
    const ConfigRecord& config = context_.config;
    if (config.useFixedComPort) {
        state_.setText(&LinkState::modemPort, context_.runSettings.optionTexts().comPort);
        return 0;
    }
    auto map = platform_.serialMap.entries();
    if (!map) return -1;
    bool byIndex = false;
    auto port = modemPortFromMap(*map, byIndex);
    if (byIndex) state_.foundByIndex = true;
    if (!port) return -1;
    state_.setText(&LinkState::modemPort, *port);
    return 0;
}

void DeviceDiscovery::switchMemcardToP2k() {
    for (const DiskEntry& disk : platform_.disks.list()) {
        if (lower(disk.identity).find("motorola") == std::string::npos) continue;
        context_.log.logLine("Memcard mode found, swithcing to P2k mode...");
        platform_.disks.sendCommand(disk, kMemcardToP2kCdb, kMemcardCommandTimeoutMs);
    }
}

void DeviceDiscovery::applyConfiguredInterfaceIndex() {
    const ConfigRecord& config = context_.config;
    if (!config.useFixedInterfaceIndex) return;
    if (config.interfaceIndex < 0 || config.interfaceIndex > 0xFFFF) return;
    context_.transport.setUsbInterfaceIndex(static_cast<uint16_t>(config.interfaceIndex));
}

void DeviceDiscovery::openTestCommandInterface() {
    UsbDriver& driver = context_.driver;
    applyConfiguredInterfaceIndex();
    if (auto open = driver.link(); open && open->isOpen()) return;
    for (const InterfaceCandidate& candidate : platform_.interfaces.enumerate()) {
        const std::string& path = candidate.devicePath;
        state_.setText(&LinkState::interfaceNumberText, interfaceNumberText(path));
        if (!context_.config.useFixedInterfaceIndex && path.size() > kInterfaceDigitPosition) {
            const auto digit = static_cast<uint8_t>(path[kInterfaceDigitPosition]);
            context_.transport.setUsbInterfaceIndex(digit & 0x0F);
        } else if (context_.config.useFixedInterfaceIndex) {
            // The configured index replaces the one the path names.
            const int32_t index = context_.config.interfaceIndex;
            if (index >= 0 && index <= 0xFFFF) {
                context_.transport.setUsbInterfaceIndex(static_cast<uint16_t>(index));
            }
        }
        std::shared_ptr<DriverLink> link = candidate.open ? candidate.open() : nullptr;
        if (!link) continue;
        const int before = driver.linkHandle();
        driver.setLink(link);
        std::string name;
        driver.interfaceName(name);
        if (context_.log.packets()) {
            context_.log.logLine(name);
            context_.log.logLine(state_.text(&LinkState::interfaceNumberText));
        }
        if (name == kTestCommandInterfaceName) {
            state_.setText(&LinkState::interfaceDetail, path);
            return;
        }
        driver.clearLink();
        if (before == 1) driver.markUsblanLink();
    }
}

}  // namespace mdk
