#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mdk {

class EventLog;
class Transport;
class UsbDriver;

// The USB I/O command tester (dialog 1900): sends one raw driver request to the Test
// Command interface and turns the reply into a hexadecimal line and a text line.

inline constexpr size_t kTesterPayloadCapacity = 10000;
inline constexpr uint32_t kTesterInitialCommand = 0x102;
inline constexpr uint32_t kTesterInitialControlCode = 0x80002010;
inline constexpr const char* kTesterNoFile = "No file loaded!";

// What the tester keeps for the whole run: the loaded payload (apart from any reply) and
// the payload flag. Owned by the application context.
struct UsbTesterState {
    std::vector<uint8_t> payload;
    std::string payloadName = kTesterNoFile;
    bool payloadFlag = false;
};

// The request's input: the command value's two low bytes, least significant first, or
// the loaded payload when the flag is set.
std::vector<uint8_t> testerInput(uint32_t command, const UsbTesterState& state);

// Reads at most kTesterPayloadCapacity bytes of the file into the payload. False (and
// the payload unchanged) when the file cannot be read.
bool loadTesterPayload(const std::string& path, UsbTesterState& state);

struct TesterLines {
    std::string hex;                  // eight digits per word, then "H"
    std::optional<std::string> text;  // only without the payload flag
};

// The lines shown for a reply (raw driver output, prefix included). Without the payload
// flag the word count comes from the reply's first word (a name reply's character count),
// with it one word; never more words than the reply holds. Each shown 16-bit unit is
// turned high byte first, a zero byte of it becoming a blank; the text line runs from
// the fifth byte to the first zero byte or the end of the reply.
TesterLines testerReplyLines(std::span<const uint8_t> reply, bool payloadFlag);

// Sends the request under the phone-session lock and logs both lines. nullopt when the
// driver request failed (the driver has logged why).
std::optional<TesterLines> runTesterRequest(UsbDriver& driver, Transport& transport, EventLog& log,
                                            uint32_t controlCode, std::span<const uint8_t> input,
                                            bool payloadFlag);

}  // namespace mdk
