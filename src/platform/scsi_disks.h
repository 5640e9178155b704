#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace mdk {

// A disk the system shows: its identity text (sysfs path, vendor, model and the USB
// device's strings) and the node a SCSI command goes to.
struct DiskEntry {
    std::string identity;
    std::string devNode;
};

// The present disks and the one SCSI request the program sends them.
class ScsiDisks {
public:
    virtual ~ScsiDisks() = default;
    // The present disks, in a stable order. Reads sysfs; does not open devices.
    virtual std::vector<DiskEntry> list() = 0;
    // Sends a 12-byte CDB without data with the given time-out; blocks until the device
    // answers or the time-out passes. False when the disk cannot be opened or refuses.
    virtual bool sendCommand(const DiskEntry& disk, const std::array<uint8_t, 12>& cdb,
                             uint32_t timeoutMs) = 0;
};

// SG_IO on the block nodes of /sys/block/sd*.
class SgioScsiDisks final : public ScsiDisks {
public:
    explicit SgioScsiDisks(std::string sysfsRoot = "/sys", std::string devRoot = "/dev")
        : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}
    std::vector<DiskEntry> list() override;
    bool sendCommand(const DiskEntry& disk, const std::array<uint8_t, 12>& cdb,
                     uint32_t timeoutMs) override;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};

// Disks given by the test; every command is recorded.
class FakeScsiDisks final : public ScsiDisks {
public:
    struct Sent {
        std::string devNode;
        std::array<uint8_t, 12> cdb;
        uint32_t timeoutMs;
    };
    std::vector<DiskEntry> list() override;
    bool sendCommand(const DiskEntry& disk, const std::array<uint8_t, 12>& cdb,
                     uint32_t timeoutMs) override;
    void setDisks(std::vector<DiskEntry> disks);
    std::vector<Sent> sent() const;

private:
    mutable std::mutex mutex_;
    std::vector<DiskEntry> disks_;
    std::vector<Sent> sent_;
};

}  // namespace mdk
