#include "p2k/usb_driver.h"

#include <algorithm>

#include "base/event_log.h"
#include "base/message_ids.h"

namespace mdk {
namespace {
const char* const kTraceRule = "-------------";
}  // namespace

void UsbDriver::setLink(std::shared_ptr<DriverLink> link) {
    std::lock_guard lock(linkMutex_);
    link_ = std::move(link);
    usblanMarker_ = false;
}

void UsbDriver::clearLink() {
    std::lock_guard lock(linkMutex_);
    if (link_) link_->close();
    link_.reset();
    usblanMarker_ = false;
}

void UsbDriver::markUsblanLink() {
    std::lock_guard lock(linkMutex_);
    if (link_) link_->close();
    link_.reset();
    usblanMarker_ = true;
}

std::shared_ptr<DriverLink> UsbDriver::link() const {
    std::lock_guard lock(linkMutex_);
    return link_;
}

int UsbDriver::linkHandle() const {
    std::lock_guard lock(linkMutex_);
    if (usblanMarker_) return 1;
    return link_ ? 2 : 0;
}

void UsbDriver::traceBefore(std::span<const uint8_t> bytes, size_t words) {
    if (!log_.packets()) return;
    // The trace reads whole words; bytes past the request read as zeros.
    std::vector<uint8_t> padded(bytes.begin(), bytes.end());
    padded.resize(std::max(padded.size(), words * 4), 0);
    log_.traceWords(padded.data(), words);
}

int UsbDriver::issue(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                     uint32_t waitMs, ReplyRule rule, std::vector<uint8_t>& output,
                     bool quietFailure) {
    output.clear();
    std::shared_ptr<DriverLink> link = openLink();
    if (!link) return -1;
    return settle(link->request(code, input, capacity, output, waitMs), capacity, rule, output,
                  quietFailure);
}

std::shared_ptr<DriverLink> UsbDriver::openLink() {
    std::shared_ptr<DriverLink> link = this->link();
    if (link && link->isOpen()) return link;
    log_.logLine("No P2k interface is open: driver request refused.");
    return nullptr;
}

int UsbDriver::settle(DriverStatus status, size_t capacity, ReplyRule rule,
                      std::vector<uint8_t>& output, bool quietFailure) {
    switch (status) {
        case DriverStatus::Completed:
            break;
        case DriverStatus::TimedOut:
            log_.logMessage(msg::kRequestTimedOut);
            return -1;
        case DriverStatus::Failed:
            if (!quietFailure) log_.logMessage(msg::kRequestFailed);
            return -1;
    }
    if (output.size() > capacity) output.resize(capacity);
    if (rule == ReplyRule::AtLeast4 && output.size() < 4) {
        log_.logMessage(msg::kReplyTooShort);
        return -1;
    }
    return 0;
}

int UsbDriver::interfaceName(std::string& name) {
    name.clear();
    const uint8_t input[2] = {0x02, 0x01};
    std::vector<uint8_t> out;
    if (issue(kRequestInterfaceName, input, 261, kNameWaitMs, ReplyRule::AtLeast4, out) != 0) {
        return -1;
    }
    uint32_t count =
        uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16 | uint32_t(out[3]) << 24;
    size_t available = (out.size() - 4) / 2;
    for (size_t i = 0; i < count && i < available; ++i) {
        name.push_back(static_cast<char>(out[4 + 2 * i]));
    }
    return 0;
}

int UsbDriver::controlOut(std::span<const uint8_t> setupAndData) {
    traceBefore(setupAndData, setupAndData.size() / 4);
    std::vector<uint8_t> out;
    int result =
        issue(kRequestControlTransfer, setupAndData, 5, classicSendTimeout_, ReplyRule::None, out);
    if (result == 0 && log_.packets()) {
        log_.logMessage(msg::kSent);
        log_.logLine(kTraceRule);
    }
    return result;
}

int UsbDriver::controlIn(std::span<const uint8_t> setup, std::vector<uint8_t>& reply) {
    traceBefore(setup, 6);
    int result = issue(kRequestControlTransfer, setup, kReplyCapacity, kReceiveWaitMs,
                       ReplyRule::AtLeast4, reply);
    if (result != 0) return result;
    if (log_.packets()) log_.logMessage(msg::kReceived);
    reply.erase(reply.begin(), reply.begin() + 4);
    return 0;
}

int UsbDriver::p2k05Send(std::span<const uint8_t> frame) {
    traceBefore(frame, frame.size() / 4 + 1);
    std::vector<uint8_t> out;
    return afterSend(issue(kRequestP2k05Send, frame, 0, p2k05SendTimeout_, ReplyRule::None, out));
}

int UsbDriver::afterSend(int result) {
    if (result == 0 && log_.packets()) {
        log_.logMessage(msg::kSent);
        log_.logLine(kTraceRule);
    }
    return result;
}

int UsbDriver::p2k05Receive(std::span<const uint8_t> pollRecord, std::vector<uint8_t>& reply,
                            bool quietWhenNotReady) {
    traceBefore(pollRecord, 6);
    return afterReceive(issue(kRequestP2k05Receive, pollRecord, kReplyCapacity, kReceiveWaitMs,
                              ReplyRule::AtLeast4, reply, quietWhenNotReady),
                        reply);
}

int UsbDriver::afterReceive(int result, std::vector<uint8_t>& reply) {
    if (result != 0) return result;
    if (log_.packets()) log_.logMessage(msg::kReceived);
    reply.erase(reply.begin(), reply.begin() + 4);
    return 0;
}

UsbDriver::SendThenReceive UsbDriver::p2k05SendThenReceive(std::span<const uint8_t> frame,
                                                           std::span<const uint8_t> pollRecord,
                                                           std::vector<uint8_t>& reply) {
    // The log reads as a send followed by a receive, as when they are issued one by one.
    traceBefore(frame, frame.size() / 4 + 1);
    reply.clear();
    SendThenReceive result;
    std::shared_ptr<DriverLink> link = openLink();
    if (!link) return result;
    const DriverRequest send{kRequestP2k05Send, frame, 0, p2k05SendTimeout_};
    const DriverRequest receive{kRequestP2k05Receive, pollRecord, kReplyCapacity, kReceiveWaitMs};
    std::vector<uint8_t> sendOutput;
    const DriverStatusPair status = link->requestBoth(send, sendOutput, receive, reply);
    result.sent = afterSend(settle(status.first, 0, ReplyRule::None, sendOutput, false));
    if (result.sent != 0) {
        reply.clear();  // a receive behind a failed send answers nothing of this command
        return result;
    }
    traceBefore(pollRecord, 6);
    result.received = afterReceive(
        settle(status.second, kReplyCapacity, ReplyRule::AtLeast4, reply, true), reply);
    return result;
}

int UsbDriver::rawRequest(uint32_t code, std::span<const uint8_t> input,
                          std::vector<uint8_t>& output) {
    return issue(code, input, kReplyCapacity, kNameWaitMs, ReplyRule::AtLeast4, output);
}

}  // namespace mdk
