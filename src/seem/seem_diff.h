#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "seem/seem_functions.h"

namespace mdk {

// Two sets of seem records compared byte by byte, each changed bit named by the seem
// function catalogue where the catalogue names it. Plain data in, plain data out: where
// the records come from (a backup folder, a seem file, the phone) is the caller's business.

using SeemRecordKey = std::pair<uint16_t, uint16_t>;  // seem number, record number
using SeemRecordSet = std::map<SeemRecordKey, std::vector<uint8_t>>;

// One changed bit of a byte.
struct SeemBitChange {
    uint8_t bit = 0;  // 0-7, 0 the least significant
    int oldValue = 0;
    int newValue = 0;
    // The catalogue line that names the bit (the first such line), its description and the
    // description of the nearest heading line above it (empty when there is none).
    std::optional<size_t> function;
    std::string description;
    std::string heading;
};

// One byte that differs between the two sides.
struct SeemByteChange {
    uint32_t offset = 0;
    uint8_t oldValue = 0;             // side A
    uint8_t newValue = 0;             // side B
    std::vector<SeemBitChange> bits;  // lowest bit first
};

enum class SeemRecordState {
    Changed,  // on both sides, with other bytes or another length
    OnlyInA,
    OnlyInB,
};

// One record that is not the same on both sides.
struct SeemRecordDiff {
    SeemRecordKey key;
    SeemRecordState state = SeemRecordState::Changed;
    size_t lengthA = 0;  // 0 on a side that lacks the record
    size_t lengthB = 0;
    // The bytes that differ within the length both sides have.
    std::vector<SeemByteChange> bytes;

    bool lengthDiffers() const { return state == SeemRecordState::Changed && lengthA != lengthB; }
};

// The catalogue arranged for look-ups: which line names a bit, and the heading above a line.
class SeemMeanings {
public:
    SeemMeanings() = default;
    explicit SeemMeanings(std::vector<SeemFunction> functions);

    const std::vector<SeemFunction>& functions() const { return functions_; }
    // The first line that names the bit; nullopt when none does.
    std::optional<size_t> lineOf(const SeemBitAddress& address) const;
    // The description of the nearest heading line above line; empty when there is none.
    std::string headingOf(size_t line) const;

private:
    std::vector<SeemFunction> functions_;
    std::map<uint64_t, size_t> lines_;             // bit address -> first line naming it
    std::vector<std::optional<size_t>> headings_;  // line -> nearest heading line above
};

// Every record that differs between a and b, in record order: records on both sides with
// other bytes or another length, and records found on one side only.
std::vector<SeemRecordDiff> diffSeemRecords(const SeemRecordSet& a, const SeemRecordSet& b,
                                            const SeemMeanings& meanings);

// The bit in the catalogue's own notation, "0032;0001;0A;3": seem and record four
// hexadecimal digits, the offset at least two, the bit one.
std::string seemBitNotation(SeemRecordKey key, uint32_t offset, uint8_t bit);

// "0032_0001", the record's seem file name without its extension.
std::string seemRecordName(SeemRecordKey key);

}  // namespace mdk
