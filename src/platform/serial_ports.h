#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mdk {

// One value of the serial-port map: its name ("\Device\USBSER000", "\Device\USBPDO-3"),
// its data (the port name "COM1") and the device node the port stands for.
struct SerialMapEntry {
    std::string name;
    std::string data;
    std::string devNode;
};

// The machine's serial-port map, presented as named values the way the modem-port rules
// read them.
class SerialPortMap {
public:
    virtual ~SerialPortMap() = default;
    // Every value of the map in enumeration order, or nullopt when the map cannot be read.
    // May touch the file system; does not block on devices.
    virtual std::optional<std::vector<SerialMapEntry>> entries() = 0;
};

// The map built from sysfs: a cdc_acm tty ttyACMn of a Motorola device (USB vendor 0x22B8)
// is "\Device\USBSER" with n in three digits, any other USB serial tty is
// "\Device\USBPDO-" with its number; the data is "COM" followed by n + 1.
class SysfsSerialPortMap final : public SerialPortMap {
public:
    explicit SysfsSerialPortMap(std::string sysfsRoot = "/sys", std::string devRoot = "/dev")
        : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}
    std::optional<std::vector<SerialMapEntry>> entries() override;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};

// A map given by the test.
class FakeSerialPortMap final : public SerialPortMap {
public:
    std::optional<std::vector<SerialMapEntry>> entries() override;
    void set(std::optional<std::vector<SerialMapEntry>> entries);

private:
    std::mutex mutex_;
    std::optional<std::vector<SerialMapEntry>> entries_ = std::vector<SerialMapEntry>{};
};

// Writes one command to a serial port: opens it, sets 115200 baud, 8 data bits, no parity,
// one stop bit and raw output (everything else stays as read), writes, closes.
class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // port: a port name of the map ("COM3") or a device path ("/dev/ttyACM0"). Blocks for
    // the write. False with error set when the port cannot be opened, set up or written.
    virtual bool writeCommand(const std::string& port, std::span<const uint8_t> bytes,
                              std::string& error) = 0;
};

// The termios implementation; "COMm" is resolved to its device node through the map.
class TermiosSerialPorts final : public SerialPorts {
public:
    explicit TermiosSerialPorts(SerialPortMap& map) : map_(map) {}
    bool writeCommand(const std::string& port, std::span<const uint8_t> bytes,
                      std::string& error) override;
    // The device node a port name stands for; empty when the map does not know it.
    std::string resolve(const std::string& port);

private:
    SerialPortMap& map_;
};

// Records every command instead of writing it; ports named in failing() refuse.
class FakeSerialPorts final : public SerialPorts {
public:
    struct Write {
        std::string port;
        std::vector<uint8_t> bytes;
    };
    bool writeCommand(const std::string& port, std::span<const uint8_t> bytes,
                      std::string& error) override;
    void failPort(const std::string& port);
    std::vector<Write> writes() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> failing_;
    std::vector<Write> writes_;
};

}  // namespace mdk
