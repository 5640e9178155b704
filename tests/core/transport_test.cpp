// The P2k link: frames of both framings, the exchange's checks and results, time-outs on
// the manual clock, the USBLAN socket exchange and the phone-session lock.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "phone_fixture.h"
#include "platform/socket_link.h"
#include "sim/socket_server.h"

namespace mdk::test {
namespace {

using sim::PhoneKind;

TEST(Frames, ClassicFrameLaysOutEveryField) {
    const uint8_t payload[2] = {0xAA, 0xBB};
    EXPECT_EQ(Transport::classicFrame(0x1005, 0x120, 8, payload),
              (std::vector<uint8_t>{0x41, 0x02, 0x00, 0x00, 0x08, 0x00, 0x0A, 0x00, 0x00, 0x05,
                                    0x01, 0x20, 0x00, 0x02, 0x00, 0x00, 0xAA, 0xBB, 0x00, 0x00}));
}

TEST(Frames, P2k05FrameLaysOutEveryField) {
    const uint8_t payload[3] = {1, 2, 3};
    EXPECT_EQ(Transport::p2k05Frame(0x0FFF, 0x4A, payload),
              (std::vector<uint8_t>{0x02, 15, 0, 0, 0, 0x0F, 0xFF, 0x00, 0x4A, 0,   0,
                                    0,    0,  0, 0, 0, 3,    1,    2,    3,    0x00}));
}

// Reads seem 4 record 1 through the transport; the reply length goes to length.
int readSeem4(PhoneFixture& f, uint32_t& length, size_t capacity = 64) {
    const uint8_t payload[8] = {0, 4, 0, 1, 0, 0, 0, 8};
    std::vector<uint8_t> reply(capacity);
    return f.context.transport.p2kExchange(0x20, payload, reply.data(), reply.size(), length);
}

TEST(Transport, SequenceWrapsTo0AfterFourThousandNinetyFive) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.context.transport.setSequence(4094);
    uint32_t length = 0;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(readSeem4(f, length), 0);
    auto sent = f.link->commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].sequence, 4095);
    EXPECT_EQ(sent[1].sequence, 0);
    EXPECT_EQ(sent[2].sequence, 1);
}

TEST(Transport, ClassicReplyOfAnEarlierCommandIsRejected) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.phone.faults().staleSequence = true;
    uint32_t length = 0;
    EXPECT_EQ(readSeem4(f, length), 1);
    EXPECT_TRUE(f.log.has("M26"));
}

TEST(Transport, ThreeWaitingRepliesCountAsNothingWaiting) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.phone.faults().threeWaitingPolls = 2;
    uint32_t length = 0;
    EXPECT_EQ(readSeem4(f, length), 0);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(f.link->count(kRequestControlTransfer, 0xC1, 0x00), 3u);  // polled again twice
}

TEST(Transport, StatusSixLeavesTheReplyLengthAlone) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.phone.faults().errorStatus = 6;
    uint32_t length = 77;
    EXPECT_EQ(readSeem4(f, length), 0);
    EXPECT_EQ(length, 77u);
}

TEST(Transport, ErrorStatusIsLoggedAsThatMessage) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.phone.faults().errorStatus = 5;
    uint32_t length = 0;
    EXPECT_EQ(readSeem4(f, length), -1);
    EXPECT_TRUE(f.log.has("M5"));
}

// A phone that answers only after the exchange gave up: its late replies (here the
// identity record and a second one) are dropped before the next command, which gets its
// own reply, in both framings.
TEST(Transport, LateRepliesAreDroppedBeforeTheNextCommand) {
    for (auto kind : {PhoneKind::ClassicGsm, PhoneKind::P2k05Gsm}) {
        PhoneFixture f(kind);
        f.context.transport.setP2k05Active(kind == PhoneKind::P2k05Gsm);
        sim::Faults silent;
        silent.silentAfterCommands = 0;
        f.phone.setFaults(silent);
        const uint8_t identity[8] = {0x01, 0x17, 0, 1, 0, 0, 0, 0};
        std::vector<uint8_t> reply(128);
        uint32_t length = 0;
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(
                f.context.transport.p2kExchange(0x20, identity, reply.data(), reply.size(), length),
                -1);
        }
        f.phone.setFaults({});  // the phone answers again, late replies first
        length = 0;
        EXPECT_EQ(readSeem4(f, length), 0);
        EXPECT_EQ(length, 9u) << "the reply of seem 4, not a late identity record";
        length = 0;
        EXPECT_EQ(readSeem4(f, length), 0);
        EXPECT_EQ(length, 9u);
    }
}

TEST(Transport, ReplyIsCutToTheCallersCapacity) {
    for (auto kind : {PhoneKind::ClassicGsm, PhoneKind::P2k05Gsm}) {
        PhoneFixture f(kind);
        f.context.transport.setP2k05Active(kind == PhoneKind::P2k05Gsm);
        f.model.setSeem(4, 1, std::vector<uint8_t>(200, 0x5A));
        const uint8_t payload[8] = {0, 4, 0, 1, 0, 0, 0, 0};
        std::vector<uint8_t> reply(16, 0xEE);
        uint32_t length = 0;
        ASSERT_EQ(f.context.transport.p2kExchange(0x20, payload, reply.data(), 10, length), 0);
        EXPECT_EQ(length, 10u);
        EXPECT_EQ(reply[9], 0x5A);
        EXPECT_EQ(reply[10], 0xEE) << "nothing written past the capacity";
    }
}

TEST(Transport, ClassicFetchAnnouncingMoreThanArrivedIsCut) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    auto script = std::make_shared<ScriptedLink>();
    ScriptedClassicPhone phone;
    phone.attach(*script);
    // The fetch reply is cut short by the link: the header announces 100 data bytes.
    script->answer = [&, inner = script->answer](uint32_t code, std::span<const uint8_t> in,
                                                 std::vector<uint8_t>& out) {
        DriverStatus s = inner(code, in, out);
        if (code == kRequestControlTransfer && in[0] == 0xC1 && in[1] == 0x01) out.resize(4 + 20);
        return s;
    };
    phone.queue(8, std::vector<uint8_t>(100, 1));
    f.context.driver.setLink(script);
    std::vector<uint8_t> reply(200, 0);
    uint32_t length = 0;
    EXPECT_EQ(f.context.transport.p2kExchange(0x20, {}, reply.data(), reply.size(), length), 0);
    EXPECT_EQ(length, 6u) << "only the data that arrived after the 14-byte header";
}

// A P2k05 phone whose reply begins with the given byte.
int p2k05ExchangeWithMark(PhoneFixture& f, uint8_t mark) {
    auto script = std::make_shared<ScriptedLink>();
    script->answer = [mark](uint32_t code, std::span<const uint8_t>, std::vector<uint8_t>& out) {
        if (code == kRequestP2k05Send) return DriverStatus::Completed;
        out = {0, 0, 0, 0, mark, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0x11, 0x22};
        return DriverStatus::Completed;
    };
    f.context.driver.setLink(script);
    f.context.transport.setP2k05Active(true);
    uint8_t reply[4] = {};
    uint32_t length = 0;
    return f.context.transport.p2kExchange(0x20, {}, reply, sizeof reply, length);
}

TEST(Transport, P2k05ReplyMarks) {
    PhoneFixture f;
    EXPECT_EQ(p2k05ExchangeWithMark(f, 0x81), 1);
    EXPECT_TRUE(f.log.has("M26"));
    EXPECT_EQ(p2k05ExchangeWithMark(f, 0x82), 0);
    EXPECT_EQ(p2k05ExchangeWithMark(f, 0x80), 0);
}

TEST(Transport, ClassicWaitEndsAfterFortySecondsOnTheClock) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.phone.faults().threeWaitingPolls = 1000000;  // never anything fetchable
    const uint64_t start = f.clock.nowMs();
    uint32_t length = 0;
    EXPECT_EQ(readSeem4(f, length), -1);
    EXPECT_TRUE(f.log.has("M25"));
    EXPECT_GE(f.clock.nowMs() - start, 40000u);
    EXPECT_LT(f.clock.nowMs() - start, 40100u);
}

TEST(Transport, P2k05WaitEndsAfterFiveSecondsOnTheClock) {
    PhoneFixture f;
    auto script = std::make_shared<ScriptedLink>();
    script->answer = [](uint32_t code, std::span<const uint8_t>, std::vector<uint8_t>&) {
        return code == kRequestP2k05Send ? DriverStatus::Completed : DriverStatus::Failed;
    };
    f.context.driver.setLink(script);
    f.context.transport.setP2k05Active(true);
    const uint64_t start = f.clock.nowMs();
    uint32_t length = 0;
    EXPECT_EQ(f.context.transport.p2kExchange(0x20, {}, nullptr, 0, length), -1);
    EXPECT_TRUE(f.log.has("M25"));
    EXPECT_GE(f.clock.nowMs() - start, 5000u);
    EXPECT_FALSE(f.log.has("M31")) << "a not-ready poll is not a driver failure";
}

TEST(Transport, FailedSendIsLoggedAndFails) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.phone.faults().dropConnection = true;
    uint32_t length = 0;
    EXPECT_EQ(readSeem4(f, length), -1);
    EXPECT_TRUE(f.log.has("M24"));
}

TEST(Transport, NoInterfaceMeansNoDriverRequest) {
    PhoneFixture f;
    f.context.driver.markUsblanLink();  // linkHandle 1 is a marker, never a handle
    EXPECT_EQ(f.context.driver.linkHandle(), 1);
    uint32_t length = 0;
    EXPECT_EQ(readSeem4(f, length), -1);
    EXPECT_TRUE(f.log.has("No P2k interface is open: driver request refused."));
}

TEST(UsbDriverTrace, SendAndPollAreTracedWhilePacketsAreLogged) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    f.context.log.setPackets(true);
    uint32_t length = 0;
    ASSERT_EQ(readSeem4(f, length), 0);
    auto lines = f.log.lines();
    // The 26-byte classic frame traces as 6 words: 48 digits and "H".
    EXPECT_EQ(lines.at(0), "410200000800100000010020000800000004000100000008H");
    EXPECT_EQ(lines.at(1), "M104");
    EXPECT_EQ(lines.at(2), "-------------");
}

// The P2k05 exchange over the emulator socket, where the send and the first receive
// travel together: the trace still reads send, then receive, and a send the phone fails
// leaves no reply behind for the next exchange.
class P2k05OverSocket : public ::testing::Test {
protected:
    P2k05OverSocket() : server(f.phone) {}
    void SetUp() override {
        const std::string address = "unix:" + f.programFolder() + "/phone.sock";
        std::string error;
        ASSERT_TRUE(server.listen(address, error)) << error;
        server.start();
        std::shared_ptr<DriverLink> link = SocketLink::connect(address, error);
        ASSERT_TRUE(link) << error;
        f.context.driver.setLink(link);
        f.context.transport.setP2k05Active(true);
    }
    void TearDown() override {
        f.context.driver.clearLink();
        server.stop();
    }
    PhoneFixture f;
    sim::SocketServer server;
};

TEST_F(P2k05OverSocket, TraceReadsSendThenReceive) {
    f.context.log.setPackets(true);
    uint32_t length = 0;
    ASSERT_EQ(readSeem4(f, length), 0);
    EXPECT_EQ(length, 9u);
    const auto lines = f.log.lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "02140000000001002000000000000000080004000100000008000000H");  // frame
    EXPECT_EQ(lines[1], "M104");
    EXPECT_EQ(lines[2], "-------------");
    EXPECT_EQ(lines[3], "020010000000000000000000000000000000000000000000H");  // poll record
    EXPECT_EQ(lines[4], "M105");
    EXPECT_EQ(lines[5].substr(0, 24), "800000000000010000000009");  // the reply, sequence 1
    EXPECT_EQ(lines[6], "-------------");
}

TEST_F(P2k05OverSocket, AFailedSendLeavesTheLinkInStep) {
    uint32_t length = 0;
    ASSERT_EQ(readSeem4(f, length), 0);
    sim::Faults refuse;
    refuse.refuseP2k05 = true;  // the phone fails the send, and its receive finds nothing
    f.phone.setFaults(refuse);
    EXPECT_EQ(readSeem4(f, length), -1);
    EXPECT_TRUE(f.log.has("M24"));
    f.phone.setFaults({});
    length = 0;
    EXPECT_EQ(readSeem4(f, length), 0);  // the next exchange gets its own reply
    EXPECT_EQ(length, 9u);
    EXPECT_TRUE(f.context.driver.link()->isOpen());
}

// ---- USBLAN ----------------------------------------------------------------------------

class UsblanTransport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
        f_.context.transport.setP2k05Active(true);
        f_.context.transport.setUsblanMode(true);
        f_.context.transport.setUsblanSocket(fds_[0]);
        f_.context.transport.setUsblanReplyWaitMs(300);
    }
    void TearDown() override {
        if (phone_.joinable()) phone_.join();
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    // The phone reads one request and runs answer on the raw request bytes.
    void phone(std::function<void(int, std::vector<uint8_t>)> answer) {
        phone_ = std::thread([this, answer] {
            std::vector<uint8_t> head(12);
            if (::recv(fds_[1], head.data(), 12, MSG_WAITALL) != 12) return;
            std::vector<uint8_t> payload(bytes::be32(&head[8]));
            if (!payload.empty()) ::recv(fds_[1], payload.data(), payload.size(), MSG_WAITALL);
            head.insert(head.end(), payload.begin(), payload.end());
            answer(fds_[1], head);
        });
    }
    static std::vector<uint8_t> reply(std::vector<uint8_t> data) {
        std::vector<uint8_t> r = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        bytes::appendBe16(r, uint16_t(data.size()));
        r.insert(r.end(), data.begin(), data.end());
        return r;
    }
    int exchange(uint16_t command, std::vector<uint8_t> payload, std::vector<uint8_t>& out) {
        out.assign(64, 0);
        uint32_t length = 0;
        int result =
            f_.context.transport.p2kExchange(command, payload, out.data(), out.size(), length);
        out.resize(result == 0 ? length : 0);
        return result;
    }

    PhoneFixture f_;
    int fds_[2] = {-1, -1};
    std::thread phone_;
};

TEST_F(UsblanTransport, FileSystemCommandsCarryOneInTheSecondByte) {
    std::vector<uint8_t> seen;
    phone([&](int fd, std::vector<uint8_t> request) {
        seen = request;
        auto r = reply({});
        ::send(fd, r.data(), r.size(), 0);
    });
    std::vector<uint8_t> out;
    EXPECT_EQ(exchange(0x4A, {0, 0, 0, 1}, out), 0);
    phone_.join();
    ASSERT_EQ(seen.size(), 16u) << "the USBLAN frame is n + 12 bytes";
    EXPECT_EQ(std::vector<uint8_t>(seen.begin() + 12, seen.end()),
              (std::vector<uint8_t>{0, 1, 0, 1}));
    EXPECT_EQ(bytes::be16(&seen[2]), 0x4A);
    EXPECT_TRUE(out.empty()) << "a length of 0 is a valid, empty reply";
}

TEST_F(UsblanTransport, ReplySplitIntoTwoSegmentsIsReadWhole) {
    phone([&](int fd, std::vector<uint8_t>) {
        auto r = reply({1, 2, 3, 4, 5, 6, 7, 8});
        ::send(fd, r.data(), 7, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ::send(fd, r.data() + 7, r.size() - 7, 0);
    });
    std::vector<uint8_t> out;
    EXPECT_EQ(exchange(0x20, {0, 4, 0, 1, 0, 0, 0, 8}, out), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(UsblanTransport, ShortReplyIsRejectedAndDoesNotSpoilTheNextOne) {
    phone([&](int fd, std::vector<uint8_t>) {
        auto r = reply({1, 2, 3, 4, 5, 6, 7, 8});
        ::send(fd, r.data(), 14, 0);  // 2 of 8 data bytes, then silence past the wait
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::send(fd, r.data() + 14, r.size() - 14, 0);  // the late rest
    });
    std::vector<uint8_t> out;
    EXPECT_EQ(exchange(0x20, {0, 4, 0, 1, 0, 0, 0, 8}, out), 1);
    phone_.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    phone([&](int fd, std::vector<uint8_t>) {
        auto r = reply({9, 9});
        ::send(fd, r.data(), r.size(), 0);
    });
    EXPECT_EQ(exchange(0x20, {0, 4, 0, 1, 0, 0, 0, 8}, out), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{9, 9}));
}

TEST_F(UsblanTransport, WrongFirstByteIsRejectedSilently) {
    phone([&](int fd, std::vector<uint8_t>) {
        auto r = reply({1});
        r[0] = 0x81;
        ::send(fd, r.data(), r.size(), 0);
    });
    std::vector<uint8_t> out;
    EXPECT_EQ(exchange(0x20, {}, out), 1);
    EXPECT_TRUE(f_.log.lines().empty());
}

// The options dialog and the link watch set the interface index on their own threads
// while a worker's exchanges use it (the ThreadSanitizer build checks the sharing).
TEST(Transport, InterfaceIndexSetWhileAnotherThreadExchanges) {
    PhoneFixture f(PhoneKind::ClassicGsm);
    Transport& transport = f.context.transport;
    std::atomic<int> done{0};
    std::atomic<int> failures{0};
    std::thread worker([&] {
        uint32_t length = 0;
        for (int i = 0; i < 40; ++i, ++done) failures += readSeem4(f, length) != 0;
    });
    while (done == 0) std::this_thread::yield();
    for (int i = 0; i < 20; ++i) {
        transport.setUsbInterfaceIndex(8);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(transport.usbInterfaceIndex(), 8);
}

// ---- the phone-session lock ------------------------------------------------------------

TEST(PhoneSessionLock, KeepsASecondOperationOutUntilTheFirstEnds) {
    PhoneFixture f;
    std::atomic<bool> secondRan{false};
    std::thread second;
    {
        PhoneSession first(f.context.transport);
        second = std::thread([&] {
            PhoneSession mine(f.context.transport);
            secondRan = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(secondRan) << "the second operation started inside the first";
        // The holder may nest further phone operations (the lock is re-entrant).
        PhoneSession nested(f.context.transport);
    }
    second.join();
    EXPECT_TRUE(secondRan);
}

}  // namespace
}  // namespace mdk::test
