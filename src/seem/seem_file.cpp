#include "seem/seem_file.h"

#include <algorithm>
#include <cstdio>

#include "base/event_log.h"
#include "base/hex_text.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"

namespace mdk {
namespace {

constexpr uint16_t kLastSeem = 0x02FE;

std::optional<uint16_t> hex4(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    auto value = parseHex(text, 4);
    if (!value) return std::nullopt;
    return static_cast<uint16_t>(*value);
}

}  // namespace

std::string seemFileName(uint16_t seem, uint16_t record) {
    char name[32];
    std::snprintf(name, sizeof name, "%04X_%04X.seem", seem, record);
    return name;
}

std::string seemFileName(const std::string& seemText, uint16_t record) {
    char part[16];
    std::snprintf(part, sizeof part, "_%04X.seem", record);
    return seemText + part;
}

std::optional<SeemAddress> parseSeemFileName(const std::string& name) {
    if (name.size() < 9) return std::nullopt;
    auto seem = hex4(name.substr(0, 4));
    auto record = hex4(name.substr(5, 4));
    if (!seem || !record) return std::nullopt;
    if (!inSeemFileRange(*seem, *record)) return std::nullopt;
    return SeemAddress{*seem, *record};
}

bool inSeemFileRange(uint16_t seem, uint16_t record) {
    return seem != 0 && seem <= kLastSeem && record != 0 && record <= kLastSeemFileRecord;
}

std::vector<uint8_t> seemWriteData(std::span<const uint8_t> file,
                                   std::span<const uint8_t> current) {
    std::vector<uint8_t> data(current.begin(), current.end());
    std::copy_n(file.begin(), std::min(file.size(), data.size()), data.begin());
    return data;
}

int writeSeemFromFile(CommandSet& commands, const SeemAddress& address,
                      std::span<const uint8_t> file) {
    PhoneSession session(commands.transport());
    std::vector<uint8_t> reply;
    std::span<const uint8_t> current;
    if (commands.phoneReadSeem(address.seem, address.record, 0, 0, reply) == 0 && !reply.empty()) {
        current = std::span<const uint8_t>(reply).subspan(1);
    }
    if (file.size() != current.size() && !current.empty()) {
        commands.log().logLine("Seem file has " + std::to_string(file.size()) +
                               " bytes, the record " + std::to_string(current.size()) + ": " +
                               (file.size() < current.size()
                                    ? "the record keeps its bytes past the file's end."
                                    : "only the record's length is written."));
    }
    return commands.phoneWriteSeem(address.seem, address.record, 0, seemWriteData(file, current));
}

}  // namespace mdk
