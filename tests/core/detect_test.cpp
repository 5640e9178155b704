// detect: sysfs and /dev reading against the fixture trees of tests/fixtures/detect, the
// access decision, the advice and state as tables, and the probe against a simulated phone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/phone_fixture.h"
#include "device/detect.h"
#include "p2k/command_set.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kUser = 1000;

fs::path fixtures() {
    const char* source = std::getenv("MDK_SOURCE_DIR");
    const fs::path tests =
        source ? fs::path(source) / "tests" : fs::path(__FILE__).parent_path().parent_path();
    return fs::absolute(tests / "fixtures/detect").lexically_normal();
}

UserIdentity tester() {
    return {kUser, {kUser}, "tester"};
}

// Owners, modes and access lists of a fixture's nodes, from its nodes.txt: one node a
// line, "PATH owner=N group=N name=GROUP mode=OCTAL acl=UID:rw". A node needs its file in
// the tree too.
class FixtureNodes {
public:
    explicit FixtureNodes(const fs::path& root) : root_(root) {
        std::ifstream in(root / "nodes.txt");
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string path, word;
            words >> path;
            NodeInfo& node = nodes_[path];
            while (words >> word) set(node, word);
        }
    }
    NodeInfo operator()(const std::string& path) const {
        NodeInfo node;
        const std::string relative = fs::path(path).lexically_relative(root_).string();
        if (auto found = nodes_.find(relative); found != nodes_.end()) node = found->second;
        node.path = path;
        std::error_code ec;
        node.exists = fs::exists(path, ec);
        return node;
    }

private:
    static void set(NodeInfo& node, const std::string& word) {
        const size_t eq = word.find('=');
        const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        if (key == "owner") node.owner = static_cast<uid_t>(std::stoul(value));
        if (key == "group") node.group = static_cast<gid_t>(std::stoul(value));
        if (key == "name") node.groupName = value;
        if (key == "mode") node.mode = static_cast<unsigned>(std::stoul(value, nullptr, 8));
        if (key == "acl") {
            const size_t colon = value.find(':');
            const std::string bits = value.substr(colon + 1);
            node.aclUsers[static_cast<uid_t>(std::stoul(value.substr(0, colon)))] =
                (bits.find('r') != std::string::npos ? 4u : 0u) |
                (bits.find('w') != std::string::npos ? 2u : 0u);
            node.aclMask = 6u;
        }
    }
    fs::path root_;
    std::map<std::string, NodeInfo> nodes_;
};

DetectReport detectFixture(const std::string& name, bool remote = false) {
    const fs::path root = fixtures() / name;
    const UsbSysfs sysfs(root.string(), FixtureNodes(root));
    DetectReport report;
    report.system = systemInfo("6.0.0", root.string());
    report.session = {tester(), remote};
    gatherDetect(
        sysfs,
        [](const std::string& adapter) {
            return adapter == "usb0" ? std::vector<std::string>{"192.168.16.1"}
                                     : std::vector<std::string>{};
        },
        report);
    concludeDetect(report);
    return report;
}

bool adviceHas(const DetectReport& report, const std::string& part) {
    for (const auto& advice : report.advice) {
        if (advice.find(part) != std::string::npos) return true;
    }
    return false;
}

struct FixtureCase {
    const char* name;
    size_t devices;
    PhoneMode firstMode;
    bool firstUsable;
    DetectState state;
    const char* stateStart;
    const char* advice;  // a part of one advice line
};

class DetectFixtures : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(DetectFixtures, ReadsTheTreeAndNamesTheState) {
    const FixtureCase& c = GetParam();
    const DetectReport report = detectFixture(c.name);
    ASSERT_EQ(report.devices.size(), c.devices) << detectText(report);
    if (c.devices > 0) {
        EXPECT_EQ(report.devices[0].mode, c.firstMode);
        EXPECT_EQ(report.devices[0].usable, c.firstUsable);
    }
    EXPECT_EQ(report.state, c.state) << detectText(report);
    EXPECT_EQ(report.stateLine.rfind(c.stateStart, 0), 0u) << report.stateLine;
    EXPECT_TRUE(adviceHas(report, c.advice)) << detectText(report);
    // The text ends with the state line; serials are masked everywhere.
    const std::string text = detectText(report);
    EXPECT_EQ(text.substr(text.size() - report.stateLine.size() - 1), report.stateLine + "\n");
    EXPECT_EQ(text.find("0123456789"), std::string::npos);
    EXPECT_EQ(detectJson(report).find("0123456789"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, DetectFixtures,
    ::testing::Values(
        FixtureCase{"p2k_rule_applied", 1, PhoneMode::P2k, true, DetectState::NotAttached,
                    "P2k interface present but not opened", "is in P2k mode"},
        FixtureCase{"modem_cdc_acm", 1, PhoneMode::Modem, true, DetectState::ModemMode,
                    "phone in modem mode: run with --switch or use Re-Connect", "at+mode=8"},
        FixtureCase{"memory_card", 1, PhoneMode::MemoryCard, true, DetectState::MemoryCardMode,
                    "phone in memory-card mode", "SCSI command"},
        FixtureCase{"no_permission", 1, PhoneMode::P2k, false, DetectState::NoPermission,
                    "no permission: tester cannot open ", "which udev does not read"},
        FixtureCase{"two_phones", 2, PhoneMode::P2k, true, DetectState::NotAttached,
                    "P2k interface present", "More than one phone"},
        FixtureCase{"usblan_rndis", 1, PhoneMode::Usblan, true, DetectState::UsblanMode,
                    "phone in USBLAN mode", "usblan:"},
        FixtureCase{"no_phone", 0, PhoneMode::Unknown, false, DetectState::NoDevice,
                    "no Motorola device", "No device of vendor 0x22B8"},
        FixtureCase{"no_usb", 0, PhoneMode::Unknown, false, DetectState::NoDevice,
                    "no Motorola device", "no USB bus"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DetectTree, ReadsEveryInterfaceWithItsDriverPortAndNode) {
    const DetectReport report = detectFixture("p2k_rule_applied");
    ASSERT_EQ(report.devices.size(), 1u);
    const DeviceReport& device = report.devices[0];
    EXPECT_EQ(device.usb.sysName, "2-1");
    EXPECT_EQ(device.usb.product, 0x4901);
    EXPECT_EQ(device.usb.serial, "01******89");
    EXPECT_EQ(device.usb.devName, "bus/usb/002/003");
    ASSERT_EQ(device.usb.interfaces.size(), 3u);
    const UsbInterfaceInfo& modem = device.usb.interfaces[0];
    EXPECT_EQ(modem.number, 0);
    EXPECT_EQ(modem.interfaceClass, 2);
    EXPECT_EQ(modem.driver, "cdc_acm");
    EXPECT_EQ(modem.ttys, std::vector<std::string>{"ttyACM0"});
    const UsbInterfaceInfo& testCommand = device.usb.interfaces[2];
    EXPECT_EQ(testCommand.number, 8);
    EXPECT_EQ(testCommand.interfaceClass, 0xFF);
    EXPECT_EQ(testCommand.name, "Motorola Test Command");
    EXPECT_EQ(testCommand.driver, "");
    ASSERT_EQ(device.modemPorts.size(), 1u);
    EXPECT_TRUE(device.modemPorts[0].usable);
    EXPECT_EQ(device.modemPorts[0].node.groupName, "dialout");
    ASSERT_EQ(report.rulesRead.size(), 1u);
    EXPECT_NE(report.rulesRead[0].find("usr/lib/udev/rules.d/70-marrowdeck.rules"),
              std::string::npos);
    EXPECT_EQ(report.system.distribution, "Fixture Linux 1");
    EXPECT_NE(detectText(report).find("interface 8: class ff/ff/ff \"Motorola Test Command\", "
                                      "driver none"),
              std::string::npos);
}

TEST(DetectTree, FindsTheDiskOfAMemoryCardAndTheAdapterOfAUsblanPhone) {
    const DetectReport card = detectFixture("memory_card");
    ASSERT_EQ(card.devices.size(), 1u);
    EXPECT_EQ(card.devices[0].disks, std::vector<std::string>{"sdb"});

    const DetectReport usblan = detectFixture("usblan_rndis");
    ASSERT_EQ(usblan.devices.size(), 1u);
    ASSERT_EQ(usblan.devices[0].adapters.size(), 1u);
    const AdapterReport& adapter = usblan.devices[0].adapters[0];
    EXPECT_EQ(adapter.name, "usb0");
    EXPECT_EQ(adapter.mac, "02:11:22:xx:xx:xx");
    EXPECT_EQ(adapter.ipv4, std::vector<std::string>{"192.168.16.1"});
    EXPECT_EQ(detectText(usblan).find("33:44:55"), std::string::npos);
}

TEST(DetectTree, JsonCarriesTheSameFacts) {
    const DetectReport report = detectFixture("two_phones");
    const auto json = nlohmann::json::parse(detectJson(report));
    EXPECT_EQ(json["state"], report.stateLine);
    ASSERT_EQ(json["devices"].size(), 2u);
    EXPECT_EQ(json["devices"][1]["product"], "6004");
    EXPECT_EQ(json["devices"][1]["serial"], "AB********45");
    EXPECT_EQ(json["phoneReached"], false);
    EXPECT_EQ(json["version"], "6.0.0");
}

TEST(DetectAccess, AclBytesAreReadEntryByEntry) {
    // version 2; user_obj rw; user 1000 rw; group_obj r; group 20 rw; mask rw; other none.
    const std::vector<uint8_t> acl = {2,    0, 0,    0,    1,    0,    6,    0,    0xFF, 0xFF, 0xFF,
                                      0xFF, 2, 0,    6,    0,    0xE8, 3,    0,    0,    4,    0,
                                      4,    0, 0xFF, 0xFF, 0xFF, 0xFF, 8,    0,    6,    0,    20,
                                      0,    0, 0,    0x10, 0,    6,    0,    0xFF, 0xFF, 0xFF, 0xFF,
                                      0x20, 0, 0,    0,    0xFF, 0xFF, 0xFF, 0xFF};
    NodeInfo node;
    ASSERT_TRUE(parsePosixAcl(acl, node));
    EXPECT_EQ(node.aclUsers, (std::map<uid_t, unsigned>{{1000, 6}}));
    EXPECT_EQ(node.aclGroups, (std::map<gid_t, unsigned>{{20, 6}}));
    EXPECT_EQ(node.aclGroupObject, 4u);
    EXPECT_EQ(node.aclMask, 6u);

    NodeInfo bad;
    EXPECT_FALSE(parsePosixAcl({2, 0, 0, 0, 1, 0}, bad));                       // cut entry
    EXPECT_FALSE(parsePosixAcl({1, 0, 0, 0}, bad));                             // version 1
    EXPECT_FALSE(parsePosixAcl({2, 0, 0, 0, 0x40, 0, 6, 0, 0, 0, 0, 0}, bad));  // unknown tag
}

struct AccessCase {
    const char* what;
    uid_t owner;
    gid_t group;
    unsigned mode;
    std::map<uid_t, unsigned> users;
    std::optional<unsigned> mask;
    std::vector<gid_t> userGroups;
    bool expected;
};

TEST(DetectAccess, DecidesAsTheKernelDoes) {
    const AccessCase cases[] = {
        {"owner rw", kUser, 0, 0600, {}, {}, {kUser}, true},
        {"owner read only", kUser, 0, 0400, {}, {}, {kUser}, false},
        {"acl user rw (uaccess)", 0, 0, 0660, {{kUser, 6}}, 6u, {kUser}, true},
        {"acl user masked to r", 0, 0, 0660, {{kUser, 6}}, 4u, {kUser}, false},
        {"group member", 0, 20, 0660, {}, {}, {kUser, 20}, true},
        {"not a member", 0, 20, 0660, {}, {}, {kUser}, false},
        {"others rw", 0, 0, 0666, {}, {}, {kUser}, true},
        {"member of a group without rw, others rw", 0, 20, 0606, {}, {}, {kUser, 20}, false},
    };
    for (const AccessCase& c : cases) {
        NodeInfo node;
        node.exists = true;
        node.owner = c.owner;
        node.group = c.group;
        node.mode = c.mode;
        node.aclUsers = c.users;
        node.aclMask = c.mask;
        EXPECT_EQ(canReadWrite(node, {kUser, c.userGroups, "tester"}), c.expected) << c.what;
    }
    NodeInfo missing;
    EXPECT_FALSE(canReadWrite(missing, {0, {0}, "root"}));
    NodeInfo closed;
    closed.exists = true;
    EXPECT_TRUE(canReadWrite(closed, {0, {0}, "root"}));
}

// The advice and the state as a table over reports made up for each situation.
struct AdviceCase {
    const char* what;
    std::function<void(DetectReport&)> setUp;
    DetectState state;
    std::vector<const char*> present;
    std::vector<const char*> absent;
};

DeviceReport p2kDevice(bool usable) {
    DeviceReport device;
    device.usb.sysName = "1-4";
    device.mode = PhoneMode::P2k;
    device.node.path = "/dev/bus/usb/001/009";
    device.node.exists = true;
    device.usable = usable;
    return device;
}

DeviceReport modemDevice(bool portUsable) {
    DeviceReport device;
    device.usb.sysName = "1-4";
    device.mode = PhoneMode::Modem;
    ModemPortReport port;
    port.node.path = "/dev/ttyACM0";
    port.node.exists = true;
    port.node.groupName = "dialout";
    port.usable = portUsable;
    device.modemPorts.push_back(port);
    return device;
}

TEST(DetectAdvice, EachSituationGetsItsAdviceAndState) {
    const std::string rule = "/usr/lib/udev/rules.d/70-marrowdeck.rules";
    const AdviceCase cases[] = {
        {"no usb bus",
         [](DetectReport& r) { r.usbBus = false; },
         DetectState::NoDevice,
         {"no USB bus", "is not installed"},
         {"No device of vendor"}},
        {"no device, rule in place",
         [&](DetectReport& r) { r.rulesRead = {rule}; },
         DetectState::NoDevice,
         {"No device of vendor 0x22B8"},
         {"not installed", "no USB bus"}},
        {"rule only under /usr/local",
         [](DetectReport& r) { r.rulesNotRead = {"/usr/local/lib/udev/rules.d/x"}; },
         DetectState::NoDevice,
         {"which udev does not read"},
         {"is not installed"}},
        {"p2k, rule in place, not applied",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.devices = {p2kDevice(false)};
         },
         DetectState::NoPermission,
         {"The rule did not apply to /dev/bus/usb/001/009"},
         {}},
        {"p2k over ssh",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.session.remote = true;
             r.devices = {p2kDevice(false)};
         },
         DetectState::NoPermission,
         {"remote (SSH) login"},
         {"The rule did not apply"}},
        {"modem port of group dialout",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.devices = {modemDevice(false)};
         },
         DetectState::NoPermission,
         {"sudo adduser tester dialout", "in modem mode"},
         {}},
        {"modem, port usable",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.devices = {modemDevice(true)};
         },
         DetectState::ModemMode,
         {"at+mode=8"},
         {"adduser"}},
        {"in use",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.devices = {p2kDevice(true)};
             r.lockHolder = "in use by process 4242";
         },
         DetectState::InUse,
         {"process 4242"},
         {}},
        {"probe failed",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.devices = {p2kDevice(true)};
             r.probe.attempted = true;
             r.probe.address = "usb";
             r.probe.note = "the phone at usb does not answer";
         },
         DetectState::NoAnswer,
         {},
         {"did not apply"}},
        {"reached",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.devices = {p2kDevice(true)};
             r.probe.attempted = true;
             r.probe.reached = true;
         },
         DetectState::Ready,
         {},
         {"did not apply", "not installed"}},
        {"root",
         [&](DetectReport& r) {
             r.rulesRead = {rule};
             r.session.user = {0, {0}, "root"};
         },
         DetectState::NoDevice,
         {"Running as root"},
         {}},
    };
    for (const AdviceCase& c : cases) {
        DetectReport report;
        report.usbBus = true;
        report.session.user = tester();
        c.setUp(report);
        concludeDetect(report);
        EXPECT_EQ(report.state, c.state) << c.what << "\n" << detectText(report);
        for (const char* part : c.present)
            EXPECT_TRUE(adviceHas(report, part)) << c.what << ": " << part;
        for (const char* part : c.absent)
            EXPECT_FALSE(adviceHas(report, part)) << c.what << ": " << part;
    }
}

TEST(DetectAdvice, StateLinesAreTheListedOnes) {
    DetectReport report;
    report.usbBus = true;
    report.session.user = tester();
    concludeDetect(report);
    EXPECT_EQ(report.stateLine, "no Motorola device");
    report.lockHolder = "in use by process 77";
    concludeDetect(report);
    EXPECT_EQ(report.stateLine, "in use by process 77");
    report.probe.reached = true;
    concludeDetect(report);
    EXPECT_EQ(report.stateLine, "ready");
}

TEST(DetectMasks, SerialsAndMacsKeepOnlyTheirEnds) {
    EXPECT_EQ(maskSerial("0123456789"), "01******89");
    EXPECT_EQ(maskSerial("ABCDEF"), "******");
    EXPECT_EQ(maskSerial(""), "");
    EXPECT_EQ(maskMac("02:11:22:33:44:55"), "02:11:22:xx:xx:xx");
    EXPECT_EQ(maskMac("02-11-22-33-44-55"), "02-11-22-xx-xx-xx");
}

// The probe reads the framing, family, model, volumes and free space, and sends nothing
// but seem reads, the volume list and free-space queries.
TEST(DetectProbe, ReadsWithoutWritingAnything) {
    PhoneFixture f(sim::PhoneKind::ClassicGsm);
    const auto filesBefore = f.model.files();
    const auto seemsBefore = f.model.seems().size();
    const ProbeReport probe = probePhone(f.context.driver, f.context.transport, f.context.commands);
    ASSERT_TRUE(probe.reached) << probe.note;
    EXPECT_FALSE(probe.p2k05);
    EXPECT_FALSE(probe.cdma);
    EXPECT_EQ(probe.model, f.model.modelName());
    ASSERT_EQ(probe.volumes.size(), 3u);
    EXPECT_EQ(probe.volumes[0].name, "/a");
    EXPECT_TRUE(probe.volumes[0].freeBytes.has_value());
    for (const SeenCommand& command : f.link->commands()) {
        const bool seemRead = command.command == 0x20;
        const bool listOrFree = command.command == 0x4A && command.payload.size() >= 4 &&
                                (command.payload[3] == 10 || command.payload[3] == 11);
        EXPECT_TRUE(seemRead || listOrFree) << "command " << command.command;
    }
    EXPECT_EQ(f.model.files().size(), filesBefore.size());
    EXPECT_EQ(f.model.seems().size(), seemsBefore);
}

TEST(DetectProbe, NamesAPhoneThatDoesNotAnswer) {
    PhoneFixture f(sim::PhoneKind::P2k05Gsm);
    f.context.transport.setGiveUpWhenSilent(true);
    sim::Faults faults;
    faults.dropConnection = true;
    f.phone.setFaults(faults);
    const ProbeReport probe = probePhone(f.context.driver, f.context.transport, f.context.commands);
    EXPECT_TRUE(probe.attempted);
    EXPECT_FALSE(probe.reached);
    EXPECT_FALSE(probe.note.empty());
}

}  // namespace
}  // namespace mdk::test
