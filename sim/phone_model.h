#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "p2k/command_set.h"

#include "sim/phone_files.h"

namespace mdk::sim {

enum class PhoneKind {
    ClassicGsm,  // classic framing only, GSM identity
    P2k05Gsm,    // speaks both framings, GSM identity
    Cdma,        // classic framing, CDMA identity, pattern-form searches only
    Linux,       // a Linux phone: no Test Command interface, P2k05 over USBLAN only
};

// "classic", "p2k05", "cdma", "linux".
const char* kindName(PhoneKind kind);
std::optional<PhoneKind> kindFromName(std::string_view name);

struct SeemRecord {
    uint16_t seem = 0;
    uint16_t record = 0;
    std::vector<uint8_t> data;
};

// The phone's side of the P2k command set: its seems and its file system. The framings
// (classic, P2k05, USBLAN) are layered on top of it. Thread-safe.
class PhoneModel {
public:
    static constexpr uint16_t kIdentityGsm = 0x0117;
    static constexpr uint16_t kIdentityCdma = 0x2827;

    // A phone with its identity and probe seems and the kind's empty volumes (/a, /b, /c;
    // a Linux phone: /ezxlocal, /usr/data_resource, /mmc/mmca1).
    explicit PhoneModel(PhoneKind kind = PhoneKind::P2k05Gsm, std::string model = "V3 RAZR");

    CommandReply execute(uint16_t command, std::span<const uint8_t> payload);

    PhoneKind kind() const { return kind_; }
    const std::string& modelName() const { return model_; }

    void setSeem(uint16_t seem, uint16_t record, std::vector<uint8_t> data);
    bool hasSeem(uint16_t seem, uint16_t record) const;
    std::vector<uint8_t> seem(uint16_t seem, uint16_t record) const;
    // Every seem record, ordered by seem and record number.
    std::vector<SeemRecord> seems() const;
    // Number of commands executed, by command code.
    size_t commandCount(uint16_t command) const;
    std::map<uint16_t, size_t> commandCounts() const;
    size_t restartCount() const { return commandCount(CommandSet::kRestart); }

    // The file system. Paths are full phone paths such as "/a/mobile/picture/x.jpg".
    void addVolume(const std::string& name, uint32_t capacity);
    // Removes every volume, file and folder.
    void clearFiles();
    std::vector<VolumeInfo> volumes() const;
    bool addFile(const std::string& path, std::vector<uint8_t> bytes,
                 uint32_t attributes = kFileAttributes);
    bool addFolder(const std::string& path, uint32_t attributes = kFolderAttributes);
    // Files and folders ordered by path.
    std::vector<PhoneEntry> files() const;
    std::optional<std::vector<uint8_t>> fileBytes(const std::string& path) const;
    std::optional<uint32_t> freeSpace(const std::string& volume) const;
    // Read requests answered per file path.
    std::map<std::string, size_t> fileReadCounts() const;

    // Search answers: record stride (268 or 44), records per search-next block, folders
    // listed or not.
    void setRecordStride(uint32_t stride);
    void setRecordsPerBlock(uint32_t count);
    void setListFolders(bool on);
    SearchSettings searchSettings() const;

    // The largest records-per-block count whose block still fits a reply's 16-bit length.
    static uint32_t maxRecordsPerBlock(uint32_t stride);

private:
    CommandReply readSeem(std::span<const uint8_t> payload) const;
    CommandReply writeSeem(std::span<const uint8_t> payload);

    mutable std::mutex mutex_;
    PhoneKind kind_;
    std::string model_;
    std::map<std::pair<uint16_t, uint16_t>, std::vector<uint8_t>> seems_;
    std::map<uint16_t, size_t> commandCounts_;
    PhoneFiles files_;
};

// The identity seem record of a GSM phone (0x0117): the model as 16-bit big-endian units.
std::vector<uint8_t> gsmIdentityRecord(const std::string& model);
// The identity seem record of a CDMA phone (0x2827): 16-bit little-endian units.
std::vector<uint8_t> cdmaIdentityRecord(const std::string& model);

}  // namespace mdk::sim
