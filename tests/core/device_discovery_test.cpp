#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>

#include "case_names.h"
#include "device/discovery.h"
#include "device_test_support.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;

struct PortCase {
    const char* what;
    std::vector<SerialMapEntry> map;
    std::optional<std::string> port;
    bool byIndex;
};

// The case as the test list and failure messages show it.
void PrintTo(const PortCase& c, std::ostream* out) {
    *out << c.what;
}

class ModemPortRules : public ::testing::TestWithParam<PortCase> {};

TEST_P(ModemPortRules, FollowTheThreeRulesInOrder) {
    const PortCase& c = GetParam();
    bool byIndex = false;
    EXPECT_EQ(modemPortFromMap(c.map, byIndex), c.port) << c.what;
    EXPECT_EQ(byIndex, c.byIndex) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    SerialMap, ModemPortRules,
    ::testing::Values(
        PortCase{"rule 1", {{"\\Device\\USBSER000", "COM5", ""}}, "COM5", false},
        PortCase{"rule 2 alone", {{"\\Device\\USBPDO-7", "COM3", ""}}, "COM3", false},
        PortCase{"name matches, data is no COM port",
                 {{"\\Device\\USBPDO-7", "MODEM1", ""}},
                 std::nullopt,
                 false},
        PortCase{
            "lower-case data fails", {{"\\Device\\USBSER000", "com3", ""}}, std::nullopt, false},
        PortCase{"rule 1 data fails, rule 2 wins",
                 {{"\\Device\\USBSER000", "XCOM1", ""}, {"\\Device\\USBPDO-2", "COM4", ""}},
                 "COM4",
                 false},
        PortCase{"rule 1 wins over an earlier rule 2 value",
                 {{"\\Device\\USBPDO-1", "COM2", ""}, {"\\Device\\USBSER000", "COM7", ""}},
                 "COM7",
                 false},
        PortCase{"only the first USBPDO value is taken",
                 {{"\\Device\\USBPDO-1", "NOTCOM", ""}, {"\\Device\\USBPDO-2", "COM8", ""}},
                 std::nullopt,
                 false},
        PortCase{"rule 3 sets foundByIndex", {{"\\Device\\0000003a", "COM9", ""}}, "COM9", true},
        PortCase{"other ports are not modems",
                 {{"\\Device\\Serial0", "COM1", ""}, {"\\Device\\", "COM2", ""}},
                 std::nullopt,
                 false},
        PortCase{"empty map", {}, std::nullopt, false}),
    [](const testing::TestParamInfo<PortCase>& info) { return caseName(info.param.what); });

TEST(ModemPort, ConfiguredPortIsTakenWithoutReadingTheMap) {
    DeviceFixture f;
    f.fakes.serialMap.set(std::nullopt);  // the map cannot be read at all
    auto& discovery = f.device().discovery();
    EXPECT_EQ(discovery.findModemPort(), -1);
    f.context.config.useFixedComPort = 1;
    f.context.config.comPort = "COM9";
    f.context.runSettings.takeFrom(f.context.config);
    EXPECT_EQ(discovery.findModemPort(), 0);
    EXPECT_EQ(f.state().text(&LinkState::modemPort), "COM9");
}

// A small sysfs: USB devices with their vendor ids, ttys pointing at their interfaces.
class FakeSysfs {
public:
    explicit FakeSysfs(const std::string& root) : root_(root) {
        fs::create_directories(root_ + "/class/tty");
        fs::create_directories(root_ + "/bus/usb/drivers/cdc_acm");
        fs::create_directories(root_ + "/bus/usb/drivers/pl2303");
    }
    void addTty(const std::string& name, const std::string& vendor, const std::string& driver) {
        const std::string device = root_ + "/devices/usb1/1-" + name;
        const std::string interface = device + "/1-1:1.0";
        fs::create_directories(interface);
        std::ofstream(device + "/idVendor") << vendor << "\n";
        fs::create_directory_symlink(root_ + "/bus/usb/drivers/" + driver, interface + "/driver");
        fs::create_directories(root_ + "/class/tty/" + name);
        fs::create_directory_symlink(interface, root_ + "/class/tty/" + name + "/device");
    }
    void addPlainTty(const std::string& name) {
        fs::create_directories(root_ + "/devices/platform/serial/" + name);
        fs::create_directories(root_ + "/class/tty/" + name);
        fs::create_directory_symlink(root_ + "/devices/platform/serial/" + name,
                                     root_ + "/class/tty/" + name + "/device");
    }

private:
    std::string root_;
};

TEST(SysfsSerialMap, NamesMotorolaModemsAndOtherUsbPortsLikeTheRegistry) {
    TempFolder folder;
    FakeSysfs sysfs(folder.path());
    sysfs.addTty("ttyACM0", "22b8", "cdc_acm");
    sysfs.addTty("ttyACM1", "0bda", "cdc_acm");
    sysfs.addTty("ttyUSB3", "067b", "pl2303");
    sysfs.addPlainTty("ttyS0");
    SysfsSerialPortMap map(folder.path(), "/dev");
    auto entries = map.entries();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].name, "\\Device\\USBSER000");
    EXPECT_EQ((*entries)[0].data, "COM1");
    EXPECT_EQ((*entries)[0].devNode, "/dev/ttyACM0");
    EXPECT_EQ((*entries)[1].name, "\\Device\\USBPDO-1");
    EXPECT_EQ((*entries)[1].data, "COM2");
    EXPECT_EQ((*entries)[2].name, "\\Device\\USBPDO-3");
    EXPECT_EQ((*entries)[2].data, "COM4");

    bool byIndex = false;
    EXPECT_EQ(modemPortFromMap(*entries, byIndex), "COM1");
    TermiosSerialPorts ports(map);
    EXPECT_EQ(ports.resolve("COM1"), "/dev/ttyACM0");
    EXPECT_EQ(ports.resolve("COM4"), "/dev/ttyUSB3");
    EXPECT_EQ(ports.resolve("COM9"), "");
    EXPECT_EQ(ports.resolve("/dev/ttyACM7"), "/dev/ttyACM7");
}

TEST(SysfsSerialMap, MissingSysfsIsAnUnreadableMap) {
    SysfsSerialPortMap map("/nonexistent-sysfs", "/dev");
    EXPECT_FALSE(map.entries());
}

TEST(InterfaceNumber, DigitAtPositionThirtyGoesIntoTheText) {
    EXPECT_EQ(pathWithDigit('8')[30], '8');
    EXPECT_EQ(interfaceNumberText(pathWithDigit('8')), "InterfaceNumber is: 08 ");
    EXPECT_EQ(interfaceNumberText("\\\\?\\short"), "InterfaceNumber is: 00 ");
}

TEST(TestCommandInterface, OnlyTheSecondNamedRightIsKept) {
    DeviceFixture f;
    auto wrong = std::make_shared<NamedLink>("Motorola Modem", pathWithDigit('1'));
    auto right = std::make_shared<NamedLink>("Motorola Test Command", pathWithDigit('8'));
    f.fakes.interfaces.setCandidates({candidateOf(wrong), candidateOf(right)});
    f.context.transport.setUsbInterfaceIndex(3);
    f.device().discovery().openTestCommandInterface();
    EXPECT_GT(f.context.driver.linkHandle(), 1);
    EXPECT_EQ(f.context.driver.link(), right);
    EXPECT_EQ(wrong->closes(), 1);
    EXPECT_FALSE(wrong->isOpen());
    EXPECT_EQ(f.context.transport.usbInterfaceIndex(), 8);
    EXPECT_EQ(f.state().text(&LinkState::interfaceDetail), right->devicePath());
}

TEST(TestCommandInterface, IndexFollowsThePathUnlessTheOptionIsOn) {
    for (bool fixed : {false, true}) {
        DeviceFixture f;
        f.context.config.useFixedInterfaceIndex = fixed ? 1 : 0;
        f.context.transport.setUsbInterfaceIndex(8);
        auto link = std::make_shared<NamedLink>("Motorola Test Command", pathWithDigit('5'));
        f.fakes.interfaces.setCandidates({candidateOf(link)});
        f.context.log.setPackets(true);
        f.device().discovery().openTestCommandInterface();
        EXPECT_EQ(f.context.transport.usbInterfaceIndex(), fixed ? 8 : 5);
        EXPECT_TRUE(f.log.has("Motorola Test Command"));
        EXPECT_TRUE(f.log.has("InterfaceNumber is: 05 "));
    }
}

// With "Use this USB IF Index:" on, the configured number goes into the frames: when
// discovery runs and when the link watch starts; with it off the path's digit does.
TEST(TestCommandInterface, TheConfiguredIndexReachesTheFrames) {
    for (bool fixed : {false, true}) {
        SCOPED_TRACE(fixed);
        DeviceFixture f;
        f.context.config.useFixedInterfaceIndex = fixed ? 1 : 0;
        f.context.config.interfaceIndex = 12;
        auto link = std::make_shared<NamedLink>("Motorola Test Command", pathWithDigit('5'));
        f.fakes.interfaces.setCandidates({candidateOf(link)});
        f.device().discovery().openTestCommandInterface();
        EXPECT_EQ(f.context.transport.usbInterfaceIndex(), fixed ? 12 : 5);
        const auto frame =
            Transport::classicFrame(1, 0x20, f.context.transport.usbInterfaceIndex(), {});
        EXPECT_EQ(bytes::le16(&frame[4]), fixed ? 12 : 5);
    }
}

TEST(TestCommandInterface, TheConfiguredIndexIsAppliedAtStartUp) {
    DeviceFixture f;
    f.context.config.useFixedInterfaceIndex = 1;
    f.context.config.interfaceIndex = 3;
    f.fakes.interfaces.setCandidates({});
    f.device().startLinkWatch();
    f.device().stopLinkWatch();
    EXPECT_EQ(f.context.transport.usbInterfaceIndex(), 3);
}

TEST(TestCommandInterface, NothingNamedRightLeavesNoLink) {
    DeviceFixture f;
    auto wrong = std::make_shared<NamedLink>("Other", pathWithDigit('2'));
    InterfaceCandidate unopenable{pathWithDigit('8'), [] { return nullptr; }};
    f.fakes.interfaces.setCandidates({unopenable, candidateOf(wrong)});
    f.device().discovery().openTestCommandInterface();
    EXPECT_EQ(f.context.driver.linkHandle(), 0);
    EXPECT_EQ(wrong->closes(), 1);
}

TEST(TestCommandInterface, AnInterfaceAlreadyUpIsKeptWithoutEnumerating) {
    DeviceFixture f;
    auto link = std::make_shared<NamedLink>("Motorola Test Command", pathWithDigit('8'));
    f.fakes.interfaces.setCandidates({candidateOf(link)});
    auto& discovery = f.device().discovery();
    discovery.openTestCommandInterface();
    discovery.openTestCommandInterface();
    EXPECT_EQ(f.fakes.interfaces.enumerations(), 1);
    EXPECT_EQ(f.context.driver.link(), link);
    EXPECT_EQ(link->closes(), 0);
}

TEST(MemcardSwitch, OnlyMotorolaDisksGetTheScsiCommand) {
    DeviceFixture f;
    f.fakes.disks.setDisks({{"/sys/devices/usb1/1-2 Generic Flash Disk", "/dev/sdb"},
                            {"/sys/devices/usb1/1-3 MOTOROLA Phone usb#vid_22b8", "/dev/sdc"}});
    f.device().discovery().switchMemcardToP2k();
    auto sent = f.fakes.disks.sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].devNode, "/dev/sdc");
    const std::array<uint8_t, 12> cdb = {0xD6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0};
    EXPECT_EQ(sent[0].cdb, cdb);
    EXPECT_EQ(sent[0].timeoutMs, 25000u);
    EXPECT_EQ(f.log.count("Memcard mode found, swithcing to P2k mode..."), 1);
}

TEST(MemcardSwitch, NoMotorolaDiskSendsAndLogsNothing) {
    DeviceFixture f;
    f.fakes.disks.setDisks({{"/sys/devices/ata1 Samsung SSD", "/dev/sda"}});
    f.device().discovery().switchMemcardToP2k();
    EXPECT_TRUE(f.fakes.disks.sent().empty());
    EXPECT_TRUE(f.log.lines().empty());
}

}  // namespace
}  // namespace mdk::test
