#include "sim/phone_model.h"

#include <algorithm>

#include "p2k/bytes.h"

namespace mdk::sim {
namespace {
constexpr uint16_t kReadSeem = 0x20;
constexpr uint16_t kWriteSeem = 0x2F;
constexpr uint16_t kIdentityGsm = 0x0117;
constexpr uint16_t kIdentityCdma = 0x2827;
constexpr uint8_t kStatusRefused = 0x0E;  // an error status: "phone refused"
}  // namespace

std::vector<uint8_t> gsmIdentityRecord(const std::string& model) {
    std::vector<uint8_t> record;
    for (char c : model) {
        record.push_back(0);
        record.push_back(static_cast<uint8_t>(c));
    }
    record.insert(record.end(), {0, 0, 0, 0});
    record.resize(std::max<size_t>(record.size(), 64), 0xFF);
    return record;
}

std::vector<uint8_t> cdmaIdentityRecord(const std::string& model) {
    std::vector<uint8_t> record;
    for (char c : model) {
        record.push_back(static_cast<uint8_t>(c));
        record.push_back(0);
    }
    record.insert(record.end(), {0, 0});
    record.resize(std::max<size_t>(record.size(), 20), 0);
    return record;
}

PhoneModel::PhoneModel(PhoneKind kind, std::string model)
    : kind_(kind), model_(std::move(model)) {
    // Seem 4 record 1: the probe reads its bytes 3 to 6; non-zero means a GSM phone.
    std::vector<uint8_t> seem4 = {0x01, 0x02, 0x03, 0x10, 0x20, 0x30, 0x40, 0x05};
    if (kind_ == PhoneKind::Cdma) std::fill(seem4.begin() + 3, seem4.begin() + 7, 0);
    seems_[{4, 1}] = seem4;
    if (kind_ == PhoneKind::Cdma) {
        seems_[{kIdentityCdma, 1}] = cdmaIdentityRecord(model_);
    } else {
        seems_[{kIdentityGsm, 1}] = gsmIdentityRecord(model_);
    }
}

CommandReply PhoneModel::execute(uint16_t command, std::span<const uint8_t> payload) {
    std::lock_guard lock(mutex_);
    ++commandCounts_[command];
    switch (command) {
        case kReadSeem:
            return readSeem(payload);
        case kWriteSeem:
            return writeSeem(payload);
        default:
            return {kStatusRefused, {}};
    }
}

CommandReply PhoneModel::readSeem(std::span<const uint8_t> payload) {
    if (payload.size() < 8) return {kStatusRefused, {}};
    const uint16_t seem = bytes::be16(&payload[0]);
    const uint16_t record = bytes::be16(&payload[2]);
    const uint16_t offset = bytes::be16(&payload[4]);
    const uint16_t count = bytes::be16(&payload[6]);
    auto it = seems_.find({seem, record});
    if (it == seems_.end()) return {kStatusData, {0x01}};  // status byte 1: no such record
    const auto& data = it->second;
    CommandReply reply{kStatusData, {0x00}};
    size_t begin = std::min<size_t>(offset, data.size());
    size_t end = count == 0 ? data.size() : std::min<size_t>(data.size(), begin + count);
    reply.data.insert(reply.data.end(), data.begin() + begin, data.begin() + end);
    if (count != 0) reply.data.resize(1 + size_t(count), 0);
    return reply;
}

CommandReply PhoneModel::writeSeem(std::span<const uint8_t> payload) {
    if (payload.size() < 8) return {kStatusRefused, {}};
    const uint16_t seem = bytes::be16(&payload[0]);
    const uint16_t record = bytes::be16(&payload[2]);
    const uint16_t offset = bytes::be16(&payload[4]);
    const uint16_t count = bytes::be16(&payload[6]);
    if (payload.size() < 8u + count) return {kStatusData, {0x02}};
    auto& data = seems_[{seem, record}];
    if (data.size() < size_t(offset) + count) data.resize(size_t(offset) + count, 0);
    std::copy_n(payload.begin() + 8, count, data.begin() + offset);
    return {kStatusData, {0x00}};
}

void PhoneModel::setSeem(uint16_t seem, uint16_t record, std::vector<uint8_t> data) {
    std::lock_guard lock(mutex_);
    seems_[{seem, record}] = std::move(data);
}

bool PhoneModel::hasSeem(uint16_t seem, uint16_t record) const {
    std::lock_guard lock(mutex_);
    return seems_.count({seem, record}) != 0;
}

std::vector<uint8_t> PhoneModel::seem(uint16_t seem, uint16_t record) const {
    std::lock_guard lock(mutex_);
    auto it = seems_.find({seem, record});
    return it == seems_.end() ? std::vector<uint8_t>{} : it->second;
}

size_t PhoneModel::commandCount(uint16_t command) const {
    std::lock_guard lock(mutex_);
    auto it = commandCounts_.find(command);
    return it == commandCounts_.end() ? 0 : it->second;
}

}  // namespace mdk::sim
