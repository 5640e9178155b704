#pragma once
// Payloads of the file-system command as the host lays them out, and a reader of
// search-next blocks, for the simulated phone's tests.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "sim/phone_model.h"

namespace simtest {

inline std::vector<uint8_t> fsPayload(uint32_t sub, const std::vector<uint8_t>& args = {}) {
    std::vector<uint8_t> payload;
    mdk::bytes::appendBe32(payload, sub);
    payload.insert(payload.end(), args.begin(), args.end());
    return payload;
}

inline std::vector<uint8_t> valueAndName(uint32_t value, const std::string& name) {
    std::vector<uint8_t> args;
    mdk::bytes::appendBe32(args, value);
    args.insert(args.end(), name.begin(), name.end());
    return args;
}

inline std::vector<uint8_t> openFile(const std::string& path, uint32_t value = 4) {
    return fsPayload(0, valueAndName(value, path));
}
inline std::vector<uint8_t> readFile(uint32_t count) {
    std::vector<uint8_t> args;
    mdk::bytes::appendBe32(args, count);
    return fsPayload(1, args);
}
inline std::vector<uint8_t> writeFile(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> args;
    mdk::bytes::appendBe32(args, static_cast<uint32_t>(data.size()));
    args.insert(args.end(), data.begin(), data.end());
    return fsPayload(2, args);
}
inline std::vector<uint8_t> seekFile(uint32_t offset, uint8_t origin) {
    std::vector<uint8_t> args;
    mdk::bytes::appendBe32(args, offset);
    args.push_back(origin);
    return fsPayload(3, args);
}
inline std::vector<uint8_t> closeFile() {
    return fsPayload(4);
}
inline std::vector<uint8_t> deleteFile(const std::string& path) {
    return fsPayload(5, {path.begin(), path.end()});
}
inline std::vector<uint8_t> createFolder(const std::string& path) {
    return fsPayload(14, valueAndName(4, path));
}
inline std::vector<uint8_t> removeFolder(const std::string& path) {
    return fsPayload(15, valueAndName(4, path));
}
// Pattern form: the text as 16-bit big-endian units, then a zero unit.
inline std::vector<uint8_t> searchPattern(const std::string& pattern) {
    std::vector<uint8_t> args;
    for (char c : pattern) mdk::bytes::appendBe16(args, static_cast<uint8_t>(c));
    mdk::bytes::appendBe16(args, 0);
    return fsPayload(7, args);
}
inline std::vector<uint8_t> searchPlain() {
    return fsPayload(7);
}
// Volume form: 256 bytes, "/", letter, "/", 0xFFFE, "*" as units at bytes 4 to 13.
inline std::vector<uint8_t> searchVolume(char letter) {
    std::vector<uint8_t> payload = fsPayload(
        7, {0x00, 0x2F, 0x00, static_cast<uint8_t>(letter), 0x00, 0x2F, 0xFF, 0xFE, 0x00, 0x2A});
    payload.resize(256, 0);
    return payload;
}
inline std::vector<uint8_t> searchNext() {
    return fsPayload(8);
}
inline std::vector<uint8_t> listVolumes() {
    return fsPayload(10);
}
inline std::vector<uint8_t> freeSpace(char letter) {
    return fsPayload(11, {0x00, 0x06, 0x00, 0x2F, 0x00, static_cast<uint8_t>(letter), 0x00, 0x00});
}

inline mdk::sim::CommandReply fs(mdk::sim::PhoneModel& model, const std::vector<uint8_t>& payload) {
    return model.execute(0x4A, payload);
}

struct Record {
    std::string path;
    uint32_t attributes = 0;  // the attribute field read little-endian
    uint32_t size = 0;        // the size field read big-endian
};

// Reads one search-next block: its count, then count records of stride bytes. The block
// must be exactly as long as its count says.
inline bool parseBlock(const std::vector<uint8_t>& block, uint32_t stride,
                       std::vector<Record>& records) {
    if (block.size() < 4) return false;
    const uint16_t count = mdk::bytes::be16(block.data());
    if (block.size() != 4 + size_t(count) * stride) return false;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* record = block.data() + 4 + size_t(i) * stride;
        Record r;
        for (size_t k = 0; k < stride - 8 && record[k] != 0; ++k) r.path.push_back(char(record[k]));
        r.attributes = mdk::bytes::le32(record + stride - 8);
        r.size = mdk::bytes::be32(record + stride - 4);
        records.push_back(r);
    }
    return true;
}

// Runs search next until a block with count 0; the blocks' sizes go to blockCounts.
inline std::vector<Record> readAllBlocks(mdk::sim::PhoneModel& model, uint32_t stride,
                                         std::vector<size_t>* blockCounts = nullptr) {
    std::vector<Record> records;
    for (int guard = 0; guard < 100000; ++guard) {
        const mdk::sim::CommandReply reply = fs(model, searchNext());
        const size_t before = records.size();
        if (reply.status != mdk::sim::kStatusData || !parseBlock(reply.data, stride, records)) {
            ADD_FAILURE() << "malformed search-next block";
            break;
        }
        if (records.size() == before) break;
        if (blockCounts) blockCounts->push_back(records.size() - before);
    }
    return records;
}

}  // namespace simtest
