#include "platform/serial_ports.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/safe_file.h"

namespace mdk {
namespace fs = std::filesystem;

namespace {

constexpr const char* kMotorolaVendorText = "22b8";

struct TtyInfo {
    std::string prefix;
    unsigned number = 0;
    std::string name;
};

// "ttyACM12" -> prefix "ttyACM", number 12; false for names without a trailing number.
bool splitTtyName(const std::string& name, TtyInfo& info) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    if (digits == name.size() || name.size() - digits > 6) return false;
    info.prefix = name.substr(0, digits);
    info.number = static_cast<unsigned>(std::stoul(name.substr(digits)));
    info.name = name;
    return true;
}

// The USB device directory above a sysfs device (the first ancestor holding idVendor).
std::optional<fs::path> usbDeviceOf(const fs::path& device, const fs::path& root) {
    std::error_code ec;
    for (fs::path dir = device; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) return dir;
        if (dir == root) break;
    }
    return std::nullopt;
}

std::string driverName(const fs::path& device) {
    std::error_code ec;
    fs::path target = fs::read_symlink(device / "driver", ec);
    return ec ? std::string() : target.filename().string();
}

}  // namespace

std::optional<std::vector<SerialMapEntry>> SysfsSerialPortMap::entries() {
    std::error_code ec;
    const fs::path ttyClass = fs::path(sysfsRoot_) / "class" / "tty";
    fs::directory_iterator it(ttyClass, ec);
    if (ec) return std::nullopt;
    std::vector<TtyInfo> ttys;
    for (const auto& entry : it) {
        TtyInfo info;
        if (splitTtyName(entry.path().filename().string(), info)) ttys.push_back(info);
    }
    std::sort(ttys.begin(), ttys.end(), [](const TtyInfo& a, const TtyInfo& b) {
        return a.prefix != b.prefix ? a.prefix < b.prefix : a.number < b.number;
    });
    std::vector<SerialMapEntry> map;
    for (const TtyInfo& tty : ttys) {
        const fs::path link = ttyClass / tty.name / "device";
        fs::path device = fs::canonical(link, ec);
        if (ec) continue;
        auto usb = usbDeviceOf(device, fs::path(sysfsRoot_));
        if (!usb) continue;  // not a USB serial port
        const bool motorola = firstLine(*usb / "idVendor") == kMotorolaVendorText;
        const bool acm = tty.prefix == "ttyACM" && driverName(device) == "cdc_acm";
        SerialMapEntry value;
        char name[40];
        if (motorola && acm) {
            std::snprintf(name, sizeof name, "\\Device\\USBSER%03u", tty.number % 1000);
        } else {
            std::snprintf(name, sizeof name, "\\Device\\USBPDO-%u", tty.number);
        }
        value.name = name;
        value.data = "COM" + std::to_string(tty.number + 1);
        value.devNode = devRoot_ + "/" + tty.name;
        map.push_back(std::move(value));
    }
    return map;
}

std::optional<std::vector<SerialMapEntry>> FakeSerialPortMap::entries() {
    std::lock_guard lock(mutex_);
    return entries_;
}

void FakeSerialPortMap::set(std::optional<std::vector<SerialMapEntry>> entries) {
    std::lock_guard lock(mutex_);
    entries_ = std::move(entries);
}

std::string TermiosSerialPorts::resolve(const std::string& port) {
    if (port.rfind("/", 0) == 0) return port;
    auto map = map_.entries();
    if (!map) return {};
    for (const SerialMapEntry& value : *map) {
        if (value.data == port) return value.devNode;
    }
    return {};
}

bool TermiosSerialPorts::writeCommand(const std::string& port, std::span<const uint8_t> bytes,
                                      std::string& error) {
    const std::string node = resolve(port);
    if (node.empty()) {
        error = "no such serial port: " + port;
        return false;
    }
    int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + node + ": " + std::strerror(errno);
        return false;
    }
    termios settings;
    bool ok = ::tcgetattr(fd, &settings) == 0;
    if (ok) {
        ::cfsetispeed(&settings, B115200);
        ::cfsetospeed(&settings, B115200);
        settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
        settings.c_cflag |= CS8;
        // A Windows COM port sends bytes as written: no output post-processing (which
        // would turn the LF of "at+mode=8" CR LF into CR LF).
        settings.c_oflag &= ~OPOST;
        ok = ::tcsetattr(fd, TCSANOW, &settings) == 0;
    }
    if (!ok) error = "cannot set up " + node + ": " + std::strerror(errno);
    if (ok && !writeAll(fd, bytes)) {
        error = "cannot write to " + node + ": " + std::strerror(errno);
        ok = false;
    }
    ::close(fd);
    return ok;
}

bool FakeSerialPorts::writeCommand(const std::string& port, std::span<const uint8_t> bytes,
                                   std::string& error) {
    std::lock_guard lock(mutex_);
    if (std::find(failing_.begin(), failing_.end(), port) != failing_.end()) {
        error = "cannot open " + port;
        return false;
    }
    writes_.push_back({port, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    return true;
}

void FakeSerialPorts::failPort(const std::string& port) {
    std::lock_guard lock(mutex_);
    failing_.push_back(port);
}

std::vector<FakeSerialPorts::Write> FakeSerialPorts::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

}  // namespace mdk
