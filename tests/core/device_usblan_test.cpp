#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>

#include "case_names.h"
#include "device/usblan_link.h"
#include "device_test_support.h"
#include "p2k/file_transfer.h"
#include "platform/ip_report.h"
#include "sim/sample_phone.h"
#include "sim/usblan_server.h"

namespace mdk::test {
namespace {

// The adapter block of the listing, as the report writer lays it out.
std::string motorolaBlock(const std::string& ipv4 = "192.168.16.1") {
    AdapterInfo usb;
    usb.name = "usb0";
    usb.description = "Motorola USB Networking Interface";
    usb.mac = "00-11-22-33-44-55";
    usb.index = 3;
    usb.up = true;
    usb.ipv6 = {"fe80::211:22ff:fe33:4455"};
    if (!ipv4.empty()) usb.ipv4 = {{ipv4, "255.255.255.0"}};
    return formatIpReport("host", {usb});
}

// An adapter with several IPv6 addresses: the IPv4 line comes first, so the adapter-address
// rule (which skips one "IPv6") still finds it.
TEST(IpReport, SeveralIpv6AddressesDoNotHideTheIpv4One) {
    for (size_t v6count : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(v6count);
        AdapterInfo usb;
        usb.name = "usb0";
        usb.description = "Motorola USB Networking Interface";
        usb.up = true;
        usb.ipv4 = {{"192.168.16.1", "255.255.255.0"}};
        const std::vector<std::string> v6 = {"fe80::1", "2001:db8::5", "2001:db8::6"};
        usb.ipv6.assign(v6.begin(), v6.begin() + static_cast<ptrdiff_t>(v6count));
        auto match = findUsblanAdapter(formatIpReport("host", {usb}));
        ASSERT_TRUE(match);
        EXPECT_EQ(match->adapterIp, "192.168.16.1");
    }
}

TEST(IpReport, LayoutMatchesTheWindowsListing) {
    const std::string report = motorolaBlock();
    EXPECT_NE(report.find("Ethernet adapter usb0:\r\n"), std::string::npos);
    EXPECT_NE(report.find("   Description . . . . . . . . . . . : Motorola USB Networking "
                          "Interface\r\n"),
              std::string::npos);
    EXPECT_NE(report.find("   Physical Address. . . . . . . . . : 00-11-22-33-44-55\r\n"),
              std::string::npos);
    EXPECT_NE(report.find("   Link-local IPv6 Address . . . . . : "
                          "fe80::211:22ff:fe33:4455%3(Preferred)\r\n"),
              std::string::npos);
    EXPECT_NE(report.find("   IPv4 Address. . . . . . . . . . . : 192.168.16.1(Preferred)\r\n"),
              std::string::npos);
    EXPECT_NE(report.find("   Subnet Mask . . . . . . . . . . . : 255.255.255.0\r\n"),
              std::string::npos);
    EXPECT_LT(report.find("IPv4"), report.find("IPv6"));
}

TEST(IpReport, LinuxReporterListsNoLoopback) {
    LinuxNetworkReporter reporter;
    for (const AdapterInfo& adapter : reporter.adapters()) EXPECT_NE(adapter.name, "lo");
    EXPECT_EQ(reporter.report().find("adapter lo:"), std::string::npos);
}

struct ReportCase {
    const char* what;
    std::string report;
    std::optional<std::string> adapterIp;
};

// The case as the test list and failure messages show it.
void PrintTo(const ReportCase& c, std::ostream* out) {
    *out << c.what;
}

class AdapterSearch : public ::testing::TestWithParam<ReportCase> {};

TEST_P(AdapterSearch, FindsTheAdapterAndItsAddress) {
    const ReportCase& c = GetParam();
    auto match = findUsblanAdapter(c.report);
    ASSERT_EQ(match.has_value(), c.adapterIp.has_value()) << c.what;
    if (match) {
        EXPECT_EQ(match->adapterIp, *c.adapterIp) << c.what;
    }
}

const std::string kBelcarra =
    "Ethernet adapter usb1:\r\n\r\n"
    "   Description . . . . . . . . . . . : Belcarra Ethernet over USB\r\n"
    "   IPv4 Address. . . . . . . . . . . : 10.0.0.1(Preferred)\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Report, AdapterSearch,
    ::testing::Values(
        ReportCase{"IPv6 line first, suffix", motorolaBlock(), "192.168.16.1"},
        ReportCase{"Motorola after Belcarra", kBelcarra + motorolaBlock(), "192.168.16.1"},
        ReportCase{"Motorola before Belcarra", motorolaBlock() + kBelcarra, "192.168.16.1"},
        ReportCase{"Belcarra alone", kBelcarra, "10.0.0.1"},
        ReportCase{"USBLAN",
                   "Ethernet adapter x:\r\n   Description : USBLAN\r\n   IP Address. . "
                   ". : 192.168.1.5\r\n",
                   "192.168.1.5"},
        ReportCase{"no adapter", "Ethernet adapter eth0:\r\n   Description : Intel\r\n",
                   std::nullopt},
        ReportCase{"adapter without an address keeps off the next one",
                   motorolaBlock("") + "Ethernet adapter eth0:\r\n\r\n"
                                       "   IPv4 Address. . . : 172.16.0.9(Preferred)\r\n",
                   ""},
        ReportCase{"report cut after IP", "Motorola\r\n   IP", ""},
        ReportCase{"report cut after the colon", "Motorola\r\n   IPv4 Address : ", ""}),
    [](const testing::TestParamInfo<ReportCase>& info) { return caseName(info.param.what); });

TEST(AdapterSearch, LineIsCutAtItsEnd) {
    auto match = findUsblanAdapter(motorolaBlock());
    ASSERT_TRUE(match);
    EXPECT_EQ(match->line, "Motorola USB Networking Interface");
}

TEST(PhoneAddress, LastNumberPlusOne) {
    EXPECT_EQ(nextAddress("192.168.16.1"), "192.168.16.2");
    EXPECT_EQ(nextAddress("192.168.16.9"), "192.168.16.10");
    EXPECT_EQ(nextAddress("10.0.0.255"), "10.0.0.256");
    EXPECT_FALSE(isIpv4Address(nextAddress("10.0.0.255")));
    EXPECT_EQ(nextAddress(""), "");
    EXPECT_EQ(nextAddress("192.168.16.1/24"), "");
}

// The USBLAN link over the fake platform, driven by the report writer's output.
class UsblanLinkTest : public ::testing::Test {
protected:
    explicit UsblanLinkTest(ConnectionMode mode = ConnectionMode::UsblanSamba) : f(mode) {
        f.fakes.network.setReport(motorolaBlock());
    }
    std::vector<std::string> started() { return f.fakes.commands.started(); }
    DeviceFixture f;
};

TEST_F(UsblanLinkTest, ModeOneMountsOnceAndTheNextPassesKeepTheMount) {
    auto& device = f.device();
    device.attachUsblan();
    device.attachUsblan();
    device.attachUsblan();
    const auto commands = started();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], "gio mount smb://root@'192.168.16.2'/system");
    EXPECT_EQ(f.context.driver.linkHandle(), 1);
    EXPECT_EQ(f.state().phoneConnected, 1);
    EXPECT_TRUE(f.state().driveMapped);
    const std::string mount = "/run/user/" + std::to_string(::getuid()) +
                              "/gvfs/smb-share:server=192.168.16.2,share=system";
    EXPECT_EQ(f.view.count("drives " + mount), 1);
    EXPECT_EQ(f.log.count("Phone filesystem mapped at '" + mount + "'"), 1);
    EXPECT_EQ(f.log.count("Connecting..."), 1);
    EXPECT_TRUE(f.log.has("Motorola USB Networking Interface"));
    EXPECT_TRUE(f.log.has("192.168.16.1"));

    device.closeLink();
    EXPECT_EQ(started().back(), "gio mount -u smb://root@'192.168.16.2'/system");
}

TEST_F(UsblanLinkTest, ConfiguredAddressWins) {
    f.context.config.useGivenIp = 1;
    f.context.config.usblanIp = "192.168.16.77";
    f.context.runSettings.takeFrom(f.context.config);
    f.device().attachUsblan();
    EXPECT_EQ(f.state().text(&LinkState::phoneIp), "192.168.16.77");
    ASSERT_EQ(started().size(), 1u);
    EXPECT_EQ(started()[0], "gio mount smb://root@'192.168.16.77'/system");
}

TEST_F(UsblanLinkTest, ConfiguredTextThatIsNoAddressNeverReachesTheShell) {
    f.context.config.useGivenIp = 1;
    f.context.config.usblanIp = "1.2.3.4\"; rm -rf ~; \"";
    f.context.runSettings.takeFrom(f.context.config);
    f.device().attachUsblan();
    EXPECT_TRUE(started().empty());
    EXPECT_FALSE(f.state().driveMapped);
    EXPECT_TRUE(f.log.has("! Not an IPv4 address: 1.2.3.4\"; rm -rf ~; \""));
}

TEST_F(UsblanLinkTest, MissingReportDropsTheLink) {
    auto& usblan = f.device().usblan();
    f.context.driver.markUsblanLink();
    EXPECT_EQ(usblan.bringUpUsblan(), -1);
    EXPECT_EQ(f.context.driver.linkHandle(), 0);
}

TEST_F(UsblanLinkTest, ReportWithoutAdapterLeavesTheLinkDown) {
    f.fakes.network.setReport(kBelcarra.substr(0, 24));  // only a header
    f.device().attachUsblan();
    EXPECT_EQ(f.context.driver.linkHandle(), 0);
    EXPECT_TRUE(started().empty());
    std::ifstream report(f.context.programFile("IPREPORT"), std::ios::binary);
    EXPECT_TRUE(report.good());
}

class FtpModeTest : public UsblanLinkTest {
protected:
    FtpModeTest() : UsblanLinkTest(ConnectionMode::UsblanFtp) {}
};

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(FtpModeTest, WritesTheAddressFilesMountsOnceAndEndsTheMountAtClose) {
    std::filesystem::create_directories(f.folder.path() + "/FtpDrive");
    std::ofstream(f.folder.path() + "/FtpDrive/FtpServList1.txt", std::ios::binary)
        << "[Servers]\r\n";
    auto& device = f.device();
    device.attachUsblan();
    device.attachUsblan();
    EXPECT_EQ(fileText(f.context.programFile("ACTIP")), "192.168.16.2\r\n");
    EXPECT_EQ(fileText(f.context.programFile("FtpDrive/FtpServList.txt")),
              "[Servers]\r\n192.168.16.2\r\n");
    const std::string mount = f.folder.path() + "/FtpDrive/phone";
    ASSERT_EQ(started().size(), 1u);
    EXPECT_EQ(
        started()[0],
        "mkdir -p '" + mount + "' && exec curlftpfs -f ftp://root@'192.168.16.2'/ '" + mount + "'");
    const int process = f.state().ftpDriveProcess;
    EXPECT_GT(process, 0);
    device.closeLink();
    EXPECT_EQ(f.fakes.commands.terminated(), std::vector<int>{process});
    EXPECT_EQ(started().back(), "fusermount -u '" + mount + "'");
}

// Mode 3 end to end against the simulated Linux phone on a loopback port.
class LinuxPhoneTest : public ::testing::Test {
protected:
    LinuxPhoneTest() : f(ConnectionMode::P2k05OverUsblan), model(sim::PhoneKind::Linux, "A1200") {
        sim::addBluetoothConfig(model);
        model.addFile("/ezxlocal/download/mystuff/note.txt", {'h', 'e', 'l', 'l', 'o'});
        std::string error;
        EXPECT_TRUE(server.listen("tcp:127.0.0.1:0", error)) << error;
    }
    uint16_t port() const { return static_cast<uint16_t>(server.port()); }

    DeviceFixture f;
    sim::PhoneModel model;
    sim::UsblanServer server{model};
};

TEST_F(LinuxPhoneTest, ConnectReadsTheModelShowsTheVolumesListsAndCopiesAFile) {
    auto& device = f.device();
    ASSERT_EQ(device.connectUsblan("127.0.0.1", port()), 0);
    EXPECT_TRUE(f.log.has("*** Connection successful."));
    EXPECT_EQ(f.state().text(&LinkState::modelName), "A1200");
    EXPECT_EQ(f.view.count("status 3: message 77A1200"), 1);
    EXPECT_EQ(f.view.count("status 1: message 78/"), 1);
    EXPECT_EQ(f.view.count("volumes|  /*|  /ezxlocal/*|  /usr/data_resource/*|  /mmc/mmca1/*|"
                           "P2k phone seems"),
              1);
    EXPECT_EQ(f.view.count("first   /*"), 1);
    EXPECT_EQ(f.context.runSettings.read().useFilter, 1);
    EXPECT_EQ(f.context.runSettings.read().searchPattern, "/a/*");
    EXPECT_TRUE(f.context.transport.p2k05Active());
    EXPECT_EQ(f.context.runSettings.read().forceP2k05, 1);
    EXPECT_EQ(model.commandCount(CommandSet::kSessionStep1), 2u);
    EXPECT_EQ(model.commandCount(CommandSet::kSessionStep2), 1u);

    // The catalogue asks the link for the model name when it attaches the phone.
    EXPECT_EQ(f.context.catalogue.attachPhone(), 0);
    EXPECT_TRUE(f.log.has("message 77A1200"));

    f.context.catalogue.loadCatalogue();
    bool listed = false;
    for (const auto& record : f.context.catalogue.records()) {
        listed = listed || record.path == "/ezxlocal/download/mystuff/note.txt";
    }
    EXPECT_TRUE(listed);
    auto bytes =
        downloadPhoneFile(f.context.commands, "/ezxlocal/download/mystuff/note.txt", 0xFFFFFFFF, 5);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "hello");

    device.closeLink();
    EXPECT_EQ(f.context.transport.usblanSocket(), -1);
}

TEST_F(LinuxPhoneTest, WatcherPassBringsTheLinkUpFromTheReport) {
    // The adapter and the phone are both the loopback address here.
    f.fakes.network.setReport(motorolaBlock("127.0.0.1"));
    f.context.config.useGivenIp = 1;
    f.context.config.usblanIp = "127.0.0.1";
    f.context.runSettings.takeFrom(f.context.config);
    f.settings.usblanPort = port();
    auto& device = f.device();
    device.attachUsblan();
    EXPECT_EQ(f.context.driver.linkHandle(), 1);
    EXPECT_TRUE(f.log.has("*** Connection successful."));
    EXPECT_FALSE(f.log.has("! Cannot bind socket to USBLAN IP address."));
    EXPECT_TRUE(f.state().usblanUp);
    EXPECT_EQ(f.state().text(&LinkState::modelName), "A1200");
    device.attachUsblan();  // link up: nothing more is done
    EXPECT_EQ(f.log.count("*** Connection successful."), 1);
    EXPECT_EQ(f.state().phoneConnected, 1);
}

TEST_F(LinuxPhoneTest, RefusedConnectionIsLoggedAndTheLinkStaysMarked) {
    f.fakes.network.setReport(motorolaBlock("127.0.0.1"));
    f.context.config.useGivenIp = 1;
    f.context.config.usblanIp = "127.0.0.1";
    f.context.runSettings.takeFrom(f.context.config);
    server.stop();
    f.settings.usblanPort = port() ? port() : 1;
    f.device().attachUsblan();
    EXPECT_TRUE(f.log.has("! Cannot connect socket."));
    EXPECT_EQ(f.context.driver.linkHandle(), 1);
    EXPECT_TRUE(f.context.transport.p2k05Active());
    EXPECT_TRUE(f.prompter.shown().empty());
    EXPECT_EQ(f.view.count("close"), 0);
}

}  // namespace
}  // namespace mdk::test
