#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "seem/seem_functions.h"

namespace mdk {

class CommandSet;

// The state icon of a catalogue line.
enum class FunctionIcon : int {
    NoState = 0,  // no phone link, no copy of the record, or the bit lies outside it
    Clear = 1,
    Set = 2,
    Heading = 3,  // a line without a bit
};

// The catalogue with copies of the records it names: what the "Seem Functions" dialog
// shows and changes. Bits are toggled in the copies only; the phone changes when the
// records are written.
class SeemFunctionTable {
public:
    static constexpr size_t kMaxRecords = 64;

    // How a write of the records went.
    struct WriteReport {
        int written = 0;
        int skipped = 0;  // the record's length on the phone differs from its copy
        int failed = 0;
    };

    explicit SeemFunctionTable(CommandSet& commands) : commands_(commands) {}

    // Parses the catalogue and, with a link open, reads each record it names once (the
    // first 64 distinct records) and keeps a copy. Lines that name no usable bit and
    // skipped lines are logged the first time they are seen.
    void load(std::string_view fileBytes, bool linkOpen);
    // Frees the copies and clears the bit-states-loaded flag (the lines stay).
    void freeCopies();

    const std::vector<SeemFunction>& functions() const { return catalogue_.functions; }
    size_t size() const { return catalogue_.functions.size(); }
    bool bitStatesLoaded() const { return bitStatesLoaded_; }
    bool changed() const { return changed_; }
    // Distinct records named (at most 64) and how many of them have a copy.
    size_t recordCount() const { return records_.size(); }
    size_t copyCount() const;

    FunctionIcon icon(size_t index) const;
    // The line's bit in the copy, or nullopt when it cannot be tested.
    std::optional<int> bit(size_t index) const;
    // The byte of the copy that holds the line's bit.
    std::optional<uint8_t> actualByte(size_t index) const;
    bool canToggle(size_t index) const { return bit(index).has_value(); }
    // Inverts the line's bit in the record's copy; false (nothing changed) when it cannot.
    bool toggle(size_t index);

    // Writes every record that has a copy: a fresh read gives the record's length on the
    // phone; a record whose length differs from its copy is skipped and logged, so no
    // more is ever written than the copy holds.
    WriteReport writeRecords();

private:
    struct Record {
        uint32_t key = 0;  // seem << 16 | record
        uint16_t seem = 0;
        uint16_t record = 0;
        std::optional<std::vector<uint8_t>> copy;
    };
    static uint32_t keyOf(const SeemBitAddress& a) { return uint32_t(a.seem) << 16 | a.record; }
    Record* recordFor(const SeemBitAddress& address);
    const Record* recordFor(const SeemBitAddress& address) const;
    void readRecords();
    void logOnce(const std::string& line);

    CommandSet& commands_;
    SeemCatalogue catalogue_;
    std::vector<Record> records_;
    std::set<std::string> logged_;
    bool bitStatesLoaded_ = false;
    bool changed_ = false;
};

}  // namespace mdk
