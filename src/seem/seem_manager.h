#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "seem/seem_file.h"

namespace mdk {

class CommandSet;

// The seem manager: one record read into a file or written from one, by typed numbers.

inline constexpr const char* kSeemManagerNumbersInvalid =
    "Number and Record must each be 1 to 4 hexadecimal digits.";
inline constexpr const char* kSeemFileNameInvalid = "Invalid seem filename Must be: xxxx_yyyy.seem";
// No seem record is longer; a longer file contributes its first bytes only.
inline constexpr size_t kSeemFileMax = 10000;

// The seem and record typed into the two edits: each 1 to 4 hexadecimal digits, nothing
// else ("0x32" is refused).
std::optional<SeemAddress> parseTypedSeem(std::string_view seemText, std::string_view recordText);

// The name the file dialogs offer: the two texts as typed, joined by "_" (32 and 1 give
// 32_1).
std::string seemManagerFileName(std::string_view seemText, std::string_view recordText);

// Reads the record and writes its data into path through a temporary file. False (with
// error set; empty when the read failed, which the command set logs) on failure.
bool saveSeemRecord(CommandSet& commands, const SeemAddress& address, const std::string& path,
                    std::string& error);

// Writes the file at path (its first 10000 bytes) into the record: the record keeps its
// length, and its own bytes beyond the file's end. False with error set when the file
// cannot be read or the phone does not take it.
bool loadSeemRecord(CommandSet& commands, const SeemAddress& address, const std::string& path,
                    std::string& error);

}  // namespace mdk
