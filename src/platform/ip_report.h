#pragma once
#include <mutex>
#include <string>
#include <vector>

namespace mdk {

// One network adapter as the IP configuration listing shows it.
struct AdapterInfo {
    std::string name;         // "usb0"
    std::string description;  // "Motorola USB Networking Interface"
    std::string mac;          // "00-11-22-33-44-55", empty when unknown
    unsigned index = 0;       // interface index (the zone of link-local addresses)
    bool up = false;
    struct V4 {
        std::string address;
        std::string mask;
    };
    std::vector<V4> ipv4;
    std::vector<std::string> ipv6;  // without zone
};

// The IP configuration listing, in the layout of the Windows one: a header, then one block
// per adapter, lines ended by CR LF, the IPv4 lines before the IPv6 lines.
std::string formatIpReport(const std::string& hostName, const std::vector<AdapterInfo>& adapters);

// Produces the text of the IP report.
class NetworkReporter {
public:
    virtual ~NetworkReporter() = default;
    // The current listing; may read sysfs, does not block on the network.
    virtual std::string report() = 0;
};

// getifaddrs for the addresses, sysfs for the USB device's manufacturer and product
// strings (the adapter's description); the loopback adapter is left out.
class LinuxNetworkReporter final : public NetworkReporter {
public:
    explicit LinuxNetworkReporter(std::string sysfsRoot = "/sys")
        : sysfsRoot_(std::move(sysfsRoot)) {}
    std::string report() override;
    std::vector<AdapterInfo> adapters();

private:
    std::string describe(const std::string& interfaceName);
    std::string sysfsRoot_;
};

// A listing given by the test; counts how often it was asked.
class FakeNetworkReporter final : public NetworkReporter {
public:
    std::string report() override;
    void setReport(std::string text);
    int calls() const;

private:
    mutable std::mutex mutex_;
    std::string text_;
    int calls_ = 0;
};

}  // namespace mdk
