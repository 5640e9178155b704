#pragma once
#include <optional>
#include <string>

namespace mdk::cli {

// Every form of --phone, for the usage text and the error hints.
inline constexpr const char* kAddressForms =
    "sim, unix:PATH, tcp:HOST:PORT, usblan:HOST[:PORT], usb or auto";

// Why an address given to --phone is malformed, or nullopt when it is well formed: "sim"
// or "sim:KIND", "unix:PATH", "tcp:HOST:PORT", "usblan:HOST[:PORT]", "usb", "auto".
std::optional<std::string> addressProblem(const std::string& address);

// The IPv4 address of a host name or address text; nullopt when it does not resolve.
std::optional<std::string> resolveIpv4(const std::string& host);

}  // namespace mdk::cli
