#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <ostream>

#include "case_names.h"
#include "device/mode_switch.h"
#include "device_test_support.h"
#include "sim/modem_pty.h"
#include "sim/sim_link.h"

namespace mdk::test {
namespace {

// A pseudo-terminal standing in for the modem port: the test reads what the program
// writes on the master side and inspects the line settings on its own slave descriptor.
class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        slavePath_ = ::ptsname(master_);
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        ::close(slave_);
        ::close(master_);
    }
    std::string readAll() {
        std::string out;
        char buffer[256];
        pollfd pfd{master_, POLLIN, 0};
        while (::poll(&pfd, 1, 200) == 1) {
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }
    termios settings() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t;
    }
    void setSettings(const termios& t) { ::tcsetattr(slave_, TCSANOW, &t); }
    const std::string& path() const { return slavePath_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

struct SwitchCase {
    const char* usblanCommand;  // nullptr: the P2k switch
    const char* expected;
};

// The case as the test list and failure messages show it.
void PrintTo(const SwitchCase& c, std::ostream* out) {
    *out << (c.usblanCommand ? c.usblanCommand : "P2k switch");
}

class AtSwitch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(AtSwitch, WritesExactBytesAt115200EightNoneOne) {
    const SwitchCase& c = GetParam();
    Pty pty;
    // The port starts at 9600 7E2 with canonical input and output post-processing on.
    termios before = pty.settings();
    ::cfsetospeed(&before, B9600);
    ::cfsetispeed(&before, B9600);
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    before.c_lflag |= ICANON;
    before.c_oflag |= OPOST | ONLCR;
    pty.setSettings(before);
    before = pty.settings();

    DeviceFixture f;
    FakeSerialPortMap map;
    map.set(std::vector<SerialMapEntry>{{"\\Device\\USBSER000", "COM1", pty.path()}});
    TermiosSerialPorts ports(map);
    DevicePlatform services = f.fakes.services();
    DevicePlatform platform{
        map, ports, services.disks, services.interfaces, services.network, services.commands};
    auto& device = f.device(platform);
    ASSERT_EQ(device.discovery().findModemPort(), 0);
    int result;
    if (c.usblanCommand) {
        f.context.config.usblanSwitchCommand = c.usblanCommand;
        f.context.runSettings.takeFrom(f.context.config);
        result = device.modes().switchModemToUsblan();
    } else {
        result = device.modes().switchModemToP2k();
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pty.readAll(), c.expected);

    const termios after = pty.settings();
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(::cfgetispeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);      // bytes go out as written
    EXPECT_EQ(after.c_lflag, before.c_lflag);  // everything else stays as read
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    const std::string command = c.usblanCommand ? c.usblanCommand : "at+mode=8";
    EXPECT_TRUE(f.log.has(command + " --> COM1"));
}

INSTANTIATE_TEST_SUITE_P(Modem, AtSwitch,
                         ::testing::Values(SwitchCase{nullptr, "at+mode=8\r\n"},
                                           SwitchCase{"AT+mode=13", "AT+mode=13\r\nAT+mode=13\r\n"},
                                           SwitchCase{"at+mode=13",
                                                      "at+mode=13\r\nat+mode=13\r\n"}),
                         [](const testing::TestParamInfo<SwitchCase>& info) {
                             const char* command = info.param.usblanCommand;
                             return command ? caseName(command) + std::to_string(info.index)
                                            : std::string("P2kSwitch");
                         });

TEST(AtSwitchFailure, PortThatCannotBeOpenedFails) {
    DeviceFixture f;
    FakeSerialPortMap map;
    TermiosSerialPorts ports(map);
    DevicePlatform services = f.fakes.services();
    DevicePlatform platform{
        map, ports, services.disks, services.interfaces, services.network, services.commands};
    f.context.config.useFixedComPort = 1;
    f.context.config.comPort = "/nonexistent/ttyACM9";
    f.context.runSettings.takeFrom(f.context.config);
    auto& device = f.device(platform);
    ASSERT_EQ(device.discovery().findModemPort(), 0);
    EXPECT_EQ(device.modes().switchModemToP2k(), -1);
    f.context.config.comPort = "COM4";  // not in the map
    f.context.runSettings.takeFrom(f.context.config);
    ASSERT_EQ(device.discovery().findModemPort(), 0);
    EXPECT_EQ(device.modes().switchModemToP2k(), -1);
}

// Mode 0 attach passes over the fakes.
class P2kAttach : public ::testing::Test {
protected:
    void modemPresent() {
        f.fakes.serialMap.set(std::vector<SerialMapEntry>{{"\\Device\\USBSER000", "COM1", ""}});
    }
    std::shared_ptr<NamedLink> testCommand() {
        return std::make_shared<NamedLink>("Motorola Test Command", pathWithDigit('8'));
    }
    // The interface appears once the modem was told to switch.
    void interfaceAfterModemSwitch() {
        auto link = testCommand();
        f.fakes.interfaces.setCandidates(
            {{link->devicePath(), [this, link]() -> std::shared_ptr<DriverLink> {
                  if (f.fakes.serialPorts.writes().empty()) return nullptr;
                  return link;
              }}});
    }
    Prompt linuxQuestion() const {
        auto shown = f.prompter.shown();
        return shown.empty() ? Prompt{} : shown.back();
    }

    DeviceFixture f;
};

TEST_F(P2kAttach, InterfacePresentIsOpenedAtOnce) {
    f.fakes.interfaces.setCandidates({candidateOf(testCommand())});
    f.device().attachP2k();
    EXPECT_EQ(f.state().phoneConnected, 1);
    EXPECT_TRUE(f.state().interfaceUp);
    EXPECT_TRUE(f.log.has("message 37"));
    EXPECT_TRUE(f.fakes.serialPorts.writes().empty());
}

TEST_F(P2kAttach, ModemPhoneIsSwitchedThenOpenedAfterFiveSeconds) {
    modemPresent();
    interfaceAfterModemSwitch();
    const uint64_t start = f.clock.nowMs();
    EXPECT_EQ(f.device().attachOnce(), 0);
    auto writes = f.fakes.serialPorts.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].port, "COM1");
    EXPECT_EQ(std::string(writes[0].bytes.begin(), writes[0].bytes.end()), "at+mode=8\r\n");
    EXPECT_EQ(f.clock.nowMs() - start, 5000u);
    EXPECT_TRUE(f.log.has("message 37"));
    EXPECT_TRUE(f.prompter.shown().empty());
}

TEST_F(P2kAttach, MemcardPhoneWithoutModemIsSwitchedAndOpenedInTheSamePass) {
    f.fakes.disks.setDisks({{"/sys/devices/usb1/1-1 Motorola MSD", "/dev/sdb"}});
    auto link = testCommand();
    f.fakes.interfaces.setCandidates(
        {{link->devicePath(), [this, link]() -> std::shared_ptr<DriverLink> {
              return f.fakes.disks.sent().empty() ? nullptr : link;
          }}});
    EXPECT_EQ(f.device().attachOnce(), 0);
    EXPECT_EQ(f.fakes.disks.sent().size(), 1u);
    EXPECT_EQ(f.fakes.interfaces.enumerations(), 2);
    EXPECT_EQ(f.state().phoneConnected, 1);
}

TEST_F(P2kAttach, NothingFoundLogsNoInterfaceOncePerRun) {
    auto& device = f.device();
    device.attachP2k();
    device.attachP2k();
    EXPECT_EQ(f.log.count("message 38"), 1);
    EXPECT_EQ(f.state().phoneConnected, 0);
    EXPECT_FALSE(f.state().interfaceUp);
    EXPECT_TRUE(f.prompter.shown().empty());
}

struct AnswerCase {
    PromptAnswer answer;
    int restarts;
    ConnectionMode mode;
    bool p2k05;
};

const char* answerName(PromptAnswer answer) {
    switch (answer) {
        case PromptAnswer::Yes:
            return "Yes";
        case PromptAnswer::No:
            return "No";
        default:
            return "Cancel";
    }
}

// The case as the test list and failure messages show it: the answer given.
void PrintTo(const AnswerCase& c, std::ostream* out) {
    *out << answerName(c.answer);
}

class LinuxPhoneQuestion : public P2kAttach, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(LinuxPhoneQuestion, AnswersDecideModeAndRestart) {
    const AnswerCase& c = GetParam();
    modemPresent();  // the modem answers, but no interface ever appears
    f.prompter.queueAnswer(c.answer);
    EXPECT_EQ(f.device().attachOnce(), -1);
    ASSERT_EQ(f.prompter.shown().size(), 1u);
    const Prompt prompt = linuxQuestion();
    EXPECT_EQ(prompt.title, "Warning !");
    EXPECT_EQ(prompt.buttons, PromptButtons::YesNoCancel);
    EXPECT_EQ(prompt.icon, PromptIcon::Question);
    EXPECT_EQ(prompt.text,
              "Maybe your option settings is P2k/P2k05 but your phone is Linux based.\r\n"
              "If this is the first run, after p2k drivers installed, simply press no.\r\n"
              "Do you want to change options to P2k over USBLAN mode, and re-start "
              "application ?");
    EXPECT_TRUE(f.log.has("message 38"));
    EXPECT_EQ(f.control.restarts, c.restarts);
    EXPECT_EQ(f.context.runSettings.read().mode(), c.mode);
    EXPECT_EQ(f.context.transport.p2k05Active(), c.p2k05);
    EXPECT_EQ(f.context.runSettings.read().forceP2k05, c.p2k05 ? 1 : 0);
    EXPECT_EQ(f.state().modemProbeCount, 1u);
    EXPECT_FALSE(f.state().interfaceUp);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LinuxPhoneQuestion,
    ::testing::Values(AnswerCase{PromptAnswer::Yes, 1, ConnectionMode::P2k05OverUsblan, true},
                      AnswerCase{PromptAnswer::No, 1, ConnectionMode::P2k, false},
                      AnswerCase{PromptAnswer::Cancel, 0, ConnectionMode::P2k, false}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return answerName(info.param.answer); });

TEST_F(P2kAttach, CancelKeepsSearchingAndAsksAgainNextPass) {
    modemPresent();
    f.prompter.queueAnswer(PromptAnswer::Cancel);
    f.prompter.queueAnswer(PromptAnswer::Cancel);
    f.device().attachP2k();
    f.device().attachP2k();
    EXPECT_EQ(f.prompter.shown().size(), 2u);
    EXPECT_EQ(f.fakes.serialPorts.writes().size(), 2u);
    EXPECT_EQ(f.control.restarts, 0);
}

TEST_F(P2kAttach, UnwritablePortSkipsTheWaitButStillAsks) {
    modemPresent();
    f.fakes.serialPorts.failPort("COM1");
    f.prompter.queueAnswer(PromptAnswer::Cancel);
    const uint64_t start = f.clock.nowMs();
    f.device().attachP2k();
    EXPECT_EQ(f.clock.nowMs(), start);
    EXPECT_EQ(f.prompter.shown().size(), 1u);
}

// The attach pass of --phone auto against the simulated modem-mode phone: the modem is a
// real pseudo-terminal, the phone's P2k interface comes up when it gets "at+mode=8".
TEST(AutoAttach, SimulatedModemPhoneIsSwitchedAndOpened) {
    sim::ModemPty modem;
    std::string error;
    ASSERT_TRUE(modem.open(error)) << error;
    sim::PhoneModel model;
    sim::SimPhone phone(model);
    std::atomic<bool> p2kMode{false};
    modem.onP2kMode([&] { p2kMode = true; });
    modem.start();

    DeviceFixture f;
    FakeSerialPortMap map;
    map.set(std::vector<SerialMapEntry>{{"\\Device\\USBSER000", "COM1", modem.slavePath()}});
    TermiosSerialPorts ports(map);
    auto link = std::make_shared<sim::SimLink>(phone);
    // The interface shows up once the phone has left modem mode; the modem answers on its
    // own thread, so the candidate gives it a moment.
    f.fakes.interfaces.setCandidates({{link->devicePath(), [&]() -> std::shared_ptr<DriverLink> {
                                           if (!eventually([&] { return p2kMode.load(); }, 2000))
                                               return nullptr;
                                           return link;
                                       }}});
    DevicePlatform services = f.fakes.services();
    DevicePlatform platform{
        map, ports, services.disks, services.interfaces, services.network, services.commands};
    EXPECT_EQ(f.device(platform).attachOnce(), 0);
    EXPECT_EQ(f.context.driver.link(), link);
    EXPECT_TRUE(f.log.has("message 37"));
    auto commands = modem.commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "at+mode=8");
    modem.stop();
}

// USBLAN attach passes (modes 1 to 3) with a P2k phone on the modem port.
class UsblanAttach : public ::testing::Test {
protected:
    UsblanAttach() : f(ConnectionMode::P2k05OverUsblan) {
        f.fakes.network.setReport("\r\nIP Configuration\r\n\r\n");  // no USB adapter
    }
    void modem(bool present) {
        if (present) {
            f.fakes.serialMap.set(std::vector<SerialMapEntry>{{"\\Device\\USBSER000", "COM1", ""}});
        } else {
            f.fakes.serialMap.set(std::vector<SerialMapEntry>{});
        }
    }
    DeviceFixture f;
};

TEST_F(UsblanAttach, SwitchIsWrittenTwiceInOneWriteAndWaited) {
    modem(true);
    const uint64_t start = f.clock.nowMs();
    f.device().attachUsblan();
    auto writes = f.fakes.serialPorts.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(std::string(writes[0].bytes.begin(), writes[0].bytes.end()),
              "at+mode=13\r\nat+mode=13\r\n");
    EXPECT_TRUE(f.log.has("at+mode=13 --> COM1"));
    // Two reports (400 + 500 each) around the 1024 ms switch wait.
    EXPECT_EQ(f.clock.nowMs() - start, 2u * 900 + 1024);
    EXPECT_EQ(f.state().modemProbeCount, 1u);
    EXPECT_TRUE(f.state().usblanSwitchSent);
}

TEST_F(UsblanAttach, P2kQuestionComesOnTheFourthPassWithoutModemAndOnlyOnce) {
    modem(true);
    auto& device = f.device();
    device.attachUsblan();
    modem(false);  // the phone left modem mode but no USB network adapter came
    f.prompter.queueAnswer(PromptAnswer::No);
    for (int pass = 1; pass <= 3; ++pass) {
        device.attachUsblan();
        EXPECT_TRUE(f.prompter.shown().empty()) << "pass " << pass;
    }
    device.attachUsblan();
    ASSERT_EQ(f.prompter.shown().size(), 1u);
    const Prompt prompt = f.prompter.shown()[0];
    EXPECT_EQ(prompt.title, "Warning !");
    EXPECT_EQ(prompt.buttons, PromptButtons::YesNo);
    EXPECT_EQ(prompt.text,
              "Maybe your settings is P2k over USBLAN, but your phone is P2k/P2k05.\r\n"
              "Do you want to change options to P2k/P2k05 mode, and re-start application ?");
    for (int pass = 0; pass < 6; ++pass) device.attachUsblan();
    EXPECT_EQ(f.prompter.shown().size(), 1u);
    EXPECT_EQ(f.control.restarts, 0);
    EXPECT_EQ(f.context.runSettings.read().mode(), ConnectionMode::P2k05OverUsblan);
    EXPECT_EQ(f.log.count("message 38"), 0);  // the count never was 0 on these passes
}

TEST_F(UsblanAttach, YesSwitchesToP2kModeAndRestarts) {
    modem(true);
    auto& device = f.device();
    device.attachUsblan();
    modem(false);
    f.context.runSettings.change([](RunValues& values) {
        values.useFilter = 1;
        values.forceP2k05 = 1;
    });
    f.context.transport.setP2k05Active(true);
    f.prompter.queueAnswer(PromptAnswer::Yes);
    for (int pass = 0; pass < 4; ++pass) device.attachUsblan();
    EXPECT_EQ(f.control.restarts, 1);
    EXPECT_EQ(f.context.runSettings.read().mode(), ConnectionMode::P2k);
    EXPECT_FALSE(f.context.transport.p2k05Active());
    EXPECT_EQ(f.context.runSettings.read().forceP2k05, 0);
    EXPECT_EQ(f.context.runSettings.read().useFilter, 0);
}

TEST_F(UsblanAttach, ModemSeenAgainRestartsTheCount) {
    modem(true);
    auto& device = f.device();
    device.attachUsblan();
    modem(false);
    device.attachUsblan();
    device.attachUsblan();
    modem(true);
    device.attachUsblan();  // count back to 1; no second switch (only while below 2)
    modem(false);
    for (int pass = 0; pass < 3; ++pass) device.attachUsblan();
    EXPECT_TRUE(f.prompter.shown().empty());
    device.attachUsblan();
    EXPECT_EQ(f.prompter.shown().size(), 1u);
    EXPECT_EQ(f.fakes.serialPorts.writes().size(), 1u);
}

TEST_F(UsblanAttach, NoModemEverLogsOnceAndNeverAsks) {
    modem(false);
    for (int pass = 0; pass < 8; ++pass) f.device().attachUsblan();
    EXPECT_EQ(f.log.count("message 38"), 1);
    EXPECT_TRUE(f.prompter.shown().empty());
}

}  // namespace
}  // namespace mdk::test
