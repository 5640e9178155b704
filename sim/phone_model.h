#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace mdk::sim {

// Classic reply status values (the high nibble of the status byte).
inline constexpr uint8_t kStatusData = 8;
inline constexpr uint8_t kStatusNoData = 6;

// What the phone answers to one P2k command.
struct CommandReply {
    uint8_t status = kStatusData;
    std::vector<uint8_t> data;
};

enum class PhoneKind {
    ClassicGsm,  // classic framing only, GSM identity
    P2k05Gsm,    // speaks both framings, GSM identity
    Cdma,        // classic framing, CDMA identity
};

// The phone's side of the P2k command set: its seems and (later) its file system. The
// framings (classic, P2k05, USBLAN) are layered on top of it. Thread-safe.
class PhoneModel {
public:
    explicit PhoneModel(PhoneKind kind = PhoneKind::P2k05Gsm, std::string model = "V3 RAZR");

    CommandReply execute(uint16_t command, std::span<const uint8_t> payload);

    PhoneKind kind() const { return kind_; }
    const std::string& modelName() const { return model_; }

    void setSeem(uint16_t seem, uint16_t record, std::vector<uint8_t> data);
    bool hasSeem(uint16_t seem, uint16_t record) const;
    std::vector<uint8_t> seem(uint16_t seem, uint16_t record) const;
    // Number of commands executed, by command code.
    size_t commandCount(uint16_t command) const;

protected:
    CommandReply readSeem(std::span<const uint8_t> payload);
    CommandReply writeSeem(std::span<const uint8_t> payload);

    mutable std::mutex mutex_;
    PhoneKind kind_;
    std::string model_;
    std::map<std::pair<uint16_t, uint16_t>, std::vector<uint8_t>> seems_;
    std::map<uint16_t, size_t> commandCounts_;
};

// The identity seem record of a GSM phone (0x0117): the model as 16-bit big-endian units.
std::vector<uint8_t> gsmIdentityRecord(const std::string& model);
// The identity seem record of a CDMA phone (0x2827): 16-bit little-endian units.
std::vector<uint8_t> cdmaIdentityRecord(const std::string& model);

}  // namespace mdk::sim
