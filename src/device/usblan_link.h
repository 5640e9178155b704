#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/linux_settings.h"
#include "device/device_platform.h"
#include "p2k/phone_identity.h"
#include "platform/phone_lock.h"

namespace mdk {

struct DeviceContext;
class CommandSet;
class DeviceView;
struct LinkState;

inline constexpr uint16_t kUsblanPort = 11000;

// What the IP report says about the phone's USB network adapter.
struct AdapterMatch {
    std::string line;       // from the match to the end of its line
    std::string adapterIp;  // the adapter's IPv4 address text, possibly empty
};

// Finds the adapter by "Motorola", else "Belcarra", else "USBLAN" (case-sensitive), and
// the first "IP" after the match that is not "IPv6": the text after its ":" (blanks
// skipped) up to CR or a character other than "-", ".", "/" or a digit. The search stays
// inside the adapter's block (up to the next line that starts at the left margin), so
// that an adapter without an address never takes the next adapter's.
std::optional<AdapterMatch> findUsblanAdapter(std::string_view report);

// The phone lock key of a USBLAN phone: "usblan:IP:PORT".
std::string usblanLockKey(const std::string& phoneIp, uint16_t port);

// The address with its last number increased by one ("192.168.16.9" -> "192.168.16.10").
// Empty when the text does not end in a number.
std::string nextAddress(const std::string& address);

// True for a dotted IPv4 address (four numbers 0..255).
bool isIpv4Address(const std::string& text);

// The Linux volumes shown in mode 3 as the first five location entries.
std::vector<std::string> usblanVolumeEntries();

// The phone's USB network link: the IP report, the mount stand-ins of modes 1 and 2, and
// the TCP connection of mode 3 that carries P2k05 commands. Callers hold the phone-session
// lock around each call that can reach the phone.
class UsblanLink {
public:
    UsblanLink(DeviceContext& context, CommandSet& commands, LinkState& state,
               DevicePlatform platform, DeviceView& view, const LinuxSettings& settings,
               Waiter& waiter);
    ~UsblanLink();

    // Writes the IP report anew, waits 400 ms and, unless the phone drive is mounted,
    // brings the link up.
    void refreshIpReport();
    // Reads the report and brings the link up in the current mode. -1 when the report
    // cannot be read; 0 otherwise (the link state tells whether the adapter was found).
    int bringUpUsblan();
    // Mode 3: the P2k05 connection to phoneIp:port bound to adapterIp (empty: unbound),
    // the session sequence, the filename filter and the Linux volumes. 0 when connected.
    int connectP2k05(const std::string& adapterIp, const std::string& phoneIp, uint16_t port);
    // Mode 3: reads the model name and fills the Linux volumes.
    void showUsblanVolumes();
    // Reads the model name from the phone's Bluetooth settings; when found it also becomes
    // state.modelName. nullopt when the file has no name.
    std::optional<std::string> readModelName();
    // The close actions of the mode: unmount (1), end the FTP mount (2), close the
    // socket (3).
    void closeLink();
    // A fatal error met by the last bring-up ("! Cannot create a socket."), for the caller
    // to show once it has released the phone-session lock; empty when none.
    std::string takeFatalError();

    std::string reportPath() const;

private:
    void dropLink();
    void closeSocket();
    void mountShare(const std::string& phoneIp);
    void mountFtp(const std::string& phoneIp);
    void writeFtpServerList(const std::string& phoneIp);

    DeviceContext& context_;
    CommandSet& commands_;
    LinkState& state_;
    DevicePlatform platform_;
    DeviceView& view_;
    const LinuxSettings& settings_;
    Waiter& waiter_;
    int socket_ = -1;
    PhoneLock lock_;  // held while the connection is open
    std::string fatalError_;
};

}  // namespace mdk
