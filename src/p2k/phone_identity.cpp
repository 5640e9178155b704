#include "p2k/phone_identity.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "p2k/command_set.h"
#include "p2k/transport.h"

namespace mdk {
namespace {
constexpr size_t kNameOffset = 22;  // "defaultLocalDevName", a blank, "=", a blank
}  // namespace

std::optional<std::string> parseBluetoothModelName(std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const size_t match = text.find("defaultLocalDevName");
    if (match == std::string_view::npos || match + kNameOffset > text.size()) {
        return std::nullopt;
    }
    const size_t start = match + kNameOffset;
    size_t end = std::min(text.find('\n', start), text.size());
    end = std::min(end, text.find('\0', start));
    end = std::min(end, start + kModelNameMax);
    std::string name(text.substr(start, end - start));
    while (!name.empty() && name.back() == '\r') name.pop_back();
    return name;
}

std::optional<std::string> readUsblanModelName(CommandSet& commands) {
    PhoneSession session(commands.transport());
    std::vector<uint8_t> buffer;
    // Each request runs whatever the one before gave; a failed one leaves no bytes.
    commands.phoneOpenFile(kBluetoothConfigPath, 0xFFFFFFFF);
    commands.phoneSeekFile(0, 0);
    commands.phoneReadFile(buffer, kBluetoothReadSize);
    commands.phoneCloseFile();
    buffer.resize(std::min<size_t>(buffer.size(), commands.fileReadTotal()));
    buffer.resize(std::min(buffer.size(), kBluetoothReadSize));
    return parseBluetoothModelName(buffer);
}

}  // namespace mdk
