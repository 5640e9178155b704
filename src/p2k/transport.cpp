#include "p2k/transport.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "base/message_ids.h"
#include "p2k/usb_driver.h"
#include "platform/fine_sleep.h"
#include "platform/socket_io.h"

namespace mdk {
namespace {

const uint8_t kP2k05PollRecord[5] = {0x02, 0x00, 0x10, 0x00, 0x00};
constexpr int kMaxLateReplies = 16;  // late replies dropped before one command at most
const char* const kTraceRule = "-------------";
const char* const kBadReplyText = "the phone's reply does not belong to the request";

bool isP2k05ReplyMark(uint8_t b) {
    return b == 0x80 || b == 0x82;
}

// The reply's data, announced length cut to what arrived.
ReplyCheck dataAt(std::span<const uint8_t> reply, size_t offset, size_t announced) {
    return {ReplyVerdict::Data, 0, offset, std::min(announced, reply.size() - offset)};
}

// Copies the checked reply's data, cut to the caller's capacity.
uint32_t copyData(std::span<const uint8_t> reply, const ReplyCheck& check, uint8_t* out,
                  size_t capacity) {
    const size_t n = std::min(check.dataLength, capacity);
    if (n > 0 && out) std::memcpy(out, reply.data() + check.dataOffset, n);
    return static_cast<uint32_t>(n);
}

}  // namespace

ReplyCheck checkClassicReply(std::span<const uint8_t> reply, uint16_t sequence) {
    if (reply.size() < kClassicReplyHeader || reply[0] != 1 || !(reply[6] & 0x80) ||
        (bytes::be16(&reply[6]) & 0x0FFF) != sequence) {
        return {};
    }
    const int status = reply[8] >> 4;
    if (status == 6) return {ReplyVerdict::NoData, status};
    if (status != 8) return {ReplyVerdict::PhoneStatus, status};
    const uint16_t dataLength = bytes::be16(&reply[10]);
    if (bytes::be16(&reply[4]) - 8 != dataLength) return {};
    return dataAt(reply, kClassicReplyHeader, dataLength);
}

ReplyCheck checkP2k05Reply(std::span<const uint8_t> reply) {
    if (reply.size() < kP2k05ReplyHeader || !isP2k05ReplyMark(reply[0])) return {};
    return dataAt(reply, kP2k05ReplyHeader, p2k05ReplyDataLength(reply.first<kP2k05ReplyHeader>()));
}

uint16_t p2k05ReplyDataLength(std::span<const uint8_t, kP2k05ReplyHeader> header) {
    return bytes::be16(&header[10]);
}

std::vector<uint8_t> Transport::classicFrame(uint16_t sequence, uint16_t command,
                                             uint16_t interfaceIndex,
                                             std::span<const uint8_t> payload) {
    const uint16_t n = static_cast<uint16_t>(payload.size());
    std::vector<uint8_t> frame = {0x41, 0x02, 0x00, 0x00};
    bytes::appendLe16(frame, interfaceIndex);
    bytes::appendLe16(frame, static_cast<uint16_t>(n + 8));
    bytes::appendBe16(frame, sequence & 0x0FFF);
    bytes::appendBe16(frame, command & 0x0FFF);
    bytes::appendBe16(frame, n);
    bytes::appendBe16(frame, 0);
    frame.insert(frame.end(), payload.begin(), payload.end());
    bytes::appendBe16(frame, 0);
    return frame;
}

std::vector<uint8_t> Transport::p2k05Frame(uint16_t sequence, uint16_t command,
                                           std::span<const uint8_t> payload) {
    const uint32_t n = static_cast<uint32_t>(payload.size());
    std::vector<uint8_t> frame = {0x02};
    bytes::appendLe32(frame, n + 12);
    bytes::appendBe16(frame, sequence & 0x0FFF);
    bytes::appendBe16(frame, command & 0x0FFF);
    bytes::appendBe32(frame, 0);
    bytes::appendBe32(frame, n);
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(0);
    return frame;
}

void Transport::clearFailure() {
    std::lock_guard lock(failureMutex_);
    failure_ = {};
}

PhoneFailure Transport::failure() const {
    std::lock_guard lock(failureMutex_);
    return failure_;
}

void Transport::noteFailure(FailureKind kind, std::string text, int status) {
    std::lock_guard lock(failureMutex_);
    const bool unanswered = kind == FailureKind::NoReply || kind == FailureKind::LinkLost;
    if (giveUpWhenSilent_ && unanswered && !silent_) {
        silentReason_ = {kind, status, text};
        silent_ = true;
    }
    if (failure_.kind != FailureKind::None) return;
    failure_ = {kind, status, std::move(text)};
}

PhoneFailure Transport::silentReason() const {
    std::lock_guard lock(failureMutex_);
    return silentReason_;
}

std::string Transport::failureText(const std::string& fallback) const {
    std::lock_guard lock(failureMutex_);
    return failure_.kind == FailureKind::None ? fallback : failure_.text;
}

void Transport::noteDriverFailure() {
    std::shared_ptr<DriverLink> link = driver_.link();
    if (!link && driver_.linkHandle() != 1) {
        noteFailure(FailureKind::NothingOpen, "no link to a phone is open");
    } else if (!link || !link->isOpen()) {
        noteFailure(FailureKind::LinkLost, "the link to the phone was lost");
    } else {
        noteFailure(FailureKind::TransferFailed, "the USB transfer to the phone failed");
    }
}

void Transport::noteNoReply(uint32_t waitMs) {
    noteFailure(FailureKind::NoReply,
                "no reply from the phone within " + std::to_string(waitMs / 1000) + " s");
}

void Transport::notePhoneStatus(int status) {
    std::string text = "phone status " + std::to_string(status);
    const std::string meaning = log_.message(status);
    if (!meaning.empty()) text += ": " + meaning;
    noteFailure(FailureKind::PhoneStatus, text, status);
}

int Transport::p2kExchange(uint16_t command, std::span<const uint8_t> payload, uint8_t* replyData,
                           size_t replyCapacity, uint32_t& replyLength) {
    std::lock_guard lock(exchange_);
    sequence_ = static_cast<uint16_t>((sequence_ + 1) % kSequenceWrap);
    if (silent_) {
        // Given up on: the reason of the exchange that went unanswered stands.
        const PhoneFailure reason = silentReason();
        noteFailure(reason.kind, reason.text, reason.status);
        return -1;
    }
    if (!p2k05Active_ || !usblanMode_) dropLateReplies();
    if (!p2k05Active_) {
        return classicExchange(command, payload, replyData, replyCapacity, replyLength);
    }
    if (usblanMode_) {
        return usblanExchange(command, payload, replyData, replyCapacity, replyLength);
    }
    return p2k05Exchange(command, payload, replyData, replyCapacity, replyLength);
}

void Transport::traceReply(const std::vector<uint8_t>& reply) {
    if (!log_.packets()) return;
    std::vector<uint8_t> first(reply.begin(), reply.begin() + std::min<size_t>(reply.size(), 36));
    first.resize(36, 0);
    log_.traceWords(first.data(), 9);
    log_.logLine(kTraceRule);
}

int Transport::pollClassic(uint8_t& waiting, uint16_t& size) {
    uint8_t setup[9] = {0xC1, 0x00, 0x00, 0x00, 0, 0, 0x08, 0x00, 0x00};
    bytes::putLe16(setup + 4, interfaceIndex_);
    std::vector<uint8_t> reply;
    if (driver_.controlIn(setup, reply) != 0 || reply.size() < 4) return -1;
    waiting = reply[1];
    size = bytes::be16(&reply[2]);
    return 0;
}

int Transport::fetchClassic(uint8_t waiting, uint16_t size, std::vector<uint8_t>& reply) {
    uint8_t fetch[9] = {0xC1, 0x01, 0, 0, 0, 0, 0, 0, 0x00};
    bytes::putLe16(fetch + 2, waiting);
    bytes::putLe16(fetch + 4, interfaceIndex_);
    bytes::putLe16(fetch + 6, static_cast<uint16_t>(2 * waiting + size + 4));
    return driver_.controlIn(fetch, reply);
}

void Transport::dropLateReplies() {
    if (!lateRepliesPossible_) return;
    lateRepliesPossible_ = false;
    std::vector<uint8_t> reply;
    for (int i = 0; i < kMaxLateReplies; ++i) {
        if (p2k05Active_) {
            // A receive that fails finds nothing ready.
            if (driver_.p2k05Receive(kP2k05PollRecord, reply) != 0) return;
            continue;
        }
        uint8_t waiting = 0;
        uint16_t size = 0;
        // Any count is fetched here: owed replies can pile up beyond the two a command's
        // own poll accepts.
        if (pollClassic(waiting, size) != 0 || waiting == 0) return;
        if (fetchClassic(waiting, size, reply) != 0) return;
    }
}

int Transport::classicExchange(uint16_t command, std::span<const uint8_t> payload,
                               uint8_t* replyData, size_t replyCapacity, uint32_t& replyLength) {
    // Every classic exchange waits 1 ms before its fetch: with the thread's timer slack
    // narrowed, that wait (and the clock's other waits here) ends close to its deadline.
    FineTimerSlack slack;
    if (driver_.controlOut(classicFrame(sequence_, command, interfaceIndex_, payload)) != 0) {
        log_.logMessage(msg::kLinkFailed);
        noteDriverFailure();
        return -1;
    }
    const uint64_t sent = clock_.nowMs();
    uint8_t waiting = 0;
    uint16_t size = 0;
    for (;;) {
        waiting = 0;
        if (pollClassic(waiting, size) == 0 && (waiting == 1 || waiting == 2)) break;
        if (auto link = driver_.link(); !link || !link->isOpen()) {
            // The interface went away: no reply can come any more.
            log_.logMessage(msg::kNoReply);
            noteDriverFailure();
            return -1;
        }
        clock_.sleepMs(1);
        if (clock_.nowMs() - sent >= kClassicReplyWaitMs) {
            log_.logMessage(msg::kNoReply);
            noteNoReply(kClassicReplyWaitMs);
            lateRepliesPossible_ = true;
            return -1;
        }
    }
    clock_.sleepMs(1);
    std::vector<uint8_t> reply;
    if (fetchClassic(waiting, size, reply) != 0) {
        log_.logMessage(msg::kLinkFailed);
        noteDriverFailure();
        return -1;
    }
    traceReply(reply);

    const ReplyCheck check = checkClassicReply(reply, sequence_);
    switch (check.verdict) {
        case ReplyVerdict::NoData:
            return 0;
        case ReplyVerdict::PhoneStatus:
            log_.logMessage(check.status);
            notePhoneStatus(check.status);
            return -1;
        case ReplyVerdict::Bad:
            log_.logMessage(msg::kBadReply);
            noteFailure(FailureKind::BadReply, kBadReplyText);
            lateRepliesPossible_ = true;  // this command's own reply may still be waiting
            return 1;
        case ReplyVerdict::Data:
            break;
    }
    replyLength = copyData(reply, check, replyData, replyCapacity);
    return 0;
}

int Transport::p2k05Exchange(uint16_t command, std::span<const uint8_t> payload, uint8_t* replyData,
                             size_t replyCapacity, uint32_t& replyLength) {
    // The first receive goes out right behind the send: a phone that answers at once
    // costs one round trip on the link.
    std::vector<uint8_t> reply;
    const auto first = driver_.p2k05SendThenReceive(p2k05Frame(sequence_, command, payload),
                                                    kP2k05PollRecord, reply);
    if (first.sent != 0) {
        log_.logMessage(msg::kLinkFailed);
        noteDriverFailure();
        return -1;
    }
    const uint64_t sent = clock_.nowMs();
    std::optional<FineTimerSlack> slack;  // narrowed only once the phone makes us wait
    for (int received = first.received; received != 0;
         received = driver_.p2k05Receive(kP2k05PollRecord, reply)) {
        if (auto link = driver_.link(); !link || !link->isOpen()) {
            log_.logMessage(msg::kNoReply);
            noteDriverFailure();
            return -1;
        }
        if (!slack) slack.emplace();
        clock_.sleepMs(1);
        if (clock_.nowMs() - sent >= kP2k05ReplyWaitMs) {
            log_.logMessage(msg::kNoReply);
            noteNoReply(kP2k05ReplyWaitMs);
            lateRepliesPossible_ = true;
            return -1;
        }
    }
    const ReplyCheck check = checkP2k05Reply(reply);
    if (check.verdict != ReplyVerdict::Data) {
        log_.logMessage(msg::kBadReply);
        noteFailure(FailureKind::BadReply, kBadReplyText);
        return 1;
    }
    traceReply(reply);
    replyLength = copyData(reply, check, replyData, replyCapacity);
    return 0;
}

namespace {

// Discards bytes already waiting on the socket: they belong to no request (the rest of a
// reply that came too late), and would otherwise be read as the next reply.
void drainSocket(int fd) {
    uint8_t scrap[2048];
    while (::recv(fd, scrap, sizeof scrap, MSG_DONTWAIT) > 0) {
    }
}

}  // namespace

int Transport::usblanExchange(uint16_t command, std::span<const uint8_t> payload,
                              uint8_t* replyData, size_t replyCapacity, uint32_t& replyLength) {
    std::vector<uint8_t> frame = p2k05Frame(sequence_, command, payload);
    // Every file-system sub-command goes to a USBLAN phone with 0x01 in its second byte.
    if (command == kFileSystemCommand && payload.size() >= 2) frame[17 + 1] = 0x01;
    const uint8_t* out = frame.data() + 5;
    const size_t outLength = payload.size() + 12;
    if (log_.packets()) {
        log_.logLine("Send p2k command over USBLAN.");
        log_.hexDump(out, outLength);
    }
    // One socket and one wait for the whole exchange, whatever is set meanwhile.
    const int fd = usblanSocket_;
    const uint32_t waitMs = usblanReplyWaitMs_;
    if (fd < 0) {
        noteFailure(FailureKind::NothingOpen, "no link to a phone is open");
        return 1;
    }
    drainSocket(fd);
    if (!net::sendAll(fd, out, outLength)) log_.logLine("Send error");

    // The reply: a 12-byte header announcing the data length, then exactly that much data,
    // all within the reply wait (on the real clock: this waits on a socket).
    SystemClock realClock;
    const uint64_t deadline = realClock.nowMs() + waitMs;
    auto left = [&] { return static_cast<int>(deadline - std::min(deadline, realClock.nowMs())); };
    // A receive that ends before the deadline found the connection closed.
    auto noteMissing = [&] {
        if (left() > 0) {
            noteFailure(FailureKind::LinkLost, "the phone closed the connection");
        } else {
            noteNoReply(waitMs);
        }
    };
    std::vector<uint8_t> reply(kP2k05ReplyHeader);
    if (!net::receiveExact(fd, reply.data(), kP2k05ReplyHeader, left())) {
        noteMissing();
        return 1;
    }
    const uint16_t dataLength = p2k05ReplyDataLength(
        std::span<const uint8_t, kP2k05ReplyHeader>(reply.data(), kP2k05ReplyHeader));
    reply.resize(kP2k05ReplyHeader + dataLength);
    bool complete = net::receiveExact(fd, reply.data() + kP2k05ReplyHeader, dataLength, left());
    if (log_.packets()) log_.hexDump(reply.data(), reply.size());
    if (!complete) {
        noteMissing();
        return 1;
    }
    const ReplyCheck check = checkP2k05Reply(reply);
    if (check.verdict != ReplyVerdict::Data) {
        noteFailure(FailureKind::BadReply, kBadReplyText);
        return 1;
    }
    replyLength = copyData(reply, check, replyData, replyCapacity);
    return 0;
}

}  // namespace mdk
