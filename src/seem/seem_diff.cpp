#include "seem/seem_diff.h"

#include <algorithm>
#include <cstdio>

namespace mdk {
namespace {

uint64_t bitKey(const SeemBitAddress& a) {
    return uint64_t(a.seem) << 40 | uint64_t(a.record) << 24 | uint64_t(a.offset) << 8 | a.bit;
}

std::vector<SeemBitChange> changedBits(SeemRecordKey key, uint32_t offset, uint8_t oldByte,
                                       uint8_t newByte, const SeemMeanings& meanings) {
    std::vector<SeemBitChange> bits;
    for (uint8_t bit = 0; bit <= kLastSeemBit; ++bit) {
        const uint8_t mask = kSeemBitMasks[bit];
        if (((oldByte ^ newByte) & mask) == 0) continue;
        SeemBitChange change;
        change.bit = bit;
        change.oldValue = (oldByte & mask) ? 1 : 0;
        change.newValue = (newByte & mask) ? 1 : 0;
        // No catalogue line can name an offset at or beyond the longest record.
        if (offset < kSeemRecordMax) {
            change.function =
                meanings.lineOf({key.first, key.second, static_cast<uint16_t>(offset), bit});
        }
        if (change.function) {
            change.description = meanings.functions()[*change.function].description;
            change.heading = meanings.headingOf(*change.function);
        }
        bits.push_back(std::move(change));
    }
    return bits;
}

SeemRecordDiff compareRecord(SeemRecordKey key, const std::vector<uint8_t>& a,
                             const std::vector<uint8_t>& b, const SeemMeanings& meanings) {
    SeemRecordDiff diff;
    diff.key = key;
    diff.lengthA = a.size();
    diff.lengthB = b.size();
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) continue;
        const auto offset = static_cast<uint32_t>(i);
        diff.bytes.push_back({offset, a[i], b[i], changedBits(key, offset, a[i], b[i], meanings)});
    }
    return diff;
}

SeemRecordDiff oneSided(SeemRecordKey key, SeemRecordState state, size_t length) {
    SeemRecordDiff diff;
    diff.key = key;
    diff.state = state;
    (state == SeemRecordState::OnlyInA ? diff.lengthA : diff.lengthB) = length;
    return diff;
}

}  // namespace

SeemMeanings::SeemMeanings(std::vector<SeemFunction> functions)
    : functions_(std::move(functions)), headings_(functions_.size()) {
    std::optional<size_t> heading;
    for (size_t i = 0; i < functions_.size(); ++i) {
        const SeemFunction& f = functions_[i];
        headings_[i] = heading;
        if (f.heading) heading = i;
        if (f.address) lines_.emplace(bitKey(*f.address), i);  // the first line wins
    }
}

std::optional<size_t> SeemMeanings::lineOf(const SeemBitAddress& address) const {
    auto found = lines_.find(bitKey(address));
    if (found == lines_.end()) return std::nullopt;
    return found->second;
}

std::string SeemMeanings::headingOf(size_t line) const {
    if (line >= headings_.size() || !headings_[line]) return {};
    return functions_[*headings_[line]].description;
}

std::vector<SeemRecordDiff> diffSeemRecords(const SeemRecordSet& a, const SeemRecordSet& b,
                                            const SeemMeanings& meanings) {
    std::vector<SeemRecordDiff> diffs;
    auto ia = a.begin();
    auto ib = b.begin();
    // Both sets are ordered by key: one walk over the two.
    while (ia != a.end() || ib != b.end()) {
        if (ib == b.end() || (ia != a.end() && ia->first < ib->first)) {
            diffs.push_back(oneSided(ia->first, SeemRecordState::OnlyInA, ia->second.size()));
            ++ia;
        } else if (ia == a.end() || ib->first < ia->first) {
            diffs.push_back(oneSided(ib->first, SeemRecordState::OnlyInB, ib->second.size()));
            ++ib;
        } else {
            if (ia->second != ib->second) {
                diffs.push_back(compareRecord(ia->first, ia->second, ib->second, meanings));
            }
            ++ia;
            ++ib;
        }
    }
    return diffs;
}

std::string seemBitNotation(SeemRecordKey key, uint32_t offset, uint8_t bit) {
    char text[40];
    std::snprintf(text, sizeof text, "%04X;%04X;%02X;%X", unsigned(key.first), unsigned(key.second),
                  unsigned(offset), unsigned(bit));
    return text;
}

std::string seemRecordName(SeemRecordKey key) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X_%04X", unsigned(key.first), unsigned(key.second));
    return text;
}

}  // namespace mdk
