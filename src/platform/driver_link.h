#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace mdk {

// Driver request codes of the phone's USB driver.
inline constexpr uint32_t kRequestInterfaceName = 0x80002010;
inline constexpr uint32_t kRequestControlTransfer = 0x80002014;
inline constexpr uint32_t kRequestP2k05Send = 0x80002018;
inline constexpr uint32_t kRequestP2k05Receive = 0x8000201C;

// How a driver request ended.
enum class DriverStatus {
    Completed,  // the request finished; output holds what the driver returned
    TimedOut,   // no completion within the wait time
    Failed,     // the device or driver failed the request
};

// One driver request: its code, input, the caller's output capacity and its wait time.
struct DriverRequest {
    uint32_t code = 0;
    std::span<const uint8_t> input;
    size_t capacity = 0;
    uint32_t waitMs = 0;
};

// How each of two requests issued back to back ended.
struct DriverStatusPair {
    DriverStatus first = DriverStatus::Failed;
    DriverStatus second = DriverStatus::Failed;
};

// One open Test Command interface: the door to a phone over USB. Backends: the in-process
// simulated phone, an emulator over a socket, libusb for a real phone.
class DriverLink {
public:
    virtual ~DriverLink() = default;
    // Issues one driver request and blocks until it completes, fails or waitMs passes.
    // output receives at most capacity bytes, exactly as the driver returns them (for
    // phone-to-host transfers and P2k05 receives: the 4-byte prefix, then the data).
    virtual DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                                 std::vector<uint8_t>& output, uint32_t waitMs) = 0;
    // Issues first and then second, both whatever the first's result, each with its own
    // output. A backend that can carry both at once (the emulator socket) issues the second
    // without waiting for the first to complete; the phone still sees them in order.
    virtual DriverStatusPair requestBoth(const DriverRequest& first,
                                         std::vector<uint8_t>& firstOutput,
                                         const DriverRequest& second,
                                         std::vector<uint8_t>& secondOutput) {
        DriverStatusPair status;
        status.first = request(first.code, first.input, first.capacity, firstOutput, first.waitMs);
        status.second =
            request(second.code, second.input, second.capacity, secondOutput, second.waitMs);
        return status;
    }
    // False once the interface went away (phone unplugged, emulator closed the socket).
    virtual bool isOpen() const = 0;
    // Releases the interface; further requests fail.
    virtual void close() = 0;
    // Windows-style device path: \\?\usb#vid_22b8&pid_XXXX&mi_NN#..., the interface digit at
    // position 30.
    virtual std::string devicePath() const = 0;
    // Blocks until the interface goes away or stopWaiting() is called. Returns true when
    // it went away.
    virtual bool waitForRemoval() = 0;
    virtual void stopWaiting() = 0;
};

// Passes every request on to another link. A link that changes or watches a few requests
// (a recording test link, a link that owns its simulated phone) derives from it and
// overrides only those. Requests issued back to back go one by one through request(), so
// such a link sees each of them.
class ForwardingLink : public DriverLink {
public:
    explicit ForwardingLink(std::shared_ptr<DriverLink> inner) : inner_(std::move(inner)) {}
    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override {
        return inner_->request(code, input, capacity, output, waitMs);
    }
    bool isOpen() const override { return inner_->isOpen(); }
    void close() override { inner_->close(); }
    std::string devicePath() const override { return inner_->devicePath(); }
    bool waitForRemoval() override { return inner_->waitForRemoval(); }
    void stopWaiting() override { inner_->stopWaiting(); }

private:
    std::shared_ptr<DriverLink> inner_;
};

// Opens the link at a "unix:PATH" or "tcp:HOST:PORT" address (the emulator socket) or
// "usb" (the first Motorola Test Command interface through libusb). Returns nullptr and
// sets error when nothing could be opened.
std::unique_ptr<DriverLink> openDriverLink(const std::string& address, std::string& error);

// Builds the Windows-style device path of an interface.
std::string makeDevicePath(uint16_t productId, int interfaceNumber, const std::string& instance);

}  // namespace mdk
