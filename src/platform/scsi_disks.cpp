#include "platform/scsi_disks.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/safe_file.h"

namespace mdk {
namespace fs = std::filesystem;

namespace {

// The strings of the USB device above a block device, if it sits on USB.
std::string usbStrings(const fs::path& device) {
    std::error_code ec;
    for (fs::path dir = device; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            return "usb#vid_" + firstLine(dir / "idVendor") + "&pid_" +
                   firstLine(dir / "idProduct") + " " + firstLine(dir / "manufacturer") + " " +
                   firstLine(dir / "product");
        }
    }
    return {};
}

}  // namespace

std::vector<DiskEntry> SgioScsiDisks::list() {
    std::vector<DiskEntry> disks;
    std::error_code ec;
    fs::directory_iterator it(fs::path(sysfsRoot_) / "block", ec);
    if (ec) return disks;
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("sd", 0) != 0) continue;
        const fs::path device = fs::canonical(entry.path() / "device", ec);
        if (ec) continue;
        DiskEntry disk;
        disk.identity = device.string() + " " + firstLine(device / "vendor") + " " +
                        firstLine(device / "model") + " " + usbStrings(device);
        disk.devNode = devRoot_ + "/" + name;
        disks.push_back(std::move(disk));
    }
    std::sort(disks.begin(), disks.end(),
              [](const DiskEntry& a, const DiskEntry& b) { return a.devNode < b.devNode; });
    return disks;
}

bool SgioScsiDisks::sendCommand(const DiskEntry& disk, const std::array<uint8_t, 12>& cdb,
                                uint32_t timeoutMs) {
    int fd = ::open(disk.devNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    std::array<uint8_t, 12> command = cdb;
    unsigned char sense[32] = {};
    sg_io_hdr_t io;
    std::memset(&io, 0, sizeof io);
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_NONE;  // the request moves no data
    io.cmd_len = static_cast<unsigned char>(command.size());
    io.cmdp = command.data();
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    io.timeout = timeoutMs;
    const bool ok = ::ioctl(fd, SG_IO, &io) == 0 && (io.info & SG_INFO_OK_MASK) == SG_INFO_OK;
    ::close(fd);
    return ok;
}

std::vector<DiskEntry> FakeScsiDisks::list() {
    std::lock_guard lock(mutex_);
    return disks_;
}

bool FakeScsiDisks::sendCommand(const DiskEntry& disk, const std::array<uint8_t, 12>& cdb,
                                uint32_t timeoutMs) {
    std::lock_guard lock(mutex_);
    sent_.push_back({disk.devNode, cdb, timeoutMs});
    return true;
}

void FakeScsiDisks::setDisks(std::vector<DiskEntry> disks) {
    std::lock_guard lock(mutex_);
    disks_ = std::move(disks);
}

std::vector<FakeScsiDisks::Sent> FakeScsiDisks::sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

}  // namespace mdk
