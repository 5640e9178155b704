// The emulator-socket link and the simulated phone's socket server: the format on the wire,
// replies that arrive in pieces or break the format, and requests that arrive in pieces or
// back to back. Also the fine waits the classic exchange relies on.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "base/clock.h"
#include "platform/fine_sleep.h"
#include "platform/socket_io.h"
#include "platform/socket_link.h"
#include "sim/phone_model.h"
#include "sim/sim_phone.h"
#include "sim/socket_server.h"

namespace mdk {
namespace {

using Bytes = std::vector<uint8_t>;

std::string scratchSocket(const char* name) {
    return "unix:" + (std::filesystem::temp_directory_path() /
                      (std::string("mdk-") + name + "-" + std::to_string(::getpid())))
                         .string();
}

Bytes reply(int32_t status, const Bytes& data) {
    Bytes out;
    bytes::appendLe32(out, static_cast<uint32_t>(status));
    bytes::appendLe32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes requestBytes(uint32_t code, uint32_t capacity, const Bytes& input) {
    Bytes out;
    bytes::appendLe32(out, code);
    bytes::appendLe32(out, capacity);
    bytes::appendLe32(out, static_cast<uint32_t>(input.size()));
    out.insert(out.end(), input.begin(), input.end());
    return out;
}

// Cuts bytes into pieces at the given offsets.
std::vector<Bytes> cut(const Bytes& all, std::vector<size_t> at) {
    std::vector<Bytes> pieces;
    size_t from = 0;
    at.push_back(all.size());
    for (size_t to : at) {
        pieces.emplace_back(all.begin() + long(from), all.begin() + long(to));
        from = to;
    }
    return pieces;
}

// A test's own emulator: takes one connection, reads the given number of requests, writes
// the replies in the pieces given (a few ms apart), then hangs up or waits for the program
// to.
class ScriptedEmulator {
public:
    ScriptedEmulator(std::vector<Bytes> pieces, bool hangUp, int requests = 1)
        : address_(scratchSocket("scripted")),
          pieces_(std::move(pieces)),
          hangUp_(hangUp),
          requests_(requests) {
        listenFd_ = net::listenAddress(address_, error_);
        if (listenFd_ >= 0) thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedEmulator() {
        if (thread_.joinable()) thread_.join();
        if (listenFd_ >= 0) ::close(listenFd_);
        ::unlink(address_.substr(5).c_str());
    }
    const std::string& address() const { return address_; }
    const std::string& error() const { return error_; }
    // The requests as they arrived, one after the other; read after the link is closed.
    const Bytes& request() {
        if (thread_.joinable()) thread_.join();
        return request_;
    }

private:
    void serve() {
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) return;
        for (int i = 0; i < requests_; ++i) {
            const size_t at = request_.size();
            request_.resize(at + 12);
            if (!net::receiveExact(fd, request_.data() + at, 12, 3000)) break;
            request_.resize(at + 12 + bytes::le32(&request_[at + 8]));
            net::receiveExact(fd, request_.data() + at + 12, request_.size() - at - 12, 3000);
        }
        for (const Bytes& piece : pieces_) {
            net::sendAll(fd, piece.data(), piece.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!hangUp_) {  // until the program closes its end
            pollfd pfd{fd, POLLIN, 0};
            ::poll(&pfd, 1, 3000);
        }
        ::close(fd);
    }

    std::string address_;
    std::string error_;
    std::vector<Bytes> pieces_;
    bool hangUp_;
    int requests_;
    int listenFd_ = -1;
    Bytes request_;
    std::thread thread_;
};

TEST(SocketLink, RepliesInPiecesAndBrokenRepliesEndAsTheFormatSays) {
    const Bytes data = {'p', 'h', 'o', 'n', 'e', 0, 1, 2, 3};
    Bytes withExtra = reply(0, data);
    withExtra.insert(withExtra.end(), {0xEE, 0xEE});
    struct Case {
        const char* name;
        std::vector<Bytes> pieces;
        bool hangUp;
        DriverStatus status;
        Bytes output;
        bool openAfter;
    };
    const Case cases[] = {
        {"whole reply", {reply(0, data)}, false, DriverStatus::Completed, data, true},
        {"header and body in pieces", cut(reply(0, data), {1, 3, 7, 8, 12}), false,
         DriverStatus::Completed, data, true},
        {"no output bytes", {reply(0, {})}, false, DriverStatus::Completed, {}, true},
        {"the device failed it", {reply(1, {})}, false, DriverStatus::Failed, {}, true},
        {"longer than the buffer",
         {reply(0, Bytes(300, 7))},
         false,
         DriverStatus::Failed,
         {},
         false},
        {"bytes past the reply", {withExtra}, false, DriverStatus::Failed, {}, false},
        {"no reply in time", {}, false, DriverStatus::TimedOut, {}, false},
        {"emulator hangs up", {}, true, DriverStatus::TimedOut, {}, false},
        {"half a header, then hangs up",
         {cut(reply(0, data), {5}).front()},
         true,
         DriverStatus::TimedOut,
         {},
         false},
        {"half the output, then hangs up",
         {cut(reply(0, data), {11}).front()},
         true,
         DriverStatus::TimedOut,
         {},
         false},
    };
    const Bytes input = {0xC1, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x00};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedEmulator emulator(c.pieces, c.hangUp);
        ASSERT_EQ(emulator.error(), "");
        std::string error;
        auto link = SocketLink::connect(emulator.address(), error);
        ASSERT_TRUE(link) << error;
        Bytes output = {9, 9};
        EXPECT_EQ(link->request(kRequestControlTransfer, input, 261, output, 200), c.status);
        if (c.status == DriverStatus::Completed) {
            EXPECT_EQ(output, c.output);
        }
        EXPECT_EQ(link->isOpen(), c.openAfter);
        link->close();
        EXPECT_EQ(emulator.request(), requestBytes(kRequestControlTransfer, 261, input));
    }
}

Bytes joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Two requests issued back to back (a P2k05 send and its first receive): both leave before
// either reply, and each reply is read to its own end however the two arrive.
TEST(SocketLink, TwoRequestsBackToBackKeepTheirRepliesApart) {
    const Bytes frame = {0x10, 0x00, 0x00, 0x04, 0x00, 0x00};
    const Bytes poll = {0x02, 0x00, 0x10, 0x00, 0x00};
    const Bytes data = {0, 0, 0, 0, 0x80, 0x01, 0x02};
    const Bytes both = joined(reply(0, {}), reply(0, data));
    struct Case {
        const char* name;
        std::vector<Bytes> pieces;
        size_t sendCapacity;
        DriverStatusPair status;
        Bytes secondOutput;
        bool openAfter;
    };
    using S = DriverStatus;
    const Case cases[] = {
        {"both replies in one piece", {both}, 0, {S::Completed, S::Completed}, data, true},
        {"cut inside and across the replies",
         cut(both, {3, 8, 10, 17}),
         0,
         {S::Completed, S::Completed},
         data,
         true},
        {"the first reply with output",
         {joined(reply(0, {7, 7}), reply(0, data))},
         4,
         {S::Completed, S::Completed},
         data,
         true},
        {"the first failed, the second still read",
         {joined(reply(1, {}), reply(0, data))},
         0,
         {S::Failed, S::Completed},
         data,
         true},
        {"the second not ready",
         {joined(reply(0, {}), reply(1, {}))},
         0,
         {S::Completed, S::Failed},
         {},
         true},
        {"the first longer than its buffer",
         {joined(reply(0, {1, 2, 3, 4, 5}), reply(0, data))},
         4,
         {S::Failed, S::Failed},
         {},
         false},
        {"the first reply only", {reply(0, {})}, 0, {S::Completed, S::TimedOut}, {}, false},
        {"no reply at all", {}, 0, {S::TimedOut, S::Failed}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedEmulator emulator(c.pieces, false, 2);
        ASSERT_EQ(emulator.error(), "");
        std::string error;
        auto link = SocketLink::connect(emulator.address(), error);
        ASSERT_TRUE(link) << error;
        Bytes firstOutput = {9};
        Bytes secondOutput = {9};
        const DriverRequest send{kRequestP2k05Send, frame, c.sendCapacity, 200};
        const DriverRequest receive{kRequestP2k05Receive, poll, 4101, 200};
        const DriverStatusPair status = link->requestBoth(send, firstOutput, receive, secondOutput);
        EXPECT_EQ(status.first, c.status.first);
        EXPECT_EQ(status.second, c.status.second);
        if (status.first == S::Completed) {
            EXPECT_EQ(firstOutput, Bytes(c.sendCapacity ? 2 : 0, 7));
        }
        EXPECT_EQ(secondOutput, c.secondOutput);
        EXPECT_EQ(link->isOpen(), c.openAfter);
        link->close();
        EXPECT_EQ(emulator.request(),
                  joined(requestBytes(kRequestP2k05Send, uint32_t(c.sendCapacity), frame),
                         requestBytes(kRequestP2k05Receive, 4101, poll)));
    }
}

// The simulated phone behind its socket server, reached over both address forms.
class SocketServerTest : public ::testing::Test {
protected:
    SocketServerTest() : phone(model), server(phone) {}
    ~SocketServerTest() override { server.stop(); }

    std::string start(const std::string& address) {
        std::string error;
        EXPECT_TRUE(server.listen(address, error)) << error;
        server.start();
        if (address.rfind("tcp:", 0) == 0) {
            return "tcp:127.0.0.1:" + std::to_string(server.port());
        }
        return address;
    }
    // What the phone answers to an interface-name request, framed as a reply.
    Bytes nameReply() {
        Bytes output;
        phone.handle(kRequestInterfaceName, Bytes{2, 1}, 261, output);
        return reply(0, output);
    }
    static Bytes nameRequest() { return requestBytes(kRequestInterfaceName, 261, {2, 1}); }

    sim::PhoneModel model;
    sim::SimPhone phone;
    sim::SocketServer server;
};

TEST_F(SocketServerTest, AnswersRequestsThatArriveBackToBackOrInPieces) {
    const std::string address = start(scratchSocket("server"));
    std::string error;
    const int fd = net::connectAddress(address, error);
    ASSERT_GE(fd, 0) << error;
    // Two requests in one write, then a third a byte at a time.
    Bytes two = nameRequest();
    const Bytes one = nameRequest();
    two.insert(two.end(), one.begin(), one.end());
    ASSERT_TRUE(net::sendAll(fd, two.data(), two.size()));
    for (uint8_t byte : one) {
        ASSERT_TRUE(net::sendAll(fd, &byte, 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const Bytes expected = nameReply();
    for (int i = 0; i < 3; ++i) {
        Bytes got(expected.size());
        ASSERT_TRUE(net::receiveExact(fd, got.data(), got.size(), 3000)) << "reply " << i;
        EXPECT_EQ(got, expected) << "reply " << i;
    }
    ::close(fd);
}

TEST_F(SocketServerTest, DropsAConnectionWhoseRequestIsOverTheLimit) {
    const std::string address = start(scratchSocket("limit"));
    std::string error;
    const int fd = net::connectAddress(address, error);
    ASSERT_GE(fd, 0) << error;
    Bytes request;
    bytes::appendLe32(request, kRequestP2k05Send);
    bytes::appendLe32(request, 0);
    bytes::appendLe32(request, (1u << 20) + 1);
    ASSERT_TRUE(net::sendAll(fd, request.data(), request.size()));
    uint8_t byte = 0;
    pollfd pfd{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 3000), 1);
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);  // closed, nothing answered
    ::close(fd);
}

TEST_F(SocketServerTest, LinkOverEitherAddressFormCarriesRequests) {
    for (const std::string& listen : {scratchSocket("link"), std::string("tcp:127.0.0.1:0")}) {
        SCOPED_TRACE(listen);
        sim::SocketServer own(phone);
        std::string error;
        ASSERT_TRUE(own.listen(listen, error)) << error;
        own.start();
        const std::string address =
            listen.rfind("tcp:", 0) == 0 ? "tcp:127.0.0.1:" + std::to_string(own.port()) : listen;
        auto link = SocketLink::connect(address, error);
        ASSERT_TRUE(link) << error;
        const Bytes expected = nameReply();
        for (int i = 0; i < 3; ++i) {
            Bytes output;
            ASSERT_EQ(link->request(kRequestInterfaceName, Bytes{2, 1}, 261, output, 3000),
                      DriverStatus::Completed);
            EXPECT_EQ(output, Bytes(expected.begin() + 8, expected.end()));
        }
        link->close();
    }
}

TEST(FineSleep, NarrowsTheTimerSlackWhileHeldAndNeverWakesEarly) {
    const long before = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    {
        FineTimerSlack slack;
        EXPECT_EQ(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), long(FineTimerSlack::kSlackNs));
    }
    EXPECT_EQ(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), before);

    using namespace std::chrono;
    SystemClock clock;
    for (int i = 0; i < 20; ++i) {  // a lower bound only: a wait may run late, never short
        auto start = steady_clock::now();
        sleepFineMs(1);
        EXPECT_GE(steady_clock::now() - start, milliseconds(1));
        start = steady_clock::now();
        clock.sleepMs(1);
        EXPECT_GE(steady_clock::now() - start, milliseconds(1));
        start = steady_clock::now();
        waitPreciseMs(1);
        EXPECT_GE(steady_clock::now() - start, milliseconds(1));
    }
    sleepUntil(steady_clock::now() - milliseconds(5));  // a deadline gone by returns at once
}

}  // namespace
}  // namespace mdk
