#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/driver_link.h"

namespace mdk {

class EventLog;

// The driver requests on the open Test Command interface, each with its wait time, its
// log messages and its packet trace. Results: 0 success, -1 failure.
class UsbDriver {
public:
    static constexpr uint32_t kReceiveWaitMs = 40000;
    static constexpr uint32_t kNameWaitMs = 5000;
    static constexpr size_t kReplyCapacity = 4101;

    explicit UsbDriver(EventLog& log) : log_(log) {}

    // The open interface, or none. linkHandle() keeps the program's meanings: 0 no link,
    // 1 a USBLAN link (a marker only, no interface), any other value an open interface.
    void setLink(std::shared_ptr<DriverLink> link);
    void clearLink();
    void markUsblanLink();
    std::shared_ptr<DriverLink> link() const;
    int linkHandle() const;

    // The interface's name string (request 0x80002010 with the value 258).
    int interfaceName(std::string& name);
    // Host-to-phone control transfer: the setup packet and its data stage.
    int controlOut(std::span<const uint8_t> setupAndData);
    // Phone-to-host control transfer: the 8-byte setup packet plus one byte; reply gets
    // what follows the driver's 4-byte prefix.
    int controlIn(std::span<const uint8_t> setup, std::vector<uint8_t>& reply);
    int p2k05Send(std::span<const uint8_t> frame);
    // quietWhenNotReady: a failed receive is the phone's "no reply yet" while polling, so
    // it is not logged.
    int p2k05Receive(std::span<const uint8_t> pollRecord, std::vector<uint8_t>& reply,
                     bool quietWhenNotReady = true);
    // A P2k05 send with the first receive issued right behind it: one round trip on a link
    // that carries both at once. received is -1 (and reply empty) whenever sent is.
    struct SendThenReceive {
        int sent = -1;
        int received = -1;
    };
    SendThenReceive p2k05SendThenReceive(std::span<const uint8_t> frame,
                                         std::span<const uint8_t> pollRecord,
                                         std::vector<uint8_t>& reply);
    // A request of the caller's code (the USB I/O tester): raw output, prefix included.
    int rawRequest(uint32_t code, std::span<const uint8_t> input, std::vector<uint8_t>& output);

    uint32_t classicSendTimeoutMs() const { return classicSendTimeout_; }
    void setClassicSendTimeoutMs(uint32_t ms) { classicSendTimeout_ = ms; }
    uint32_t p2k05SendTimeoutMs() const { return p2k05SendTimeout_; }
    void setP2k05SendTimeoutMs(uint32_t ms) { p2k05SendTimeout_ = ms; }

private:
    enum class ReplyRule { None, AtLeast4 };
    int issue(uint32_t code, std::span<const uint8_t> input, size_t capacity, uint32_t waitMs,
              ReplyRule rule, std::vector<uint8_t>& output, bool quietFailure = false);
    // The open link, or none with the refusal logged.
    std::shared_ptr<DriverLink> openLink();
    // Logs how a request ended and checks its output; 0 or -1.
    int settle(DriverStatus status, size_t capacity, ReplyRule rule, std::vector<uint8_t>& output,
               bool quietFailure);
    int afterSend(int result);
    int afterReceive(int result, std::vector<uint8_t>& reply);
    void traceBefore(std::span<const uint8_t> bytes, size_t words);

    EventLog& log_;
    mutable std::mutex linkMutex_;
    std::shared_ptr<DriverLink> link_;
    bool usblanMarker_ = false;
    uint32_t classicSendTimeout_ = 5000;
    uint32_t p2k05SendTimeout_ = 5000;
};

}  // namespace mdk
