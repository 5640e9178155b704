#include "p2k/phone_identity.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "p2k/command_set.h"
#include "p2k/transport.h"

namespace mdk {
namespace {
constexpr size_t kConfigReadSize = 500;
constexpr size_t kNameOffset = 22;
constexpr size_t kNameMax = 255;
}  // namespace

std::optional<std::string> parseBluetoothModelName(std::span<const uint8_t> bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const size_t match = text.find("defaultLocalDevName");
    if (match == std::string_view::npos) return std::nullopt;
    const size_t start = match + kNameOffset;
    if (start >= text.size()) return std::string();
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string name(text.substr(start, std::min(end - start, kNameMax)));
    // The file ends at the first zero byte of the zeroed buffer.
    if (size_t nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
    if (!name.empty() && name.back() == '\r') name.pop_back();
    return name;
}

std::optional<std::string> readUsblanModelName(CommandSet& commands) {
    PhoneSession session(commands.transport());
    if (commands.phoneOpenFile(kBluetoothConfigPath, 0xFFFFFFFF) != 0) return std::nullopt;
    std::vector<uint8_t> buffer;
    int result = commands.phoneSeekFile(0, 0);
    if (result == 0) result = commands.phoneReadFile(buffer, kConfigReadSize);
    commands.phoneCloseFile();
    if (result != 0) return std::nullopt;
    return parseBluetoothModelName(buffer);
}

}  // namespace mdk
