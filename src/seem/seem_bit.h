#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mdk {

class CommandSet;

// Single bits of seem records: the masks, the change of one byte, and the read-change-write
// of one bit on the phone. Used by the seem function editor, the batch packages' ss, rs and
// ts lines and the command-line tool.

// Bit 0 is the least significant bit of a byte, bit 7 the most significant.
inline constexpr std::array<uint8_t, 8> kSeemBitMasks = {0x01, 0x02, 0x04, 0x08,
                                                         0x10, 0x20, 0x40, 0x80};
inline constexpr uint8_t kLastSeemBit = 7;
// No seem record is longer than this; a bit's offset must lie below it.
inline constexpr uint32_t kSeemRecordMax = 10000;

enum class SeemBitAction { Get, Set, Clear, Toggle };

// Where one bit lives.
struct SeemBitAddress {
    uint16_t seem = 0;
    uint16_t record = 0;
    uint16_t offset = 0;  // byte offset inside the record
    uint8_t bit = 0;      // 0-7
    bool operator==(const SeemBitAddress&) const = default;
};

enum class SeemBitStatus {
    Ok,
    BadField,            // a field is not hexadecimal (or too long for its number)
    BitOutOfRange,       // bit number above 7
    OffsetOutOfRange,    // offset at or beyond the longest record
    ReadFailed,          // the record could not be read
    OffsetBeyondRecord,  // the record is shorter than offset + 1 bytes
    WriteFailed,         // the phone did not take the changed bytes
};

// The outcome of a bit change: the byte before and after, and the bit's value afterwards.
struct SeemBitResult {
    SeemBitStatus status = SeemBitStatus::Ok;
    uint8_t before = 0;
    uint8_t after = 0;
    int value = 0;       // the bit after the action (for Get: as read)
    std::string detail;  // a line for the log when status is not Ok
    bool ok() const { return status == SeemBitStatus::Ok; }
};

// A short text for a status ("bit number above 7", ...).
std::string_view seemBitStatusText(SeemBitStatus status);

// Parses the four fields (seem, record, offset, bit) as hexadecimal texts: seem, record and
// offset one to four digits, the bit one or two digits and at most 7. On failure the
// status and detail say which field is wrong.
std::optional<SeemBitAddress> parseSeemBitFields(std::string_view seem, std::string_view record,
                                                 std::string_view offset, std::string_view bit,
                                                 SeemBitResult& failure);

// Parses the argument form "ssss rrrr oooo b": the seem from characters 1-4, the record
// from 6-9, the offset from 11-14 and the bit from 16 on; characters 5, 10 and 15 are
// separators and are not read.
std::optional<SeemBitAddress> parseSeemBitArgument(std::string_view argument,
                                                   SeemBitResult& failure);

// The byte after the action (Get leaves it as it is). bit must be 0-7.
uint8_t applySeemBit(uint8_t byte, uint8_t bit, SeemBitAction action);

// The bit of data at offset: 0 or 1, or nullopt when offset lies outside data or bit > 7.
std::optional<int> seemBitIn(std::span<const uint8_t> data, uint32_t offset, uint32_t bit);

// Changes one bit on the phone: reads the first offset + 1 bytes of the record, changes
// the bit in the byte at the offset, and writes those bytes back (Get reads only). Refuses
// an offset beyond the record without writing. Holds the phone session for the whole
// change.
SeemBitResult changeSeemBit(CommandSet& commands, const SeemBitAddress& address,
                            SeemBitAction action);

}  // namespace mdk
