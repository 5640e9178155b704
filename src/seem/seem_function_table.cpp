#include "seem/seem_function_table.h"

#include <algorithm>
#include <cstdio>

#include "base/event_log.h"
#include "p2k/command_set.h"
#include "p2k/transport.h"

namespace mdk {
namespace {

std::string recordText(uint16_t seem, uint16_t record) {
    char text[48];
    std::snprintf(text, sizeof text, "seem %04X record %04X", unsigned(seem), unsigned(record));
    return text;
}

// The record's data (without the status byte), or nullopt when it cannot be read.
std::optional<std::vector<uint8_t>> readWhole(CommandSet& commands, uint16_t seem,
                                              uint16_t record) {
    std::vector<uint8_t> reply;
    if (commands.phoneReadSeem(seem, record, 0, 0, reply) != 0) return std::nullopt;
    if (reply.empty()) return std::vector<uint8_t>{};
    return std::vector<uint8_t>(reply.begin() + 1, reply.end());
}

}  // namespace

void SeemFunctionTable::load(std::string_view fileBytes, bool linkOpen) {
    freeCopies();
    records_.clear();
    changed_ = false;
    catalogue_ = parseSeemCatalogue(fileBytes);
    for (const std::string& line : catalogue_.skippedLines) {
        logOnce("Seem functions: line without four \";\" left out: " + line);
    }
    for (const SeemFunction& function : catalogue_.functions) {
        if (!function.fault.empty()) logOnce(function.fault + " (" + function.description + ")");
        if (!function.address || recordFor(*function.address)) continue;
        const SeemBitAddress& a = *function.address;
        if (records_.size() < kMaxRecords) {
            records_.push_back({keyOf(a), a.seem, a.record, std::nullopt});
        } else {
            logOnce("Seem functions: more than 64 records; no state for " +
                    recordText(a.seem, a.record));
        }
    }
    if (!linkOpen) return;
    readRecords();
    bitStatesLoaded_ = true;
}

void SeemFunctionTable::readRecords() {
    PhoneSession session(commands_.transport());
    for (Record& record : records_) {
        record.copy = readWhole(commands_, record.seem, record.record);
    }
}

void SeemFunctionTable::freeCopies() {
    for (Record& record : records_) record.copy.reset();
    bitStatesLoaded_ = false;
    changed_ = false;
}

size_t SeemFunctionTable::copyCount() const {
    return size_t(std::count_if(records_.begin(), records_.end(),
                                [](const Record& r) { return r.copy.has_value(); }));
}

SeemFunctionTable::Record* SeemFunctionTable::recordFor(const SeemBitAddress& address) {
    auto it = std::find_if(records_.begin(), records_.end(),
                           [key = keyOf(address)](const Record& r) { return r.key == key; });
    return it == records_.end() ? nullptr : &*it;
}

const SeemFunctionTable::Record* SeemFunctionTable::recordFor(const SeemBitAddress& address) const {
    return const_cast<SeemFunctionTable*>(this)->recordFor(address);
}

FunctionIcon SeemFunctionTable::icon(size_t index) const {
    if (index < size() && functions()[index].heading) return FunctionIcon::Heading;
    auto value = bit(index);
    if (!value) return FunctionIcon::NoState;
    return *value ? FunctionIcon::Set : FunctionIcon::Clear;
}

std::optional<int> SeemFunctionTable::bit(size_t index) const {
    if (index >= size()) return std::nullopt;
    const auto& address = functions()[index].address;
    if (!address) return std::nullopt;
    const Record* record = recordFor(*address);
    if (!record || !record->copy) return std::nullopt;
    return seemBitIn(*record->copy, address->offset, address->bit);
}

std::optional<uint8_t> SeemFunctionTable::actualByte(size_t index) const {
    if (!bit(index)) return std::nullopt;
    const SeemBitAddress& address = *functions()[index].address;
    return (*recordFor(address)->copy)[address.offset];
}

bool SeemFunctionTable::toggle(size_t index) {
    if (!canToggle(index)) return false;
    const SeemBitAddress& address = *functions()[index].address;
    uint8_t& byte = (*recordFor(address)->copy)[address.offset];
    byte = applySeemBit(byte, address.bit, SeemBitAction::Toggle);
    changed_ = true;
    return true;
}

SeemFunctionTable::WriteReport SeemFunctionTable::writeRecords() {
    WriteReport report;
    PhoneSession session(commands_.transport());
    for (const Record& record : records_) {
        if (!record.copy || record.copy->empty()) continue;
        const std::string name = recordText(record.seem, record.record);
        auto current = readWhole(commands_, record.seem, record.record);
        if (!current) {
            commands_.log().logLine("Write seems: " + name + " could not be read; not written.");
            ++report.failed;
            continue;
        }
        if (current->size() != record.copy->size()) {
            commands_.log().logLine("Write seems: " + name + " is now " +
                                    std::to_string(current->size()) + " bytes long, its copy " +
                                    std::to_string(record.copy->size()) + "; not written.");
            ++report.skipped;
            continue;
        }
        if (commands_.phoneWriteSeem(record.seem, record.record, 0, *record.copy) == 0) {
            ++report.written;
        } else {
            ++report.failed;
        }
    }
    return report;
}

void SeemFunctionTable::logOnce(const std::string& line) {
    if (logged_.insert(line).second) commands_.log().logLine(line);
}

}  // namespace mdk
