#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver_link.h"

struct libusb_context;
struct libusb_device_handle;

namespace mdk {

inline constexpr uint16_t kMotorolaVendorId = 0x22B8;
inline constexpr const char* kTestCommandName = "Motorola Test Command";

// A real phone's Test Command interface through libusb. Control-transfer requests become
// libusb control transfers with the setup packet's own fields; replies get the driver's
// 4-byte prefix so every layout above holds unchanged. P2k05 send and receive use the
// interface's bulk endpoints where it has them and fail where it has none.
class UsbLink final : public DriverLink {
public:
    // Every interface of a Motorola device (vendor 0x22B8), opened but not claimed, in bus
    // order; the name request (answered from the string descriptor read at open) tells
    // which one is the Test Command interface. The first transfer claims the interface,
    // detaching its kernel driver, so only the interface that is kept and used is claimed.
    static std::vector<std::unique_ptr<UsbLink>> openAll(std::string& error);
    // The first interface whose name is "Motorola Test Command".
    static std::unique_ptr<UsbLink> openFirst(std::string& error);
    ~UsbLink() override;

    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override;
    bool isOpen() const override { return handle_ != nullptr && !gone_; }
    void close() override;
    std::string devicePath() const override { return devicePath_; }
    bool waitForRemoval() override;
    void stopWaiting() override { stopWaiting_ = true; }

    const std::string& interfaceString() const { return interfaceString_; }

private:
    UsbLink(std::shared_ptr<libusb_context> context, libusb_device_handle* handle,
            int interfaceNumber, std::string name, std::string path, uint8_t bulkIn,
            uint8_t bulkOut);
    DriverStatus controlTransfer(std::span<const uint8_t> input, size_t capacity,
                                 std::vector<uint8_t>& output, uint32_t waitMs);
    DriverStatus bulk(uint8_t endpoint, std::span<const uint8_t> input, size_t capacity,
                      std::vector<uint8_t>& output, uint32_t waitMs);
    DriverStatus fromLibusb(int rc);
    // Claims the interface (kernel driver detached) once; false when that fails.
    bool claim();

    std::shared_ptr<libusb_context> context_;
    libusb_device_handle* handle_;
    int interfaceNumber_;
    std::string interfaceString_;
    std::string devicePath_;
    uint8_t bulkIn_;
    uint8_t bulkOut_;
    std::mutex mutex_;
    bool claimed_ = false;
    std::atomic<bool> gone_{false};
    std::atomic<bool> stopWaiting_{false};
};

}  // namespace mdk
