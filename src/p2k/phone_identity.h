#pragma once
#include <optional>
#include <span>
#include <string>

namespace mdk {

class CommandSet;

inline constexpr const char* kBluetoothConfigPath =
    "/ezxlocal/download/appwrite/setup/ezx_bluetooth.cfg";

// The model name in a Linux phone's Bluetooth configuration: the text 22 characters after
// "defaultLocalDevName" up to the next LF, bounded by the bytes given and cut to 255
// characters. nullopt when the key is missing.
std::optional<std::string> parseBluetoothModelName(std::span<const uint8_t> bytes);

// Reads the first 500 bytes of the Bluetooth configuration from the phone (open, seek to
// the start, read, close) and takes the model name from them.
std::optional<std::string> readUsblanModelName(CommandSet& commands);

}  // namespace mdk
