#include "p2k/usb_tester.h"

#include <algorithm>
#include <fstream>

#include "base/event_log.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

uint32_t firstWordLe(std::span<const uint8_t> reply) {
    return uint32_t{reply[0]} | uint32_t{reply[1]} << 8 | uint32_t{reply[2]} << 16 |
           uint32_t{reply[3]} << 24;
}

std::string hexLine(std::span<const uint8_t> bytes) {
    std::string line;
    line.reserve(bytes.size() * 2 + 1);
    for (uint8_t b : bytes) {
        line.push_back(kHexDigits[b >> 4]);
        line.push_back(kHexDigits[b & 0x0F]);
    }
    line.push_back('H');
    return line;
}

// High byte first; a zero high byte, or else a zero low byte, becomes a blank.
void turnUnits(std::vector<uint8_t>& bytes, size_t length) {
    for (size_t i = 0; i + 1 < length; i += 2) {
        uint8_t high = bytes[i + 1];
        uint8_t low = bytes[i];
        if (high == 0) {
            high = ' ';
        } else if (low == 0) {
            low = ' ';
        }
        bytes[i] = high;
        bytes[i + 1] = low;
    }
}

}  // namespace

std::vector<uint8_t> testerInput(uint32_t command, const UsbTesterState& state) {
    if (state.payloadFlag) return state.payload;
    return {static_cast<uint8_t>(command & 0xFF), static_cast<uint8_t>((command >> 8) & 0xFF)};
}

bool loadTesterPayload(const std::string& path, UsbTesterState& state) {
    std::string error;
    auto bytes = readFileStart(path, kTesterPayloadCapacity, error);
    if (!bytes) return false;
    state.payload = std::move(*bytes);
    state.payloadName = path;
    return true;
}

TesterLines testerReplyLines(std::span<const uint8_t> reply, bool payloadFlag) {
    const size_t available = reply.size() / 4;
    size_t words = 0;
    if (payloadFlag) {
        words = 1;
    } else if (reply.size() >= 4) {
        words = (uint64_t{firstWordLe(reply)} + 1) / 4;
    }
    words = std::min(words, available);
    TesterLines lines;
    lines.hex = hexLine(reply.first(words * 4));
    if (payloadFlag) return lines;
    std::vector<uint8_t> turned(reply.begin(), reply.end());
    turnUnits(turned, words * 4);
    std::string text;
    for (size_t i = 4; i < turned.size() && turned[i] != 0; ++i) {
        text.push_back(static_cast<char>(turned[i]));
    }
    lines.text = std::move(text);
    return lines;
}

std::optional<TesterLines> runTesterRequest(UsbDriver& driver, Transport& transport, EventLog& log,
                                            uint32_t controlCode, std::span<const uint8_t> input,
                                            bool payloadFlag) {
    std::vector<uint8_t> reply;
    {
        PhoneSession session(transport);
        if (driver.rawRequest(controlCode, input, reply) != 0) return std::nullopt;
    }
    TesterLines lines = testerReplyLines(reply, payloadFlag);
    log.logLine(lines.hex);
    if (lines.text) log.logLine(*lines.text);
    return lines;
}

}  // namespace mdk
