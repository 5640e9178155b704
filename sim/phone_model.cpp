#include "sim/phone_model.h"

#include <algorithm>

#include "base/bytes.h"

namespace mdk::sim {
namespace {

constexpr uint32_t kMiB = 1024 * 1024;

void addKindVolumes(PhoneFiles& files, PhoneKind kind) {
    if (kind == PhoneKind::Linux) {
        files.addVolume("/ezxlocal", 32 * kMiB);
        files.addVolume("/usr/data_resource", 16 * kMiB);
        files.addVolume("/mmc/mmca1", 256 * kMiB);
        return;
    }
    files.addVolume("/a", 8 * kMiB);
    files.addVolume("/b", 64 * kMiB);
    files.addVolume("/c", 4 * kMiB);
}

}  // namespace

const char* kindName(PhoneKind kind) {
    switch (kind) {
        case PhoneKind::ClassicGsm:
            return "classic";
        case PhoneKind::P2k05Gsm:
            return "p2k05";
        case PhoneKind::Cdma:
            return "cdma";
        case PhoneKind::Linux:
            return "linux";
    }
    return "?";
}

std::optional<PhoneKind> kindFromName(std::string_view name) {
    for (PhoneKind kind :
         {PhoneKind::ClassicGsm, PhoneKind::P2k05Gsm, PhoneKind::Cdma, PhoneKind::Linux}) {
        if (name == kindName(kind)) return kind;
    }
    return std::nullopt;
}

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

PhoneModel::PhoneModel(PhoneKind kind, std::string model) : kind_(kind), model_(std::move(model)) {
    // Seem 4 record 1: the probe reads its bytes 3 to 6; non-zero means a GSM phone.
    std::vector<uint8_t> seem4 = {0x01, 0x02, 0x03, 0x10, 0x20, 0x30, 0x40, 0x05};
    if (kind_ == PhoneKind::Cdma) std::fill(seem4.begin() + 3, seem4.begin() + 7, 0);
    seems_[{4, 1}] = seem4;
    if (kind_ == PhoneKind::Cdma) {
        seems_[{kIdentityCdma, 1}] = cdmaIdentityRecord(model_);
    } else {
        seems_[{kIdentityGsm, 1}] = gsmIdentityRecord(model_);
    }
    addKindVolumes(files_, kind_);
    SearchSettings& settings = files_.settings();
    settings.patternFormOnly = kind_ == PhoneKind::Cdma;
    settings.swappedAttributes = kind_ == PhoneKind::Linux;
    settings.freeSpaceOfAnyLetter = kind_ == PhoneKind::Linux;
    if (kind_ == PhoneKind::Linux) settings.unsearchedFolder = "/ezxlocal/sysDatabase/";
}

CommandReply PhoneModel::execute(uint16_t command, std::span<const uint8_t> payload) {
    std::lock_guard lock(mutex_);
    ++commandCounts_[command];
    switch (command) {
        case CommandSet::kReadSeem:
            return readSeem(payload);
        case CommandSet::kWriteSeem:
            return writeSeem(payload);
        case CommandSet::kFileSystem:
            return files_.execute(payload);
        case CommandSet::kRestart:
            files_.reset();
            return {kStatusNoData, {}};
        case CommandSet::kSessionStep1:
        case CommandSet::kSessionStep2:
            return {kStatusNoData, {}};
        default:
            return {kStatusRefused, {}};
    }
}

CommandReply PhoneModel::readSeem(std::span<const uint8_t> payload) const {
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
    // As a phone does: a read reaching past the record's end brings only the bytes it has.
    size_t end = count == 0 ? data.size() : std::min<size_t>(data.size(), begin + count);
    reply.data.insert(reply.data.end(), data.begin() + begin, data.begin() + end);
    return reply;
}

CommandReply PhoneModel::writeSeem(std::span<const uint8_t> payload) {
    if (payload.size() < 8) return {kStatusRefused, {}};
    const uint16_t seem = bytes::be16(&payload[0]);
    const uint16_t record = bytes::be16(&payload[2]);
    const uint16_t offset = bytes::be16(&payload[4]);
    const uint16_t count = bytes::be16(&payload[6]);
    if (payload.size() < 8u + count) return {kStatusData, {0x02}};
    // As a phone does: records are neither made nor lengthened by a write.
    auto it = seems_.find({seem, record});
    if (it == seems_.end()) return {kStatusData, {0x01}};
    auto& data = it->second;
    if (data.size() < size_t(offset) + count) return {kStatusData, {0x03}};
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

std::vector<SeemRecord> PhoneModel::seems() const {
    std::lock_guard lock(mutex_);
    std::vector<SeemRecord> list;
    for (const auto& [key, data] : seems_) list.push_back({key.first, key.second, data});
    return list;
}

size_t PhoneModel::commandCount(uint16_t command) const {
    std::lock_guard lock(mutex_);
    auto it = commandCounts_.find(command);
    return it == commandCounts_.end() ? 0 : it->second;
}

std::map<uint16_t, size_t> PhoneModel::commandCounts() const {
    std::lock_guard lock(mutex_);
    return commandCounts_;
}

void PhoneModel::addVolume(const std::string& name, uint32_t capacity) {
    std::lock_guard lock(mutex_);
    files_.addVolume(name, capacity);
}

void PhoneModel::clearFiles() {
    std::lock_guard lock(mutex_);
    files_.clear();
}

std::vector<VolumeInfo> PhoneModel::volumes() const {
    std::lock_guard lock(mutex_);
    return files_.volumes();
}

bool PhoneModel::addFile(const std::string& path, std::vector<uint8_t> bytes, uint32_t attributes) {
    std::lock_guard lock(mutex_);
    return files_.addFile(path, std::move(bytes), attributes);
}

bool PhoneModel::addFolder(const std::string& path, uint32_t attributes) {
    std::lock_guard lock(mutex_);
    return files_.addFolder(path, attributes);
}

std::vector<PhoneEntry> PhoneModel::files() const {
    std::lock_guard lock(mutex_);
    return files_.entries();
}

std::map<std::string, size_t> PhoneModel::fileReadCounts() const {
    std::lock_guard lock(mutex_);
    return files_.readCounts();
}

std::optional<std::vector<uint8_t>> PhoneModel::fileBytes(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return files_.fileBytes(path);
}

std::optional<uint32_t> PhoneModel::freeSpace(const std::string& volume) const {
    std::lock_guard lock(mutex_);
    return files_.freeSpace(volume);
}

uint32_t PhoneModel::maxRecordsPerBlock(uint32_t stride) {
    // The classic reply carries 8 + data length in 16 bits; a block has a 4-byte header.
    constexpr uint32_t kMaxBlock = 0xFFFF - 8 - 4;
    return stride == 0 ? 0 : kMaxBlock / stride;
}

void PhoneModel::setRecordStride(uint32_t stride) {
    std::lock_guard lock(mutex_);
    SearchSettings& settings = files_.settings();
    if (stride < 12 || stride > 4096) return;  // no room for a path, or past a reply
    settings.stride = stride;
    settings.recordsPerBlock = std::min(settings.recordsPerBlock, maxRecordsPerBlock(stride));
}

void PhoneModel::setRecordsPerBlock(uint32_t count) {
    std::lock_guard lock(mutex_);
    SearchSettings& settings = files_.settings();
    settings.recordsPerBlock = std::clamp<uint32_t>(count, 1, maxRecordsPerBlock(settings.stride));
}

void PhoneModel::setListFolders(bool on) {
    std::lock_guard lock(mutex_);
    files_.settings().listFolders = on;
}

SearchSettings PhoneModel::searchSettings() const {
    std::lock_guard lock(mutex_);
    return files_.settings();
}

}  // namespace mdk::sim
