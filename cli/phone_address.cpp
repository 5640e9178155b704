#include "cli/phone_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "config/linux_settings.h"

namespace mdk::cli {
namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// "HOST:PORT" (port required) or "HOST[:PORT]" (port optional), host not empty.
bool hostAndPort(const std::string& text, bool portRequired) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return !portRequired && !text.empty();
    return colon > 0 && parsePort(text.substr(colon + 1)).has_value();
}

}  // namespace

std::optional<std::string> addressProblem(const std::string& address) {
    bool good = false;
    if (address == "sim" || address == "usb" || address == "auto") {
        good = true;
    } else if (startsWith(address, "sim:")) {
        const std::string kind = address.substr(4);
        good = kind == "classic" || kind == "p2k05" || kind == "cdma";
    } else if (startsWith(address, "unix:")) {
        good = address.size() > 5;
    } else if (startsWith(address, "tcp:")) {
        good = hostAndPort(address.substr(4), true);
    } else if (startsWith(address, "usblan:")) {
        good = hostAndPort(address.substr(7), false);
    }
    if (good) return std::nullopt;
    return "bad phone address: " + address + " (want " + kAddressForms + ")";
}

std::optional<std::string> resolveIpv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr;
    ::freeaddrinfo(found);
    if (!ok) return std::nullopt;
    return std::string(text);
}

}  // namespace mdk::cli
