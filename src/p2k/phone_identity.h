#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mdk {

class CommandSet;

inline constexpr const char* kBluetoothConfigPath =
    "/ezxlocal/download/appwrite/setup/ezx_bluetooth.cfg";
// The longest model name kept.
inline constexpr size_t kModelNameMax = 255;
// How much of the Bluetooth configuration is read.
inline constexpr size_t kBluetoothReadSize = 500;

// The model name in a Linux phone's Bluetooth configuration: what follows
// "defaultLocalDevName = " (22 characters from the start of the key) up to the end of its
// line, a zero byte or the end of the bytes given, cut to kModelNameMax, without trailing
// CRs. nullopt when the key is missing or stands too close to the end for a name.
std::optional<std::string> parseBluetoothModelName(std::span<const uint8_t> bytes);

// Reads the first kBluetoothReadSize bytes of the Bluetooth configuration from the phone
// (open, seek to the start, read, close, in one phone session) and takes the model name
// from the bytes the phone returned.
std::optional<std::string> readUsblanModelName(CommandSet& commands);

}  // namespace mdk
