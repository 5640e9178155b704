#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mdk {

class CommandSet;

struct SeemAddress {
    uint16_t seem = 0;
    uint16_t record = 0;
};

// "xxxx_yyyy.seem" with upper-case hexadecimal digits (seem 0x32 record 10: 0032_000A.seem).
std::string seemFileName(uint16_t seem, uint16_t record);
// The same with the seem part given as text (a seem list entry, kept unchanged).
std::string seemFileName(const std::string& seemText, uint16_t record);

// The highest record a seem file may name: walks over a seem's records stop there.
inline constexpr uint16_t kLastSeemFileRecord = 0x00FE;

// Seems 0001-02FE and records 0001-00FE: the numbers a seem file may name.
bool inSeemFileRange(uint16_t seem, uint16_t record);

// Parses a seem file name: seem from characters 1-4, record from characters 6-9, both
// hexadecimal (any case). Valid only for seems 0001-02FE and records 0001-00FE.
std::optional<SeemAddress> parseSeemFileName(const std::string& name);

// The bytes to write into a record whose current data is current from a seem file: the
// record's current length, taken from the file; where the file is shorter, the record keeps
// its own bytes beyond the file's end.
std::vector<uint8_t> seemWriteData(std::span<const uint8_t> file, std::span<const uint8_t> current);

// Writes a seem file into its record: reads the record to learn its current length and
// bytes, then writes that length (logging when the file is shorter or longer). 0 or -1.
int writeSeemFromFile(CommandSet& commands, const SeemAddress& address,
                      std::span<const uint8_t> file);

}  // namespace mdk
