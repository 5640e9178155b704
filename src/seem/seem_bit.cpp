#include "seem/seem_bit.h"

#include <cstdio>
#include <vector>

#include "base/hex_text.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"

namespace mdk {
namespace {

// "0032 0001 000A 3", the address as the log names it.
std::string addressText(const SeemBitAddress& a) {
    char text[32];
    std::snprintf(text, sizeof text, "%04X %04X %04X %u", unsigned(a.seem), unsigned(a.record),
                  unsigned(a.offset), unsigned(a.bit));
    return text;
}

SeemBitResult failed(SeemBitStatus status, std::string detail) {
    SeemBitResult result;
    result.status = status;
    result.detail = std::move(detail);
    return result;
}

SeemBitResult failedAt(const SeemBitAddress& a, SeemBitStatus status) {
    return failed(status,
                  "Seem bit " + addressText(a) + ": " + std::string(seemBitStatusText(status)));
}

std::optional<uint32_t> field(std::string_view text, size_t maxDigits, const char* name,
                              SeemBitResult& failure) {
    auto value = parseHex(text, maxDigits);
    if (!value) {
        failure = failed(SeemBitStatus::BadField, "Seem bit: the " + std::string(name) + " \"" +
                                                      std::string(text) +
                                                      "\" is not a hexadecimal number");
    }
    return value;
}

}  // namespace

std::string_view seemBitStatusText(SeemBitStatus status) {
    switch (status) {
        case SeemBitStatus::Ok:
            return "done";
        case SeemBitStatus::BadField:
            return "a field is not a hexadecimal number";
        case SeemBitStatus::BitOutOfRange:
            return "bit number above 7";
        case SeemBitStatus::OffsetOutOfRange:
            return "offset beyond the longest seem record";
        case SeemBitStatus::ReadFailed:
            return "the record could not be read";
        case SeemBitStatus::OffsetBeyondRecord:
            return "offset beyond the record's end";
        case SeemBitStatus::WriteFailed:
            return "the record could not be written";
    }
    return "unknown";
}

std::optional<SeemBitAddress> parseSeemBitFields(std::string_view seem, std::string_view record,
                                                 std::string_view offset, std::string_view bit,
                                                 SeemBitResult& failure) {
    auto s = field(seem, 4, "seem number", failure);
    if (!s) return std::nullopt;
    auto r = field(record, 4, "record number", failure);
    if (!r) return std::nullopt;
    auto o = field(offset, 4, "offset", failure);
    if (!o) return std::nullopt;
    auto b = field(bit, 8, "bit number", failure);
    if (!b) return std::nullopt;
    SeemBitAddress address{uint16_t(*s), uint16_t(*r), uint16_t(*o), 0};
    if (*b > kLastSeemBit) {
        failure = failed(SeemBitStatus::BitOutOfRange,
                         "Seem bit: bit number " + std::string(bit) + " is above 7");
        return std::nullopt;
    }
    address.bit = uint8_t(*b);
    if (*o >= kSeemRecordMax) {
        failure = failedAt(address, SeemBitStatus::OffsetOutOfRange);
        return std::nullopt;
    }
    return address;
}

std::optional<SeemBitAddress> parseSeemBitArgument(std::string_view argument,
                                                   SeemBitResult& failure) {
    if (argument.size() < 16) {
        failure = failed(SeemBitStatus::BadField, "Seem bit: \"" + std::string(argument) +
                                                      "\" is not of the form ssss rrrr oooo b");
        return std::nullopt;
    }
    return parseSeemBitFields(argument.substr(0, 4), argument.substr(5, 4), argument.substr(10, 4),
                              argument.substr(15), failure);
}

uint8_t applySeemBit(uint8_t byte, uint8_t bit, SeemBitAction action) {
    const uint8_t mask = kSeemBitMasks[bit & kLastSeemBit];
    switch (action) {
        case SeemBitAction::Get:
            return byte;
        case SeemBitAction::Set:
            return byte | mask;
        case SeemBitAction::Clear:
            return byte & uint8_t(~mask);
        case SeemBitAction::Toggle:
            return byte ^ mask;
    }
    return byte;
}

std::optional<int> seemBitIn(std::span<const uint8_t> data, uint32_t offset, uint32_t bit) {
    if (bit > kLastSeemBit || offset >= data.size()) return std::nullopt;
    return (data[offset] & kSeemBitMasks[bit]) ? 1 : 0;
}

SeemBitResult changeSeemBit(CommandSet& commands, const SeemBitAddress& address,
                            SeemBitAction action) {
    if (address.bit > kLastSeemBit) return failedAt(address, SeemBitStatus::BitOutOfRange);
    if (address.offset >= kSeemRecordMax) {
        return failedAt(address, SeemBitStatus::OffsetOutOfRange);
    }
    PhoneSession session(commands.transport());
    const uint16_t count = uint16_t(address.offset + 1);
    std::vector<uint8_t> reply;
    if (commands.phoneReadSeem(address.seem, address.record, 0, count, reply) != 0) {
        return failedAt(address, SeemBitStatus::ReadFailed);
    }
    // The reply is the status byte and at most count bytes; a shorter record brings fewer.
    if (reply.size() < size_t(count) + 1) {
        return failedAt(address, SeemBitStatus::OffsetBeyondRecord);
    }
    std::vector<uint8_t> bytes(reply.begin() + 1, reply.begin() + 1 + count);
    SeemBitResult result;
    result.before = bytes[address.offset];
    result.after = applySeemBit(result.before, address.bit, action);
    result.value = (result.after & kSeemBitMasks[address.bit]) ? 1 : 0;
    if (action == SeemBitAction::Get) return result;
    bytes[address.offset] = result.after;
    if (commands.phoneWriteSeem(address.seem, address.record, 0, bytes) != 0) {
        return failedAt(address, SeemBitStatus::WriteFailed);
    }
    return result;
}

}  // namespace mdk
