#include "platform/usb_link.h"

#include <libusb-1.0/libusb.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "base/bytes.h"

namespace mdk {
namespace {

std::shared_ptr<libusb_context> makeContext(std::string& error) {
    libusb_context* raw = nullptr;
    int rc = libusb_init(&raw);
    if (rc != 0) {
        error = std::string("libusb cannot start: ") + libusb_error_name(rc);
        return nullptr;
    }
    return std::shared_ptr<libusb_context>(raw, [](libusb_context* c) { libusb_exit(c); });
}

std::string stringDescriptor(libusb_device_handle* handle, uint8_t index) {
    if (index == 0) return {};
    unsigned char text[256] = {};
    int n = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text - 1);
    return n > 0 ? std::string(reinterpret_cast<char*>(text), static_cast<size_t>(n)) : "";
}

}  // namespace

UsbLink::UsbLink(std::shared_ptr<libusb_context> context, libusb_device_handle* handle,
                 int interfaceNumber, std::string name, std::string path, uint8_t bulkIn,
                 uint8_t bulkOut)
    : context_(std::move(context)),
      handle_(handle),
      interfaceNumber_(interfaceNumber),
      interfaceString_(std::move(name)),
      devicePath_(std::move(path)),
      bulkIn_(bulkIn),
      bulkOut_(bulkOut) {}

UsbLink::~UsbLink() {
    close();
}

void UsbLink::close() {
    std::lock_guard lock(mutex_);
    if (!handle_) return;
    // Releasing gives the interface back to its kernel driver (auto-detach re-attaches).
    if (claimed_) libusb_release_interface(handle_, interfaceNumber_);
    libusb_close(handle_);
    handle_ = nullptr;
    claimed_ = false;
}

bool UsbLink::claim() {
    if (claimed_) return true;
    // Only the interface that is kept and used is claimed, detaching its kernel driver.
    libusb_set_auto_detach_kernel_driver(handle_, 1);
    claimed_ = libusb_claim_interface(handle_, interfaceNumber_) == 0;
    return claimed_;
}

std::vector<std::unique_ptr<UsbLink>> UsbLink::openAll(std::string& error) {
    std::vector<std::unique_ptr<UsbLink>> links;
    auto context = makeContext(error);
    if (!context) return links;
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context.get(), &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        libusb_device_descriptor desc;
        if (libusb_get_device_descriptor(device, &desc) != 0) continue;
        if (desc.idVendor != kMotorolaVendorId) continue;
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) != 0) continue;
        for (int n = 0; n < config->bNumInterfaces; ++n) {
            const libusb_interface_descriptor& alt = config->interface[n].altsetting[0];
            // An open handle reads the string descriptors; nothing is claimed here, so the
            // modem's and the memory card's kernel drivers stay bound.
            libusb_device_handle* handle = nullptr;
            if (libusb_open(device, &handle) != 0) continue;
            uint8_t in = 0, out = 0;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const auto& ep = alt.endpoint[e];
                if ((ep.bmAttributes & 3) != LIBUSB_TRANSFER_TYPE_BULK) continue;
                (ep.bEndpointAddress & 0x80 ? in : out) = ep.bEndpointAddress;
            }
            char instance[32];
            std::snprintf(instance, sizeof instance, "%d&%d", libusb_get_bus_number(device),
                          libusb_get_device_address(device));
            links.push_back(std::unique_ptr<UsbLink>(new UsbLink(
                context, handle, alt.bInterfaceNumber, stringDescriptor(handle, alt.iInterface),
                makeDevicePath(desc.idProduct, alt.bInterfaceNumber, instance), in, out)));
        }
        libusb_free_config_descriptor(config);
    }
    if (list) libusb_free_device_list(list, 1);
    return links;
}

std::unique_ptr<UsbLink> UsbLink::openFirst(std::string& error) {
    auto links = openAll(error);
    for (auto& link : links) {
        if (link->interfaceString() == kTestCommandName) return std::move(link);
    }
    if (error.empty()) error = "no Motorola phone with a Test Command interface found";
    return nullptr;
}

DriverStatus UsbLink::fromLibusb(int rc) {
    if (rc == LIBUSB_ERROR_NO_DEVICE) gone_ = true;
    if (rc == LIBUSB_ERROR_TIMEOUT) return DriverStatus::TimedOut;
    return rc < 0 ? DriverStatus::Failed : DriverStatus::Completed;
}

DriverStatus UsbLink::request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                              std::vector<uint8_t>& output, uint32_t waitMs) {
    std::lock_guard lock(mutex_);
    output.clear();
    if (!handle_ || gone_) return DriverStatus::Failed;
    switch (code) {
        case kRequestInterfaceName: {
            bytes::appendLe32(output, static_cast<uint32_t>(interfaceString_.size()));
            for (char c : interfaceString_) bytes::appendLe16(output, static_cast<uint8_t>(c));
            if (output.size() > capacity) output.resize(capacity);
            return DriverStatus::Completed;
        }
        case kRequestControlTransfer:
            if (!claim()) return DriverStatus::Failed;
            return controlTransfer(input, capacity, output, waitMs);
        case kRequestP2k05Send:
            if (!claim()) return DriverStatus::Failed;
            return bulk(bulkOut_, input, capacity, output, waitMs);
        case kRequestP2k05Receive:
            if (!claim()) return DriverStatus::Failed;
            return bulk(bulkIn_, input, capacity, output, waitMs);
        default:
            return DriverStatus::Failed;
    }
}

DriverStatus UsbLink::controlTransfer(std::span<const uint8_t> input, size_t capacity,
                                      std::vector<uint8_t>& output, uint32_t waitMs) {
    if (input.size() < 8) return DriverStatus::Failed;
    const uint8_t requestType = input[0];
    const uint16_t value = bytes::le16(&input[2]);
    const uint16_t index = bytes::le16(&input[4]);
    const uint16_t length = bytes::le16(&input[6]);
    if (requestType & 0x80) {  // phone to host: the driver's 4-byte prefix, then the data
        size_t room = capacity > 4 ? capacity - 4 : 0;
        std::vector<uint8_t> data(std::min<size_t>(length, room));
        int rc = libusb_control_transfer(handle_, requestType, input[1], value, index, data.data(),
                                         static_cast<uint16_t>(data.size()), waitMs);
        if (rc < 0) return fromLibusb(rc);
        output.assign(4, 0);
        output.insert(output.end(), data.begin(), data.begin() + rc);
        return DriverStatus::Completed;
    }
    std::vector<uint8_t> data(input.begin() + 8, input.end());
    data.resize(std::min<size_t>(data.size(), length));
    int rc = libusb_control_transfer(handle_, requestType, input[1], value, index, data.data(),
                                     static_cast<uint16_t>(data.size()), waitMs);
    if (rc < 0) return fromLibusb(rc);
    output.assign(std::min<size_t>(capacity, 5), 0);
    return DriverStatus::Completed;
}

DriverStatus UsbLink::bulk(uint8_t endpoint, std::span<const uint8_t> input, size_t capacity,
                           std::vector<uint8_t>& output, uint32_t waitMs) {
    if (endpoint == 0) return DriverStatus::Failed;
    int transferred = 0;
    if (!(endpoint & 0x80)) {
        std::vector<uint8_t> data(input.begin(), input.end());
        int rc = libusb_bulk_transfer(handle_, endpoint, data.data(), static_cast<int>(data.size()),
                                      &transferred, waitMs);
        return fromLibusb(rc);
    }
    size_t room = capacity > 4 ? capacity - 4 : 0;
    std::vector<uint8_t> data(room);
    // A short wait: no data yet is the phone's "not ready", and the caller polls again.
    int rc = libusb_bulk_transfer(handle_, endpoint, data.data(), static_cast<int>(data.size()),
                                  &transferred, std::min<uint32_t>(waitMs, 50));
    if (rc < 0) return rc == LIBUSB_ERROR_TIMEOUT ? DriverStatus::Failed : fromLibusb(rc);
    output.assign(4, 0);
    output.insert(output.end(), data.begin(), data.begin() + transferred);
    return DriverStatus::Completed;
}

bool UsbLink::waitForRemoval() {
    // Polling: a cheap request every 500 ms tells whether the device is still there.
    while (!stopWaiting_) {
        {
            std::unique_lock lock(mutex_, std::try_to_lock);
            if (lock.owns_lock()) {
                if (!handle_ || gone_) return true;
                uint8_t status[2];
                int rc = libusb_control_transfer(handle_, 0x80, 0x00, 0, 0, status, 2, 200);
                if (rc == LIBUSB_ERROR_NO_DEVICE) {
                    gone_ = true;
                    return true;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    stopWaiting_ = false;
    return false;
}

}  // namespace mdk
