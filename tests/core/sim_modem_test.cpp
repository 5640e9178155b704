// The simulated phone's modem port on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/socket_io.h"
#include "sim/modem_pty.h"
#include "sim/sim_phone.h"
#include "sim/socket_server.h"
#include "sim/usblan_server.h"

namespace {

using namespace mdk::sim;

// Reads from fd until the text seen so far ends with the wanted text, or 3 s pass.
std::string readUntil(int fd, const std::string& wanted) {
    std::string seen;
    for (int i = 0;
         i < 30 && (seen.size() < wanted.size() ||
                    seen.compare(seen.size() - wanted.size(), wanted.size(), wanted) != 0);
         ++i) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) seen.append(buffer, static_cast<size_t>(n));
    }
    return seen;
}

TEST(SimModem, AnswersLikeAModem) {
    ModemPty modem;
    int p2k = 0, usblan = 0;
    modem.onP2kMode([&] { ++p2k; });
    modem.onUsblanMode([&] { ++usblan; });
    modem.setUsblanCommand("AT+mode=13");
    struct Case {
        const char* line;
        const char* answer;
    };
    const Case cases[] = {
        {"at+mode=8", "\r\nOK\r\n"},
        {"AT+MODE=13", "\r\nOK\r\n"},
        {"AT", "\r\nOK\r\n"},
        {"ATZ", "\r\nOK\r\n"},
        {"ATD0123", "\r\nERROR\r\n"},
        {"hello", "\r\nERROR\r\n"},
        {"  ", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(modem.answer(c.line), c.answer) << c.line;
    EXPECT_EQ(p2k, 1);
    EXPECT_EQ(usblan, 1);
    EXPECT_EQ(modem.commands().size(), std::size(cases) - 1);
}

TEST(SimModem, P2kSwitchOverThePtyBringsTheInterfaceUp) {
    PhoneModel model;
    SimPhone phone(model);
    phone.setInterfaceUp(false);
    ModemPty modem;
    std::string error;
    ASSERT_TRUE(modem.open(error)) << error;
    modem.onP2kMode([&] { phone.setInterfaceUp(true); });
    modem.start();

    const int fd = ::open(modem.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << modem.slavePath();
    const std::string command = "at+mode=8\r\n";
    ASSERT_EQ(::write(fd, command.data(), command.size()), ssize_t(command.size()));
    EXPECT_EQ(readUntil(fd, "\r\nOK\r\n"), "\r\nOK\r\n");
    EXPECT_TRUE(phone.interfaceUp());
    ::close(fd);
    modem.stop();
}

TEST(SimModem, UsblanSwitchWrittenTwiceStartsTheServerOnce) {
    PhoneModel model(PhoneKind::Linux, "ROKR E6");
    UsblanServer server(model);
    std::string error;
    ASSERT_TRUE(server.bind("tcp:127.0.0.1:0", error)) << error;
    ModemPty modem;
    ASSERT_TRUE(modem.open(error)) << error;
    std::atomic<int> switches{0};
    modem.onUsblanMode([&] {
        ++switches;
        std::string startError;
        server.start(startError);
    });
    modem.start();

    const int fd = ::open(modem.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const std::string command = "at+mode=13\r\nat+mode=13\r\n";
    ASSERT_EQ(::write(fd, command.data(), command.size()), ssize_t(command.size()));
    EXPECT_EQ(readUntil(fd, "\r\nOK\r\n\r\nOK\r\n"), "\r\nOK\r\n\r\nOK\r\n");
    EXPECT_EQ(switches, 2);
    EXPECT_TRUE(server.running());
    const int client =
        mdk::net::connectAddress("tcp:127.0.0.1:" + std::to_string(server.port()), error);
    EXPECT_GE(client, 0) << error;
    if (client >= 0) ::close(client);

    // An overlong line is answered ERROR and does not switch anything.
    const std::string overlong = std::string(ModemPty::kMaxLine + 10, 'A') + "\r";
    ASSERT_EQ(::write(fd, overlong.data(), overlong.size()), ssize_t(overlong.size()));
    EXPECT_EQ(readUntil(fd, "\r\nERROR\r\n"), "\r\nERROR\r\n");
    ::close(fd);
    modem.stop();
}

// A phone in modem mode has no Test Command interface: the emulator socket closes every
// connection until the P2k switch.
TEST(SimModem, EmulatorSocketServesOnlyAfterTheP2kSwitch) {
    PhoneModel model;
    SimPhone phone(model);
    phone.setInterfaceUp(false);
    SocketServer server(phone);
    std::string error;
    ASSERT_TRUE(server.listen("tcp:127.0.0.1:0", error)) << error;
    server.setBringUpOnConnect(false);
    server.start();
    const std::string address = "tcp:127.0.0.1:" + std::to_string(server.port());
    // Interface-name request: code, capacity, input length, input.
    const std::vector<uint8_t> request = {0x10, 0x20, 0x00, 0x80, 5, 1, 0, 0, 2, 0, 0, 0, 2, 1};
    auto ask = [&]() {
        const int fd = mdk::net::connectAddress(address, error);
        if (fd < 0) return false;
        uint8_t reply[8];
        const bool answered = mdk::net::sendAll(fd, request.data(), request.size()) &&
                              mdk::net::receiveExact(fd, reply, sizeof reply, 3000);
        ::close(fd);
        return answered;
    };
    EXPECT_FALSE(ask());
    EXPECT_FALSE(phone.interfaceUp());
    ModemPty modem;
    modem.onP2kMode([&] { phone.setInterfaceUp(true); });
    modem.answer("at+mode=8");
    EXPECT_TRUE(ask());
    server.stop();
}

}  // namespace
