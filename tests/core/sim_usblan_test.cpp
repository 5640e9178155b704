// The simulated phone's USBLAN server over loopback TCP.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "base/clock.h"
#include "base/event_log.h"
#include "base/messages.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "platform/socket_io.h"
#include "sim/sample_phone.h"
#include "sim/usblan_server.h"
#include "sim_payloads.h"

namespace {

using namespace mdk;
using namespace mdk::sim;
using namespace simtest;

int connectTo(int port) {
    std::string error;
    return net::connectAddress("tcp:127.0.0.1:" + std::to_string(port), error);
}

// One request as the host sends it over USBLAN: sequence, command, four zero bytes,
// length, payload.
std::vector<uint8_t> request(uint16_t sequence, uint16_t command,
                             const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    bytes::appendBe16(out, sequence);
    bytes::appendBe16(out, command);
    bytes::appendBe32(out, 0);
    bytes::appendBe32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

class SimUsblan : public ::testing::Test {
protected:
    void SetUp() override {
        loadSamplePhone(model);
        std::string error;
        ASSERT_TRUE(server.listen("tcp:127.0.0.1:0", error)) << error;
        ASSERT_GT(server.port(), 0);
    }
    void TearDown() override {
        for (int fd : fds) ::close(fd);
    }
    int connected() {
        const int fd = connectTo(server.port());
        if (fd >= 0) fds.push_back(fd);
        return fd;
    }

    PhoneModel model{PhoneKind::Linux, "ROKR E6"};
    UsblanServer server{model};
    std::vector<int> fds;
};

TEST_F(SimUsblan, AnswersWithTheTwelveByteHeaderThenTheData) {
    const int fd = connected();
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> payload = listVolumes();
    payload[1] = 0x01;  // as a USBLAN host sends every file-system sub-command
    const std::vector<uint8_t> out = request(0x123, 0x4A, payload);
    ASSERT_TRUE(net::sendAll(fd, out.data(), out.size()));

    uint8_t header[12];
    ASSERT_TRUE(net::receiveExact(fd, header, sizeof header, 2000));
    EXPECT_EQ(header[0], 0x80);
    EXPECT_EQ(bytes::be16(header + 5), 0x123);
    const uint16_t length = bytes::be16(header + 10);
    std::vector<uint8_t> data(length);
    ASSERT_TRUE(net::receiveExact(fd, data.data(), length, 2000));
    EXPECT_EQ(data, fs(model, listVolumes()).data);
}

TEST_F(SimUsblan, HostTransportReadsTheBluetoothConfiguration) {
    const int fd = connected();
    ASSERT_GE(fd, 0);
    MessageTable messages;
    EventLog log(messages);
    ManualClock clock;
    UsbDriver driver(log);
    Transport transport(driver, log, clock);
    transport.setP2k05Active(true);
    transport.setUsblanMode(true);
    transport.setUsblanSocket(fd);
    auto exchange = [&](const std::vector<uint8_t>& payload, std::vector<uint8_t>* data) {
        std::vector<uint8_t> buffer(2000, 0);
        uint32_t length = 0;
        const int result =
            transport.p2kExchange(0x4A, payload, buffer.data(), buffer.size(), length);
        if (data) data->assign(buffer.begin(), buffer.begin() + length);
        return result;
    };
    std::vector<uint8_t> text;
    ASSERT_EQ(exchange(openFile(kBluetoothConfigPath, 0xFFFFFFFF), nullptr), 0);
    ASSERT_EQ(exchange(seekFile(0, 0), nullptr), 0);
    ASSERT_EQ(exchange(readFile(500), &text), 0);
    ASSERT_EQ(exchange(closeFile(), nullptr), 0);
    const std::string content(text.begin(), text.end());
    EXPECT_NE(content.find("defaultLocalDevName = ROKR E6\n"), std::string::npos) << content;

    std::vector<uint8_t> count;
    ASSERT_EQ(exchange(searchPattern("/ezxlocal/*"), &count), 0);
    ASSERT_EQ(count.size(), 2u);
    EXPECT_GT(bytes::be16(count.data()), 0);
}

TEST_F(SimUsblan, OversizedRequestDropsTheConnection) {
    const int fd = connected();
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> out = request(1, 0x4A, {});
    bytes::putBe32(&out[8], UsblanServer::kMaxPayload + 1);
    ASSERT_TRUE(net::sendAll(fd, out.data(), out.size()));
    uint8_t byte = 0;
    EXPECT_FALSE(net::receiveExact(fd, &byte, 1, 2000));
    EXPECT_EQ(server.requestsServed(), 0u);
}

TEST_F(SimUsblan, NewConnectionReplacesAnIdleOne) {
    const int first = connected();
    ASSERT_GE(first, 0);
    const int second = connected();
    ASSERT_GE(second, 0);
    const std::vector<uint8_t> out = request(7, 0x22, {});
    ASSERT_TRUE(net::sendAll(second, out.data(), out.size()));
    uint8_t header[12];
    ASSERT_TRUE(net::receiveExact(second, header, sizeof header, 3000));
    EXPECT_EQ(bytes::be16(header + 5), 7);
    EXPECT_EQ(model.restartCount(), 1u);
}

TEST(SimUsblanStart, ConnectionsAreRefusedUntilTheInterfaceComesUp) {
    PhoneModel model(PhoneKind::Linux, "ROKR E6");
    UsblanServer server(model);
    std::string error;
    ASSERT_TRUE(server.bind("tcp:127.0.0.1:0", error)) << error;
    const int port = server.port();
    ASSERT_GT(port, 0);
    EXPECT_LT(connectTo(port), 0);
    ASSERT_TRUE(server.start(error)) << error;
    const int fd = connectTo(port);
    EXPECT_GE(fd, 0);
    if (fd >= 0) ::close(fd);
}

TEST(SimUsblanStart, OnlyLoopbackAddressesAreServed) {
    PhoneModel model(PhoneKind::Linux, "ROKR E6");
    UsblanServer server(model);
    std::string error;
    for (const char* address : {"tcp:0.0.0.0:0", "tcp:192.168.16.2:11000", "127.0.0.1:0",
                                "tcp:127.0.0.1:70000", "tcp:127.0.0.1:"}) {
        EXPECT_FALSE(server.bind(address, error)) << address;
    }
}

}  // namespace
