#include "platform/ip_report.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/safe_file.h"

namespace mdk {
namespace fs = std::filesystem;

namespace {

const char* const kEol = "\r\n";

// "   Label . . . . : value": dot leaders on the odd columns up to the colon at column 37.
std::string field(const std::string& label, const std::string& value) {
    const size_t colonColumn = 37;
    std::string line = "   " + label;
    while (line.size() < colonColumn) line += line.size() % 2 == 1 ? '.' : ' ';
    line += ": " + value;
    return line + kEol;
}

std::string addressText(int family, const void* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(family, address, text, sizeof text)) return {};
    return text;
}

}  // namespace

std::string formatIpReport(const std::string& hostName, const std::vector<AdapterInfo>& adapters) {
    std::string out = std::string(kEol) + "IP Configuration" + kEol + kEol;
    out += field("Host Name", hostName);
    out += kEol;
    for (const AdapterInfo& a : adapters) {
        out += "Ethernet adapter " + a.name + ":" + kEol + kEol;
        if (!a.up && a.ipv4.empty() && a.ipv6.empty()) {
            out += field("Media State", "Media disconnected");
        }
        out += field("Connection-specific DNS Suffix", "");
        out += field("Description", a.description);
        if (!a.mac.empty()) out += field("Physical Address", a.mac);
        // IPv4 first: the adapter-address rule skips at most one "IPv6" before its "IP".
        for (const AdapterInfo::V4& v4 : a.ipv4) {
            out += field("IPv4 Address", v4.address + "(Preferred)");
            out += field("Subnet Mask", v4.mask);
        }
        for (const std::string& v6 : a.ipv6) {
            const bool linkLocal = v6.rfind("fe80", 0) == 0;
            const std::string zone = linkLocal ? "%" + std::to_string(a.index) : "";
            out += field(linkLocal ? "Link-local IPv6 Address" : "IPv6 Address",
                         v6 + zone + "(Preferred)");
        }
        out += kEol;
    }
    return out;
}

std::string LinuxNetworkReporter::describe(const std::string& interfaceName) {
    std::error_code ec;
    const fs::path device =
        fs::canonical(fs::path(sysfsRoot_) / "class/net" / interfaceName / "device", ec);
    if (ec) return interfaceName;
    for (fs::path dir = device; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            std::string text = firstLine(dir / "manufacturer");
            const std::string product = firstLine(dir / "product");
            if (!product.empty()) text += (text.empty() ? "" : " ") + product;
            if (!text.empty()) return text;
            break;
        }
    }
    fs::path driver = fs::read_symlink(device / "driver", ec);
    return ec ? interfaceName : driver.filename().string();
}

std::vector<AdapterInfo> LinuxNetworkReporter::adapters() {
    std::vector<AdapterInfo> list;
    ifaddrs* head = nullptr;
    if (::getifaddrs(&head) != 0) return list;
    std::map<std::string, size_t> byName;
    for (ifaddrs* ifa = head; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_name || (ifa->ifa_flags & IFF_LOOPBACK)) continue;
        auto [it, added] = byName.emplace(ifa->ifa_name, list.size());
        if (added) {
            AdapterInfo info;
            info.name = ifa->ifa_name;
            info.index = ::if_nametoindex(ifa->ifa_name);
            info.description = describe(info.name);
            list.push_back(std::move(info));
        }
        AdapterInfo& info = list[it->second];
        info.up = info.up || (ifa->ifa_flags & IFF_UP);
        if (!ifa->ifa_addr) continue;
        const int family = ifa->ifa_addr->sa_family;
        if (family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
            const auto* mask = reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask);
            info.ipv4.push_back({addressText(AF_INET, &in->sin_addr),
                                 mask ? addressText(AF_INET, &mask->sin_addr) : ""});
        } else if (family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr);
            info.ipv6.push_back(addressText(AF_INET6, &in6->sin6_addr));
        } else if (family == AF_PACKET) {
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr);
            std::string mac;
            for (int i = 0; i < ll->sll_halen && i < 8; ++i) {
                char part[4];
                std::snprintf(part, sizeof part, i ? "-%02X" : "%02X", ll->sll_addr[i]);
                mac += part;
            }
            info.mac = mac;
        }
    }
    ::freeifaddrs(head);
    return list;
}

std::string LinuxNetworkReporter::report() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return formatIpReport(host, adapters());
}

std::string FakeNetworkReporter::report() {
    std::lock_guard lock(mutex_);
    ++calls_;
    return text_;
}

void FakeNetworkReporter::setReport(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
}

int FakeNetworkReporter::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace mdk
