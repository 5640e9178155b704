#include "sim/sim_phone.h"

#include <algorithm>
#include <string>

#include "base/bytes.h"

namespace mdk::sim {
namespace {
const char* const kInterfaceName = "Motorola Test Command";
const uint8_t kPrefix[4] = {0, 0, 0, 0};

void appendPrefix(std::vector<uint8_t>& out) {
    out.insert(out.end(), kPrefix, kPrefix + 4);
}
}  // namespace

void SimPhone::setFaults(const Faults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
    requests_ = writes_ = reads_ = commands_ = searchBlocks_ = 0;
    readSinceOpen_ = 0;
    searchRecords_.clear();
    firstBlockCount_ = 0;
    replayed_ = 0;
    pending_.insert(pending_.end(), held_.begin(), held_.end());
    held_.clear();
}

bool SimPhone::interfaceUp() const {
    std::lock_guard lock(mutex_);
    return interfaceUp_;
}

void SimPhone::setInterfaceUp(bool up) {
    std::lock_guard lock(mutex_);
    interfaceUp_ = up && hasTestCommandInterface();
    if (interfaceUp_) atMode_ = false;
}

bool SimPhone::switchedToAtMode() const {
    std::lock_guard lock(mutex_);
    return atMode_;
}

bool SimPhone::speaksP2k05() const {
    return model_.kind() == PhoneKind::P2k05Gsm && !faults_.refuseP2k05;
}

DriverStatus SimPhone::handle(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                              std::vector<uint8_t>& output) {
    std::lock_guard lock(mutex_);
    output.clear();
    ++requests_;
    if (faults_.dropConnection ||
        (faults_.dropAfterRequests >= 0 && requests_ > faults_.dropAfterRequests)) {
        interfaceUp_ = false;
    }
    if (!interfaceUp_) return DriverStatus::Failed;

    DriverStatus status = DriverStatus::Failed;
    switch (code) {
        case kRequestInterfaceName: {
            std::string name = kInterfaceName;
            bytes::appendLe32(output, static_cast<uint32_t>(name.size()));
            for (char c : name) bytes::appendLe16(output, static_cast<uint8_t>(c));
            status = DriverStatus::Completed;
            break;
        }
        case kRequestControlTransfer:
            status = controlTransfer(input, output);
            break;
        case kRequestP2k05Send:
            status = p2k05Send(input);
            break;
        case kRequestP2k05Receive:
            status = p2k05Receive(output);
            break;
        default:
            break;
    }
    if (output.size() > capacity) output.resize(capacity);
    return status;
}

DriverStatus SimPhone::controlTransfer(std::span<const uint8_t> input,
                                       std::vector<uint8_t>& output) {
    if (input.size() < 8) return DriverStatus::Failed;
    const uint8_t requestType = input[0];
    const uint8_t request = input[1];
    if (requestType == 0x40 && request == 0x01) {  // switch to AT mode
        atMode_ = true;
        interfaceUp_ = false;
        output.assign(5, 0);
        return DriverStatus::Completed;
    }
    if (requestType == 0x41 && request == 0x02) {  // a classic command frame
        std::span<const uint8_t> stage = input.subspan(8);
        if (stage.size() < 8) return DriverStatus::Failed;
        const uint16_t sequence = bytes::be16(&stage[0]) & 0x0FFF;
        const uint16_t command = bytes::be16(&stage[2]) & 0x0FFF;
        const uint16_t length = bytes::be16(&stage[4]);
        if (stage.size() < 8u + length) return DriverStatus::Failed;
        acceptCommand(sequence, command, stage.subspan(8, length), true);
        output.assign(5, 0);
        return DriverStatus::Completed;
    }
    if (requestType == 0xC1 && request == 0x00) {
        classicPoll(output);
        return DriverStatus::Completed;
    }
    if (requestType == 0xC1 && request == 0x01) {
        if (pending_.empty()) return DriverStatus::Failed;
        classicFetch(output);
        return DriverStatus::Completed;
    }
    return DriverStatus::Failed;
}

namespace {
bool isFileSubCommand(uint16_t command, std::span<const uint8_t> payload, uint32_t sub) {
    return command == CommandSet::kFileSystem && payload.size() >= 4 &&
           bytes::be32(payload.data()) == sub;
}
}  // namespace

bool SimPhone::refuseThisTransfer(uint16_t command, std::span<const uint8_t> payload) {
    if (isFileSubCommand(command, payload, CommandSet::kWrite)) {
        return faults_.failWriteAt > 0 && ++writes_ == faults_.failWriteAt;
    }
    if (isFileSubCommand(command, payload, CommandSet::kRead)) {
        return faults_.failReadAt > 0 && ++reads_ == faults_.failReadAt;
    }
    return false;
}

// The counted search-next block claims one record more than the records it carries.
void SimPhone::shortenBlock(uint16_t command, std::span<const uint8_t> payload,
                            CommandReply& reply) {
    if (faults_.shortBlockAt <= 0 || !isFileSubCommand(command, payload, CommandSet::kSearchNext) ||
        reply.data.size() < 2) {
        return;
    }
    const uint16_t count = bytes::be16(reply.data.data());
    if (count > 0 && ++searchBlocks_ == faults_.shortBlockAt) {
        bytes::putBe16(reply.data.data(), static_cast<uint16_t>(count + 1));
    }
}

void SimPhone::lie(uint16_t command, std::span<const uint8_t> payload, CommandReply& reply) {
    if (isFileSubCommand(command, payload, CommandSet::kOpen)) readSinceOpen_ = 0;
    if (isFileSubCommand(command, payload, CommandSet::kSearchStart)) {
        searchRecords_.clear();
        firstBlockCount_ = 0;
        replayed_ = 0;
    }
    if (faults_.shortReadBytes >= 0 && isFileSubCommand(command, payload, CommandSet::kRead)) {
        const int64_t room = std::max<int64_t>(0, faults_.shortReadBytes - readSinceOpen_);
        if (int64_t(reply.data.size()) > room) reply.data.resize(static_cast<size_t>(room));
        readSinceOpen_ += int64_t(reply.data.size());
    }
    if (faults_.endlessReads) padEndlessRead(command, payload, reply);
    if (!isFileSubCommand(command, payload, CommandSet::kSearchNext) || reply.data.size() < 4) {
        return;
    }
    const uint16_t count = bytes::be16(reply.data.data());
    if (faults_.listedSize >= 0 && count > 0) {
        const size_t stride = (reply.data.size() - 4) / count;
        for (size_t i = 0; i < count; ++i) {
            bytes::putBe32(&reply.data[4 + i * stride + stride - 4],
                           static_cast<uint32_t>(faults_.listedSize));
        }
    }
    if (faults_.endlessList) padBlock(reply.data);
}

// An endless list: every block after the first is filled up to the first block's count
// with the search's records again, from its first one, so no block ever ends the list.
void SimPhone::padBlock(std::vector<uint8_t>& block) {
    const uint16_t count = bytes::be16(block.data());
    if (firstBlockCount_ == 0) {
        if (count == 0) return;
        firstBlockCount_ = count;
        recordSize_ = (block.size() - 4) / count;
    }
    if (block.size() != 4 + count * recordSize_) return;
    for (size_t i = 0; i < count; ++i) {
        const auto start = block.begin() + static_cast<ptrdiff_t>(4 + i * recordSize_);
        searchRecords_.emplace_back(start, start + static_cast<ptrdiff_t>(recordSize_));
    }
    for (uint16_t n = count; n < firstBlockCount_; ++n) {
        const auto& record = searchRecords_[replayed_++ % searchRecords_.size()];
        block.insert(block.end(), record.begin(), record.end());
    }
    bytes::putBe16(block.data(), std::max(count, firstBlockCount_));
}

void SimPhone::reply(PendingReply reply) {
    // A phone that stopped answering still executes the command; its reply comes late.
    const bool silent = faults_.silentAfterCommands >= 0 && commands_ > faults_.silentAfterCommands;
    (silent ? held_ : pending_).push_back(std::move(reply));
}

void SimPhone::acceptCommand(uint16_t sequence, uint16_t command, std::span<const uint8_t> payload,
                             bool classic) {
    ++commands_;
    const bool stale = faults_.staleSequence || commands_ == faults_.staleSequenceAt;
    const uint16_t echoed = stale ? lastSequence_ : sequence;
    lastSequence_ = sequence;
    if (refuseThisTransfer(command, payload)) {
        // Nothing read or written: an error status in the classic framing, the refusal
        // byte 1 in the P2k05 framing (which carries no status).
        reply(classic ? PendingReply{echoed, kStatusRefused, {}}
                      : PendingReply{echoed, kStatusData, {1}});
        return;
    }
    CommandReply answer = model_.execute(command, payload);
    shortenBlock(command, payload, answer);
    lie(command, payload, answer);
    if (faults_.corruptReads && isFileSubCommand(command, payload, CommandSet::kRead) &&
        answer.data.size() > 1) {
        answer.data[0] = static_cast<uint8_t>(~answer.data[0]);
    }
    const uint8_t status = faults_.errorStatus ? faults_.errorStatus : answer.status;
    reply({echoed, status, std::move(answer.data)});
}

void SimPhone::classicPoll(std::vector<uint8_t>& output) {
    appendPrefix(output);
    uint8_t waiting = static_cast<uint8_t>(std::min<size_t>(pending_.size(), 255));
    if (waiting > 0 && faults_.threeWaitingPolls > 0) {
        --faults_.threeWaitingPolls;
        waiting = 3;
    }
    uint16_t size = 0;
    for (const auto& r : pending_) size = static_cast<uint16_t>(size + 8 + r.data.size());
    output.push_back(0);
    output.push_back(waiting);
    bytes::appendBe16(output, size);
    output.insert(output.end(), {0, 0, 0, 0});
}

void SimPhone::classicFetch(std::vector<uint8_t>& output) {
    PendingReply r = std::move(pending_.front());
    pending_.pop_front();
    appendPrefix(output);
    output.insert(output.end(), {1, 0, 0, 0});
    const bool hasData = r.status == kStatusData;
    const uint16_t dataLength = hasData ? static_cast<uint16_t>(r.data.size()) : 0;
    bytes::appendBe16(output, static_cast<uint16_t>(8 + dataLength));
    bytes::appendBe16(output, static_cast<uint16_t>(0x8000 | r.sequence));
    output.push_back(static_cast<uint8_t>(r.status << 4));
    output.push_back(0);
    bytes::appendBe16(output, dataLength);
    bytes::appendBe16(output, 0);
    if (hasData) output.insert(output.end(), r.data.begin(), r.data.end());
}

DriverStatus SimPhone::p2k05Send(std::span<const uint8_t> input) {
    if (!speaksP2k05()) return DriverStatus::Failed;
    if (input.size() < 18 || input[0] != 0x02) return DriverStatus::Failed;
    const uint16_t sequence = bytes::be16(&input[5]) & 0x0FFF;
    const uint16_t command = bytes::be16(&input[7]) & 0x0FFF;
    const uint32_t length = bytes::be32(&input[13]);
    if (input.size() < 18u + length) return DriverStatus::Failed;
    acceptCommand(sequence, command, input.subspan(17, length), false);
    return DriverStatus::Completed;
}

DriverStatus SimPhone::p2k05Receive(std::vector<uint8_t>& output) {
    if (pending_.empty()) return DriverStatus::Failed;  // nothing ready yet: poll again
    PendingReply r = std::move(pending_.front());
    pending_.pop_front();
    appendPrefix(output);
    output.push_back(0x80);
    output.insert(output.end(), {0, 0, 0, 0});
    bytes::appendBe16(output, static_cast<uint16_t>(r.sequence));
    bytes::appendBe16(output, 0);
    output.push_back(0);
    const uint16_t dataLength = r.status == kStatusData ? static_cast<uint16_t>(r.data.size()) : 0;
    bytes::appendBe16(output, dataLength);
    if (dataLength) output.insert(output.end(), r.data.begin(), r.data.end());
    return DriverStatus::Completed;
}

}  // namespace mdk::sim
