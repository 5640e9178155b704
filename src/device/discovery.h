#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device_platform.h"

namespace mdk {

struct DeviceContext;
struct LinkState;

inline constexpr const char* kTestCommandInterfaceName = "Motorola Test Command";
// Position of the interface-number digit in a device path (0-based).
inline constexpr size_t kInterfaceDigitPosition = 30;

// The modem-port rules on the serial-port map, in order: the value "\Device\USBSER000";
// the first value named "\Device\USBPDO-..."; the first value named "\Device\0000...".
// A rule succeeds only when its data begins with "COM". nullopt when no rule succeeds
// (or the map cannot be read). foundByIndex is set when the third rule found the port.
std::optional<std::string> modemPortFromMap(const std::vector<SerialMapEntry>& map,
                                            bool& foundByIndex);

// "InterfaceNumber is: 00 " with its 22nd character replaced by the path's interface digit
// (unchanged when the path is too short).
std::string interfaceNumberText(const std::string& devicePath);

// The SCSI command that puts a phone in memory-card mode into P2k mode (vendor command
// 0xD6, target mode 8 in the 11th byte).
inline constexpr std::array<uint8_t, 12> kMemcardToP2kCdb = {0xD6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0};
inline constexpr uint32_t kMemcardCommandTimeoutMs = 25000;

// Finds the phone in its three guises: the modem's serial port, a memory-card disk, and
// the Test Command interface. Not re-entrant: callers hold the phone-session lock.
class DeviceDiscovery {
public:
    DeviceDiscovery(DeviceContext& context, LinkState& state, DevicePlatform platform)
        : context_(context), state_(state), platform_(platform) {}

    // 0 when state.modemPort holds a port, -1 otherwise. With "use this COM port:" on, the
    // configured port is taken without reading the map.
    int findModemPort();
    // Sends the mode-switch command to every disk whose identity contains "motorola".
    void switchMemcardToP2k();
    // Opens the first interface that names itself "Motorola Test Command": the driver then
    // holds it (linkHandle non-zero) and state.interfaceDetail its path. Unless "Use this
    // USB IF Index:" is on, the interface index follows each path examined. On failure the
    // link is left as it was. An interface already open and up is kept as it is.
    void openTestCommandInterface();
    // With "Use this USB IF Index:" on, the configured number becomes the transport's
    // interface index (at start-up and whenever discovery runs); otherwise nothing changes.
    void applyConfiguredInterfaceIndex();

private:
    DeviceContext& context_;
    LinkState& state_;
    DevicePlatform platform_;
};

}  // namespace mdk
