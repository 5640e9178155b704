#include "p2k/command_set.h"

#include <fcntl.h>
#include <semaphore.h>

#include <algorithm>
#include <cstdio>

#include "base/bytes.h"
#include "base/clock.h"
#include "base/event_log.h"
#include "base/message_ids.h"
#include "config/run_settings.h"
#include "p2k/transfer_watch.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"

namespace mdk {
namespace {

constexpr size_t kReplyCapacity = 65536;
constexpr size_t kVolumeListSize = 512;
constexpr uint32_t kReadReserveLimit = 4 * 1024 * 1024;
constexpr size_t kVolumeFormSize = 256;
constexpr uint32_t kUsblanValue = 0xFFFFFFFF;
constexpr uint32_t kP2k05ProbeTimeoutMs = 1000;
constexpr uint32_t kP2k05SendTimeoutMs = 5000;

// The named semaphore whose existence tells the companion program to hold off while a
// phone file is written. A stale one (left by a crash) is removed before it is created.
class SuspendCompanion {
public:
    explicit SuspendCompanion(const std::string& name) : name_(name) {
        ::sem_unlink(name_.c_str());
        sem_ = ::sem_open(name_.c_str(), O_CREAT, 0644, 0);
    }
    ~SuspendCompanion() {
        if (sem_ != SEM_FAILED) ::sem_close(sem_);
        ::sem_unlink(name_.c_str());
    }
    SuspendCompanion(const SuspendCompanion&) = delete;
    SuspendCompanion& operator=(const SuspendCompanion&) = delete;

private:
    std::string name_;
    sem_t* sem_;
};

void appendUtf16Be(std::vector<uint8_t>& out, const std::string& text) {
    for (char c : text) bytes::appendBe16(out, static_cast<uint8_t>(c));
    bytes::appendBe16(out, 0);
}

bool isEndPair(uint8_t a, uint8_t b) {
    return (a == 0 || a == 0xFF) && (b == 0 || b == 0xFF);
}

constexpr uint16_t kIdentitySeemGsm = 0x0117;
constexpr uint16_t kIdentitySeemCdma = 0x2827;

}  // namespace

std::string modelTextGsm(std::span<const uint8_t> data) {
    std::string text;
    for (size_t i = 0; 2 * i + 1 < data.size(); ++i) {
        const uint8_t low = data[2 * i + 1];
        const bool haveNext = 2 * i + 2 < data.size();
        if (haveNext ? isEndPair(low, data[2 * i + 2]) : (low == 0 || low == 0xFF)) break;
        text.push_back(static_cast<char>(low));
    }
    return text;
}

std::string modelTextCdma(std::span<const uint8_t> data) {
    std::string text;
    for (size_t i = 0; 2 * i + 1 < data.size(); ++i) {
        if (isEndPair(data[2 * i], data[2 * i + 1])) break;
        text.push_back(static_cast<char>(data[2 * i]));
    }
    return text;
}

PhoneModelRead readPhoneModel(CommandSet& commands) {
    std::vector<uint8_t> reply;
    const bool cdma = commands.cdmaPhone();
    const int rc = cdma ? commands.phoneReadSeem(kIdentitySeemCdma, 1, 0, 10, reply)
                        : commands.phoneReadSeem(kIdentitySeemGsm, 1, 0, 0, reply);
    std::span<const uint8_t> data(reply);
    if (!data.empty()) data = data.subspan(1);
    return {rc == 0, cdma ? modelTextCdma(data) : modelTextGsm(data)};
}

void CommandSet::stepProgress() {
    if (progress_) progress_->step();
}

bool CommandSet::mayGoOn() {
    if (!watch_ || !watch_->cancelRequested()) return true;
    transport_.noteFailure(FailureKind::Cancelled, "cancelled by the user");
    return false;
}

void CommandSet::blockDone(size_t bytes) {
    if (watch_) watch_->addBytes(bytes);
}

int CommandSet::fileCommand(uint32_t sub, std::span<const uint8_t> args,
                            std::vector<uint8_t>& reply, bool& replied) {
    std::vector<uint8_t> payload;
    payload.reserve(4 + args.size());
    bytes::appendBe32(payload, sub);
    payload.insert(payload.end(), args.begin(), args.end());
    reply.assign(kReplyCapacity, 0);
    uint32_t length = 0;
    int result = transport_.p2kExchange(kFileSystem, payload, reply.data(), reply.size(), length);
    reply.resize(result == 0 ? length : 0);
    replied = result == 0;
    return result;
}

int CommandSet::namedCommand(uint32_t sub, const std::string& name, std::optional<uint32_t> value) {
    if (name.empty()) return -1;
    std::vector<uint8_t> args;
    if (value) bytes::appendBe32(args, settings_.read().usblanP2k05() ? kUsblanValue : *value);
    args.insert(args.end(), name.begin(), name.end());
    std::vector<uint8_t> reply;
    bool replied = false;
    return fileCommand(sub, args, reply, replied) == 0 ? 0 : -1;
}

namespace {
// The rule for seek, close and delete: a reply, not exactly one byte, not starting with 1.
bool plainReplyOk(int result, const std::vector<uint8_t>& reply) {
    if (result != 0 || reply.size() == 1) return false;
    return reply.empty() || reply[0] != 1;
}
}  // namespace

int CommandSet::plainResult(int result, const std::vector<uint8_t>& reply, const char* what) {
    if (plainReplyOk(result, reply)) return 0;
    // A failed exchange noted its own reason; a reply that says no is a refusal.
    if (result == 0)
        transport_.noteFailure(FailureKind::Refused, std::string("the phone refused ") + what);
    return -1;
}

int CommandSet::phoneOpenFile(const std::string& name, uint32_t value) {
    return namedCommand(kOpen, name, value);
}

int CommandSet::phoneCreateFolder(const std::string& name, uint32_t value) {
    return namedCommand(kCreateFolder, name, value);
}

int CommandSet::phoneRemoveFolder(const std::string& name, uint32_t value) {
    return namedCommand(kRemoveFolder, name, value);
}

int CommandSet::phoneDeleteFile(const std::string& name) {
    if (name.empty()) return -1;
    std::vector<uint8_t> args(name.begin(), name.end());
    std::vector<uint8_t> reply;
    bool replied = false;
    int result = fileCommand(kDelete, args, reply, replied);
    return plainResult(result, reply, "to delete the file");
}

int CommandSet::phoneSeekFile(uint32_t offset, uint8_t origin) {
    std::vector<uint8_t> args;
    bytes::appendBe32(args, offset);
    args.push_back(origin);
    std::vector<uint8_t> reply;
    bool replied = false;
    int result = fileCommand(kSeek, args, reply, replied);
    return plainResult(result, reply, "to seek in the file");
}

int CommandSet::phoneCloseFile() {
    std::vector<uint8_t> reply;
    bool replied = false;
    int result = fileCommand(kClose, {}, reply, replied);
    return plainResult(result, reply, "to close the file");
}

int CommandSet::phoneReadFile(std::vector<uint8_t>& buffer, uint32_t size) {
    buffer.clear();
    // The size comes from the phone's listing: reserve no more than a sane amount up front.
    buffer.reserve(std::min<uint32_t>(size, kReadReserveLimit));
    const int result = phoneReadFile(size, [&buffer](std::span<const uint8_t> block) {
        buffer.insert(buffer.end(), block.begin(), block.end());
        return true;
    });
    if (result != 0) buffer.clear();
    return result;
}

int CommandSet::readFailed(const char* reason) {
    fileReadTotal_ = 0;
    if (reason) transport_.noteFailure(FailureKind::Refused, reason);
    return -1;
}

int CommandSet::phoneReadFile(uint32_t size, const BlockSink& sink) {
    PhoneSession session(transport_);
    fileReadTotal_ = 0;
    if (size == 0) return -1;
    const uint32_t fullBlocks = size / kFileBlock;
    const uint32_t remainder = size % kFileBlock;
    uint32_t request = fullBlocks > 0 ? kFileBlock : size;
    uint32_t replies = 0;
    uint64_t received = 0;
    for (;;) {
        if (!mayGoOn()) return readFailed(nullptr);
        std::vector<uint8_t> args;
        bytes::appendBe32(args, request);
        std::vector<uint8_t> reply;
        bool replied = false;
        if (fileCommand(kRead, args, reply, replied) != 0) return readFailed(nullptr);
        ++replies;
        const size_t taken = std::min<uint64_t>(size - received, reply.size());
        const uint32_t asked = request;
        if (replies == fullBlocks) request = remainder;
        const bool more = reply.size() == kFileBlock && replies <= fullBlocks;
        // A single byte is the phone's refusal, except when exactly one byte was asked for
        // (the last block of a file one byte longer than a multiple of 1024).
        if (!more && reply.size() == 1 && asked != 1) {
            return readFailed("the phone refused to read the file");
        }
        if (taken > 0 && !sink(std::span<const uint8_t>(reply.data(), taken))) {
            return readFailed(nullptr);
        }
        received += taken;
        fileReadTotal_ = static_cast<uint32_t>(received);
        blockDone(taken);
        stepProgress();
        if (!more) return 0;
    }
}

int CommandSet::phoneWriteFile(std::span<const uint8_t> data) {
    PhoneSession session(transport_);
    SuspendCompanion suspend(suspendSemaphore_);
    size_t offset = 0;
    fileWriteTotal_ = 0;
    while (offset < data.size()) {
        if (!mayGoOn()) return -1;
        stepProgress();
        const size_t chunk = std::min(kFileBlock, data.size() - offset);
        std::vector<uint8_t> args;
        bytes::appendBe32(args, static_cast<uint32_t>(chunk));
        args.insert(args.end(), data.begin() + static_cast<ptrdiff_t>(offset),
                    data.begin() + static_cast<ptrdiff_t>(offset + chunk));
        std::vector<uint8_t> reply;
        bool replied = false;
        if (fileCommand(kWrite, args, reply, replied) != 0) return -1;
        if (reply.size() == 1 && reply[0] != 6) {
            transport_.noteFailure(FailureKind::Refused, "the phone refused to write the file (" +
                                                             std::to_string(offset) +
                                                             " bytes written)");
            return -1;
        }
        offset += chunk;
        fileWriteTotal_ = static_cast<uint32_t>(offset);
        blockDone(chunk);
    }
    return 0;
}

int CommandSet::phoneSearchStart(const std::string& pattern, char currentVolumeLetter) {
    std::vector<uint8_t> args;
    bool volumeForm = false;
    const RunValues settings = settings_.read();
    const bool usblan = settings.usblanP2k05();
    const bool filter = settings.useFilter != 0;
    if (cdmaPhone_) {
        appendUtf16Be(args, pattern);
    } else if (usblan && filter) {
        appendUtf16Be(args, pattern.size() > 2 ? pattern.substr(2) : std::string());
    } else if (usblan) {
        // the plain form: nothing after the sub-command
    } else if (filter) {
        appendUtf16Be(args, pattern);
    } else {
        volumeForm = true;
        args.assign(kVolumeFormSize - 4, 0);
        const uint8_t units[10] = {0x00, 0x2F, 0x00, static_cast<uint8_t>(currentVolumeLetter),
                                   0x00, 0x2F, 0xFF, 0xFE,
                                   0x00, 0x2A};
        std::copy(units, units + 10, args.begin());
    }
    std::vector<uint8_t> reply;
    bool replied = false;
    if (fileCommand(kSearchStart, args, reply, replied) != 0 || reply.size() < 2) return -1;
    const uint16_t count = bytes::be16(reply.data());
    if (count == 0 || count == 0xFFFF) {
        if (volumeForm) log_.logMessage(msg::kSearchNoMatch);
        return -1;
    }
    return count;
}

int CommandSet::phoneSearchNext(uint8_t tuning, std::vector<uint8_t>& out) {
    std::vector<uint8_t> args;
    if (tuning != 0) args.push_back(tuning);
    bool replied = false;
    return fileCommand(kSearchNext, args, out, replied) == 0 ? 0 : -1;
}

int CommandSet::phoneListVolumes(std::vector<uint8_t>& buffer) {
    bool replied = false;
    int result = fileCommand(kListVolumes, {}, buffer, replied);
    if (buffer.size() > kVolumeListSize) buffer.resize(kVolumeListSize);
    if (result != 0 || buffer.size() == 1) return -1;
    return (!buffer.empty() && buffer[0] == 6) ? -1 : 0;
}

std::optional<uint32_t> CommandSet::phoneFreeSpace(const std::string& volume, bool* reportedZero) {
    if (reportedZero) *reportedZero = false;
    const uint8_t letter = volume.size() >= 2 ? static_cast<uint8_t>(volume[1]) : 'a';
    const uint8_t args[8] = {0x00, 0x06, 0x00, 0x2F, 0x00, letter, 0x00, 0x00};
    std::vector<uint8_t> reply;
    bool replied = false;
    if (fileCommand(kFreeSpace, args, reply, replied) != 0 || reply.size() < 4) return {};
    const uint32_t free = bytes::be32(reply.data());
    if (free == 0 && reportedZero) *reportedZero = true;
    if (free == 0) return {};
    return free;
}

int CommandSet::phoneReadSeem(uint16_t seem, uint16_t record, uint16_t offset, uint16_t count,
                              std::vector<uint8_t>& reply) {
    std::vector<uint8_t> payload;
    bytes::appendBe16(payload, seem);
    bytes::appendBe16(payload, record);
    bytes::appendBe16(payload, offset);
    bytes::appendBe16(payload, count);
    reply.assign(kReplyCapacity, 0);
    // A reply without data (status 6) leaves length 1 and the cleared status byte.
    uint32_t length = 1;
    int result = transport_.p2kExchange(kReadSeem, payload, reply.data(), reply.size(), length);
    if (result != 0) {
        reply.clear();
        return -1;
    }
    // A reply of length 0 is a success without data: it still gets its status byte, so
    // the record length (reply length minus one) is never negative.
    if (length == 0) {
        reply.assign(1, 0);
        return 0;
    }
    reply.resize(length);
    return reply[0] == 0 ? 0 : -1;
}

int CommandSet::phoneWriteSeem(uint16_t seem, uint16_t record, uint16_t offset,
                               std::span<const uint8_t> data) {
    uint8_t status = 0;
    const size_t count = std::min(data.size(), kSeemWriteMax);
    if (count > 0) {
        std::vector<uint8_t> payload;
        payload.reserve(8 + count);
        bytes::appendBe16(payload, seem);
        bytes::appendBe16(payload, record);
        bytes::appendBe16(payload, offset);
        bytes::appendBe16(payload, static_cast<uint16_t>(count));
        payload.insert(payload.end(), data.begin(), data.begin() + static_cast<ptrdiff_t>(count));
        uint32_t length = 0;
        if (transport_.p2kExchange(kWriteSeem, payload, &status, 1, length) != 0) {
            log_.logMessage(msg::kSeemWriteFailed);
            return -1;
        }
        if (status == 0) return 0;
    }
    log_.logMessage(msg::kSeemWriteRefused);
    char text[16];
    std::snprintf(text, sizeof text, "%08XH", static_cast<unsigned>(status));
    log_.logLine(text);
    return -1;
}

void CommandSet::phoneRestart() {
    uint32_t length = 0;
    transport_.p2kExchange(kRestart, {}, nullptr, 0, length);
}

void CommandSet::runSessionSequence() {
    PhoneSession session(transport_);
    uint32_t length = 0;
    const uint8_t first[2] = {0x01, 0x00};
    const uint8_t second[2] = {0x00, 0x00};
    const uint8_t third[2] = {0xFF, 0xFF};
    transport_.p2kExchange(kSessionStep1, first, nullptr, 0, length);
    clock_.sleepMs(100);
    transport_.p2kExchange(kSessionStep1, second, nullptr, 0, length);
    transport_.p2kExchange(kSessionStep2, third, nullptr, 0, length);
}

int CommandSet::switchToAtMode() {
    const uint8_t request[9] = {0x40, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    return transport_.driver().controlOut(request);
}

void CommandSet::probeCommandSet() {
    PhoneSession session(transport_);
    UsbDriver& driver = transport_.driver();
    transport_.setP2k05Active(true);
    cdmaPhone_ = true;
    QuietLog quiet(log_);
    // Both reads go into one buffer; a read that brings nothing leaves what was there.
    std::vector<uint8_t> seem4(9, 0);
    auto readSeem4 = [&] {
        std::vector<uint8_t> reply;
        int result = phoneReadSeem(4, 1, 0, 8, reply);
        std::copy_n(reply.begin(), std::min(reply.size(), seem4.size()), seem4.begin());
        return result;
    };
    if (settings_.read().forceP2k05 == 0) {
        driver.setP2k05SendTimeoutMs(kP2k05ProbeTimeoutMs);
        if (readSeem4() != 0) transport_.setP2k05Active(false);
        driver.setP2k05SendTimeoutMs(kP2k05SendTimeoutMs);
    }
    readSeem4();
    if (seem4[4] || seem4[5] || seem4[6] || seem4[7]) cdmaPhone_ = false;
    driver.setP2k05SendTimeoutMs(kP2k05SendTimeoutMs);
}

}  // namespace mdk
