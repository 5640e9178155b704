#include "platform/driver_link.h"

#include <cstdio>

#include "platform/socket_link.h"
#include "platform/usb_link.h"

namespace mdk {

std::string makeDevicePath(uint16_t productId, int interfaceNumber, const std::string& instance) {
    char head[64];
    std::snprintf(head, sizeof head, "\\\\?\\usb#vid_22b8&pid_%04x&mi_%02d#", productId,
                  interfaceNumber % 100);
    return head + instance + "#{4e1e1e15-52d7-11d4-852d-00105aa6f80b}";
}

std::unique_ptr<DriverLink> openDriverLink(const std::string& address, std::string& error) {
    if (address.rfind("unix:", 0) == 0 || address.rfind("tcp:", 0) == 0) {
        return SocketLink::connect(address, error);
    }
    if (address == "usb") return UsbLink::openFirst(error);
    error = "unknown phone address: " + address +
            " (want sim, unix:PATH, tcp:HOST:PORT, usblan:HOST[:PORT], usb or auto)";
    return nullptr;
}

}  // namespace mdk
