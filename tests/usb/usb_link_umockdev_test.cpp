// The libusb backend (UsbLink, and the device discovery over it) against a Motorola phone
// emulated at the usbdevfs level by umockdev, with the simulated phone answering.
//
// How: a umockdev testbed holds one Motorola device in sysfs (vendor 0x22B8, product
// 0x4901; its descriptors give a modem interface 0 and a vendor-specific interface 8 whose
// string is "Motorola Test Command") and, beside it, a device of another vendor. libusb
// enumerates them through umockdev's sysfs and udev emulation. The Motorola device's node
// /dev/bus/usb/002/003 has a custom ioctl handler (umockdev_testbed_attach_ioctl, umockdev
// 0.16 and later; Debian 12 has 0.17.16): it takes the usbdevfs requests libusb makes
// (capabilities, claim, release, submit and reap of control URBs) and answers standard
// string-descriptor requests itself and the phone's vendor requests through the simulated
// phone's driver request handler (sim::SimPhone). The handler runs on the testbed's own
// worker thread, so the test's blocking libusb calls are served while they wait.
//
// Runs under umockdev-wrapper (LD_PRELOAD of libumockdev-preload), as registered in CTest;
// started without it, every test skips and says so.
#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "core/device_test_support.h"
#include "device/detect.h"
#include "device/device_connection.h"
#include "device/discovery.h"
#include "p2k/file_transfer.h"
#include "platform/usb_link.h"
#include "sim/phone_model.h"
#include "sim/sim_phone.h"

namespace mdk::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kProductId = 0x4901;
constexpr int kTestCommandInterface = 8;
constexpr const char* kPhoneNode = "/dev/bus/usb/002/003";
constexpr uint16_t kSeem = 0x0200;

// USB string descriptor indexes of the emulated phone.
enum StringIndex : uint8_t {
    kManufacturer = 1,
    kProduct = 2,
    kSerial = 3,
    kModemName = 4,
    kTestCommandNameIndex = 5,
};

const std::map<uint8_t, std::string>& phoneStrings() {
    static const std::map<uint8_t, std::string> strings = {
        {kManufacturer, "Motorola Inc."},
        {kProduct, "Motorola Phone"},
        {kSerial, "0123456789"},
        {kModemName, "Motorola Modem"},
        {kTestCommandNameIndex, kTestCommandName},
    };
    return strings;
}

// The device, configuration, interface and endpoint descriptors, as sysfs "descriptors"
// holds them: a modem (communications class, one interrupt endpoint) on interface 0 and
// the vendor-specific Test Command interface, control transfers only, on interface 8.
Bytes phoneDescriptors(uint16_t vendor, uint16_t product) {
    Bytes d = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
    bytes::appendLe16(d, vendor);
    bytes::appendLe16(d, product);
    d.insert(d.end(), {0x00, 0x01, kManufacturer, kProduct, kSerial, 1});
    const Bytes config = {9, 2, 34, 0, 2, 1, 0, 0xC0, 50};
    const Bytes modem = {9, 4, 0, 0, 1, 0x02, 0x02, 0x01, kModemName};
    const Bytes interrupt = {7, 5, 0x81, 0x03, 16, 0, 10};
    const Bytes testCommand = {9,    4,    kTestCommandInterface, 0, 0, 0xFF,
                               0xFF, 0xFF, kTestCommandNameIndex};
    for (const Bytes* part : {&config, &modem, &interrupt, &testCommand}) {
        d.insert(d.end(), part->begin(), part->end());
    }
    return d;
}

std::string hex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// A umockdev device description of a USB device at bus 2, address devnum.
std::string deviceDescription(const std::string& name, int devnum, uint16_t vendor,
                              uint16_t product) {
    const Bytes descriptors = phoneDescriptors(vendor, product);
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/002/%03d", devnum);
    char ids[64];
    std::snprintf(ids, sizeof ids, "A: idVendor=%04x\nA: idProduct=%04x\n", vendor, product);
    return "P: /devices/pci0000:00/usb2/" + name + "\nN: " + node + "=" + hex(descriptors) +
           "\nE: DEVNAME=/dev/" + node + "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\n" + ids +
           "A: busnum=2\nA: devnum=" + std::to_string(devnum) +
           "\nA: speed=480\nA: bConfigurationValue=1\nH: descriptors=" + hex(descriptors) + "\n";
}

// The umockdev description of one interface of the phone at bus 2 (its sysfs child): the
// numbers and the interface string, and the kernel driver bound to it, if any.
std::string interfaceDescription(const std::string& device, int number, int cls, int sub,
                                 int protocol, const std::string& name, const std::string& driver) {
    char fields[200];
    std::snprintf(fields, sizeof fields,
                  "A: bInterfaceNumber=%02x\nA: bInterfaceClass=%02x\nA: bInterfaceSubClass=%02x\n"
                  "A: bInterfaceProtocol=%02x\n",
                  number, cls, sub, protocol);
    std::string text = "P: /devices/pci0000:00/usb2/" + device + "/" + device + ":1." +
                       std::to_string(number) + "\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\n" +
                       fields + "A: interface=" + name + "\n";
    if (!driver.empty()) text += "L: driver=../../../../../bus/usb/drivers/" + driver + "\n";
    return text;
}

// Reads a field of a usbdevfs structure held in a umockdev data block.
template <typename T>
T fieldAt(const UMockdevIoctlData* data, size_t offset) {
    T value{};
    std::memcpy(&value, data->data + offset, sizeof value);
    return value;
}

template <typename T>
void setField(UMockdevIoctlData* data, size_t offset, T value) {
    std::memcpy(data->data + offset, &value, sizeof value);
}

// The usbdevfs side of the emulated phone: what libusb asks of /dev/bus/usb/002/003.
class UsbdevfsPhone {
public:
    explicit UsbdevfsPhone(sim::SimPhone& phone) : phone_(phone) {}
    ~UsbdevfsPhone() {
        for (UMockdevIoctlData* urb : completed_) g_object_unref(urb);
    }

    // The umockdev "handle-ioctl" signal.
    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        static_cast<UsbdevfsPhone*>(self)->handle(client);
        return TRUE;
    }

    std::set<int> claimed() const {
        std::lock_guard lock(mutex_);
        return claimed_;
    }
    int releases() const {
        std::lock_guard lock(mutex_);
        return releases_;
    }
    // Every control setup packet with its data stage, as the phone received it.
    std::vector<Bytes> controlTransfers() const {
        std::lock_guard lock(mutex_);
        return transfers_;
    }
    // From now on every transfer fails as the kernel fails it for a device that is gone.
    void unplug() {
        std::lock_guard lock(mutex_);
        unplugged_ = true;
    }
    std::vector<unsigned long> unknownRequests() const {
        std::lock_guard lock(mutex_);
        return unknown_;
    }

private:
    void handle(UMockdevIoctlClient* client) {
        std::lock_guard lock(mutex_);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        // The argument is the caller's pointer; what it points to is resolved from it.
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        switch (request) {
            case USBDEVFS_GET_CAPABILITIES:
                if (auto* caps = pointee(arg, sizeof(uint32_t))) setField<uint32_t>(caps, 0, 0);
                return complete(client, 0);
            case USBDEVFS_CLAIMINTERFACE:
                if (auto* number = pointee(arg, sizeof(int))) {
                    claimed_.insert(fieldAt<int>(number, 0));
                }
                return complete(client, 0);
            case USBDEVFS_RELEASEINTERFACE:
                if (auto* number = pointee(arg, sizeof(int))) {
                    claimed_.erase(fieldAt<int>(number, 0));
                }
                ++releases_;
                return complete(client, 0);
            case USBDEVFS_DISCONNECT_CLAIM:  // libusb's auto-detach: detach, then claim
                if (auto* claim = pointee(arg, sizeof(usbdevfs_disconnect_claim))) {
                    claimed_.insert(fieldAt<int>(claim, 0));
                }
                return complete(client, 0);
            case USBDEVFS_GETDRIVER:  // no kernel driver is bound to any interface
            case USBDEVFS_IOCTL:      // so none can be disconnected either
                return complete(client, ENODATA);
            case USBDEVFS_SUBMITURB:
                return complete(client, submit(pointee(arg, sizeof(usbdevfs_urb))));
            case USBDEVFS_REAPURB:
            case USBDEVFS_REAPURBNDELAY:
                return complete(client, reap(pointee(arg, sizeof(void*))));
            default:
                unknown_.push_back(request);
                return complete(client, ENOTTY);
        }
    }

    static UMockdevIoctlData* pointee(UMockdevIoctlData* arg, size_t length) {
        GError* error = nullptr;
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, length, &error);
        g_clear_error(&error);
        return data;
    }

    static void complete(UMockdevIoctlClient* client, int error) {
        umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
    }

    // A control URB is answered at once and waits in completed_ to be reaped. Returns the
    // ioctl's errno, 0 when submitted.
    int submit(UMockdevIoctlData* urb) {
        if (unplugged_) return ENODEV;
        if (!urb) return EFAULT;
        const auto type = fieldAt<uint8_t>(urb, offsetof(usbdevfs_urb, type));
        const auto length = fieldAt<int>(urb, offsetof(usbdevfs_urb, buffer_length));
        if (type != USBDEVFS_URB_TYPE_CONTROL || length < 8) {
            unknown_.push_back(USBDEVFS_SUBMITURB);
            return EINVAL;
        }
        GError* error = nullptr;
        UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
            urb, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(length), &error);
        g_clear_error(&error);
        if (!buffer) return EFAULT;
        int actual = 0;
        const int status = control(buffer->data, static_cast<size_t>(length), actual);
        setField<int>(urb, offsetof(usbdevfs_urb, status), status);
        setField<int>(urb, offsetof(usbdevfs_urb, actual_length), actual);
        completed_.push_back(static_cast<UMockdevIoctlData*>(g_object_ref(urb)));
        return 0;
    }

    // Hands the oldest answered URB back: the caller's pointer is set to it.
    int reap(UMockdevIoctlData* slot) {
        if (!slot) return EFAULT;
        if (completed_.empty()) return EAGAIN;
        UMockdevIoctlData* urb = completed_.front();
        completed_.pop_front();
        // The URB's fields and data went back to the caller when it was submitted; the
        // reap only tells the caller which URB finished.
        setField<uint64_t>(slot, 0, urb->client_addr);
        g_object_unref(urb);
        return 0;
    }

    // One control transfer: buffer holds the setup packet, then the data stage. Returns the
    // URB status (0, or -EPIPE for a stall) and sets actual to the data stage's length.
    int control(uint8_t* buffer, size_t length, int& actual) {
        const uint8_t requestType = buffer[0];
        const uint8_t request = buffer[1];
        const uint16_t value = bytes::le16(buffer + 2);
        const uint16_t wanted = bytes::le16(buffer + 6);
        const size_t room = std::min<size_t>(wanted, length - 8);
        transfers_.emplace_back(buffer, buffer + 8 + ((requestType & 0x80) ? 0 : room));
        if (requestType == 0x80 && request == 6 && (value >> 8) == 3) {
            return stringDescriptor(value & 0xFF, buffer + 8, room, actual);
        }
        if ((requestType & 0x60) != 0x40) return -EPIPE;  // only vendor requests go on
        // To the phone as the driver's control-transfer request: setup, then data stage.
        const Bytes input(buffer, buffer + 8 + ((requestType & 0x80) ? 0 : room));
        Bytes output;
        const size_t capacity = (requestType & 0x80) ? 4 + room : 5;
        if (phone_.handle(kRequestControlTransfer, input, capacity, output) !=
            DriverStatus::Completed) {
            return -EPIPE;
        }
        if (!(requestType & 0x80)) {
            actual = static_cast<int>(room);
            return 0;
        }
        // Phone to host: the driver's 4-byte prefix is not on the wire.
        const size_t data = output.size() > 4 ? std::min(output.size() - 4, room) : 0;
        if (data > 0) std::memcpy(buffer + 8, output.data() + 4, data);
        actual = static_cast<int>(data);
        return 0;
    }

    static int stringDescriptor(uint8_t index, uint8_t* out, size_t room, int& actual) {
        Bytes d;
        if (index == 0) {
            d = {4, 3, 0x09, 0x04};  // US English only
        } else {
            const auto found = phoneStrings().find(index);
            if (found == phoneStrings().end()) return -EPIPE;
            d = {static_cast<uint8_t>(2 + 2 * found->second.size()), 3};
            for (char c : found->second) bytes::appendLe16(d, static_cast<uint8_t>(c));
        }
        const size_t n = std::min(d.size(), room);
        std::memcpy(out, d.data(), n);
        actual = static_cast<int>(n);
        return 0;
    }

    sim::SimPhone& phone_;
    mutable std::mutex mutex_;
    std::set<int> claimed_;
    int releases_ = 0;
    bool unplugged_ = false;
    std::vector<Bytes> transfers_;
    std::vector<unsigned long> unknown_;
    std::deque<UMockdevIoctlData*> completed_;
};

bool underUmockdev() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload") != nullptr;
}

// The testbed with the phone and a device of another vendor, the phone's usbdevfs handler
// attached, and a program context over the real libusb interface source.
class UmockdevPhone : public ::testing::Test {
protected:
    void SetUp() override {
        if (!underUmockdev()) {
            GTEST_SKIP() << "not under umockdev-wrapper (LD_PRELOAD of libumockdev-preload); "
                            "run through ctest or: umockdev-wrapper "
                         << ::testing::internal::GetArgvs().front();
        }
        bed_ = umockdev_testbed_new();
        GError* error = nullptr;
        // The phone's interfaces as sysfs children: the modem bound to cdc_acm, the Test
        // Command interface without a driver (what detect reads).
        const std::string devices =
            deviceDescription("2-1", 3, kMotorolaVendorId, kProductId) + "\n" +
            interfaceDescription("2-1", 0, 0x02, 0x02, 0x01, "Motorola Modem", "cdc_acm") + "\n" +
            interfaceDescription("2-1", kTestCommandInterface, 0xFF, 0xFF, 0xFF, kTestCommandName,
                                 "") +
            "\n" + deviceDescription("2-2", 4, 0x1234, 0x5678);
        ASSERT_TRUE(umockdev_testbed_add_from_string(bed_, devices.c_str(), &error))
            << (error ? error->message : "");
        handler_ = umockdev_ioctl_base_new();
        g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(UsbdevfsPhone::onIoctl), &usbdevfs);
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(bed_, kPhoneNode, handler_, &error))
            << (error ? error->message : "");
        model.addFile("/a/mobile/picture.gif", pattern(5000));
        model.setSeem(kSeem, 1, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    }
    void TearDown() override {
        f.context.driver.clearLink();
        if (bed_ && handler_) umockdev_testbed_detach_ioctl(bed_, kPhoneNode, nullptr);
        if (handler_) g_object_unref(handler_);
        if (bed_) g_object_unref(bed_);
    }

    std::string logText() const {
        std::string text;
        for (const std::string& line : f.log.lines()) text += "\n  " + line;
        return text;
    }

    // One attach pass with the real libusb link as the source of Test Command interfaces.
    void attachOverUsb() {
        DevicePlatform fakes = f.fakes.services();
        DevicePlatform platform{fakes.serialMap, fakes.serialPorts, fakes.disks,
                                interfaces,      fakes.network,     fakes.commands};
        ASSERT_EQ(f.device(platform).attachOnce(), 0) << interfaces.lastError() << logText();
    }

    static Bytes pattern(size_t n) {
        Bytes data(n);
        for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
        return data;
    }

    sim::PhoneModel model{sim::PhoneKind::ClassicGsm};
    sim::SimPhone phone{model};
    UsbdevfsPhone usbdevfs{phone};
    DeviceFixture f;
    LinkAddressInterfaceSource interfaces{"usb"};

private:
    UMockdevTestbed* bed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
};

TEST_F(UmockdevPhone, FindsTheMotorolaInterfacesByVendorAndTellsThemByName) {
    std::string error;
    auto links = UsbLink::openAll(error);
    ASSERT_EQ(links.size(), 2u) << error;  // the other vendor's device is not looked at
    EXPECT_EQ(links[0]->interfaceString(), "Motorola Modem");
    EXPECT_EQ(links[1]->interfaceString(), kTestCommandName);
    const std::string path = links[1]->devicePath();
    EXPECT_EQ(path.substr(0, 31), "\\\\?\\usb#vid_22b8&pid_4901&mi_08");
    EXPECT_EQ(path[kInterfaceDigitPosition], '8');
    EXPECT_TRUE(usbdevfs.claimed().empty());  // reading names claims nothing
    links.clear();

    auto first = UsbLink::openFirst(error);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(first->devicePath(), path);
    std::vector<uint8_t> name;
    ASSERT_EQ(first->request(kRequestInterfaceName, Bytes{2, 1}, 261, name, 1000),
              DriverStatus::Completed);
    Bytes expected;
    phone.handle(kRequestInterfaceName, Bytes{2, 1}, 261, expected);
    EXPECT_EQ(name, expected);
}

TEST_F(UmockdevPhone, AttachesExchangesAndDownloadsOverTheTestCommandInterfaceOnly) {
    ASSERT_NO_FATAL_FAILURE(attachOverUsb());
    ASSERT_TRUE(f.context.driver.link());
    EXPECT_EQ(f.state().interfaceDetail[kInterfaceDigitPosition], '8');
    EXPECT_EQ(f.context.transport.usbInterfaceIndex(), kTestCommandInterface);

    // One classic exchange (a seem read), then a download (open, seek, read, close), each
    // reply byte for byte.
    const size_t before = usbdevfs.controlTransfers().size();
    f.context.transport.setP2k05Active(false);
    std::vector<uint8_t> record;
    ASSERT_EQ(f.context.commands.phoneReadSeem(kSeem, 1, 0, 16, record), 0)
        << f.context.transport.failureText() << logText();
    EXPECT_EQ(record, (Bytes{0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    auto data = downloadPhoneFile(f.context.commands, "/a/mobile/picture.gif", 0x0004, 5000);
    ASSERT_TRUE(data) << f.context.transport.failureText();
    EXPECT_EQ(*data, pattern(5000));
    EXPECT_EQ(usbdevfs.claimed(), std::set<int>{kTestCommandInterface});

    // Every vendor request went to interface 8: a send (0x41, request 2), polls and
    // fetches (0xC1, requests 0 and 1), each with wIndex 8.
    const auto transfers = usbdevfs.controlTransfers();
    ASSERT_GT(transfers.size(), before);
    std::set<std::pair<uint8_t, uint8_t>> kinds;
    for (size_t i = before; i < transfers.size(); ++i) {
        const Bytes& setup = transfers[i];
        kinds.insert({setup[0], setup[1]});
        EXPECT_EQ(bytes::le16(&setup[4]), kTestCommandInterface);
    }
    EXPECT_EQ(kinds, (std::set<std::pair<uint8_t, uint8_t>>{{0x41, 2}, {0xC1, 0}, {0xC1, 1}}));
    EXPECT_TRUE(usbdevfs.unknownRequests().empty());

    f.context.driver.clearLink();  // closing gives the interface back
    EXPECT_TRUE(usbdevfs.claimed().empty());
    EXPECT_GE(usbdevfs.releases(), 1);
}

TEST_F(UmockdevPhone, UnpluggedPhoneTakesTheLinkDownWithTheRightReason) {
    ASSERT_NO_FATAL_FAILURE(attachOverUsb());
    std::shared_ptr<DriverLink> link = f.context.driver.link();
    ASSERT_TRUE(link);
    usbdevfs.unplug();
    f.context.transport.clearFailure();
    std::vector<uint8_t> record;
    EXPECT_EQ(f.context.commands.phoneReadSeem(kSeem, 1, 0, 16, record), -1);
    EXPECT_FALSE(link->isOpen());
    EXPECT_EQ(f.context.transport.failure().kind, FailureKind::LinkLost)
        << f.context.transport.failureText();
}

// detect over the emulated phone: sysfs shows the device with its interfaces, the probe
// reaches the phone through the Test Command interface, and nothing is written to it.
TEST_F(UmockdevPhone, DetectFindsTheInterfacesProbesAndWritesNothing) {
    DetectReport report;
    report.session = sessionFrom(currentUser(), std::getenv);
    gatherDetect(UsbSysfs("/"), {}, report);
    ASSERT_TRUE(report.usbBus);
    ASSERT_EQ(report.devices.size(), 1u) << detectText(report);  // not the other vendor's
    const DeviceReport& device = report.devices[0];
    EXPECT_EQ(device.usb.product, kProductId);
    EXPECT_EQ(device.mode, PhoneMode::P2k);
    EXPECT_EQ(device.node.path, kPhoneNode);
    ASSERT_EQ(device.usb.interfaces.size(), 2u) << detectText(report);
    EXPECT_EQ(device.usb.interfaces[0].name, "Motorola Modem");
    EXPECT_EQ(device.usb.interfaces[0].driver, "cdc_acm");
    EXPECT_EQ(device.usb.interfaces[1].number, kTestCommandInterface);
    EXPECT_EQ(device.usb.interfaces[1].interfaceClass, 0xFF);
    EXPECT_EQ(device.usb.interfaces[1].name, kTestCommandName);
    EXPECT_EQ(device.usb.interfaces[1].driver, "");

    const auto filesBefore = model.files();
    const auto seemsBefore = model.seems();
    std::string error;
    std::shared_ptr<DriverLink> link = UsbLink::openFirst(error);
    ASSERT_TRUE(link) << error;
    f.context.driver.setLink(link);
    report.probe = probePhone(f.context.driver, f.context.transport, f.context.commands);
    report.probe.address = "usb";
    ASSERT_TRUE(report.probe.reached) << report.probe.note << logText();
    EXPECT_EQ(report.probe.model, model.modelName());
    EXPECT_FALSE(report.probe.volumes.empty());
    concludeDetect(report);
    EXPECT_EQ(report.state, DetectState::Ready);
    const std::string text = detectText(report);
    EXPECT_EQ(text.substr(text.size() - 6), "ready\n");

    // Only seem reads (0x20) and file-system queries (0x4A: volumes, free space) reached
    // the phone; its files and seems are as they were, and nothing but the Test Command
    // interface was claimed.
    for (const auto& [command, count] : model.commandCounts()) {
        EXPECT_TRUE(command == 0x20 || command == 0x4A) << "command " << command;
    }
    EXPECT_EQ(model.files().size(), filesBefore.size());
    EXPECT_EQ(model.seems().size(), seemsBefore.size());
    EXPECT_EQ(usbdevfs.claimed(), std::set<int>{kTestCommandInterface});
    EXPECT_TRUE(usbdevfs.unknownRequests().empty());
}

}  // namespace
}  // namespace mdk::test
