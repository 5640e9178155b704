// The simulated phone as the host's transport sees it: Transport + UsbDriver + SimLink.
#include <gtest/gtest.h>

#include <memory>

#include "base/clock.h"
#include "base/event_log.h"
#include "base/messages.h"
#include "p2k/transport.h"
#include "p2k/usb_driver.h"
#include "sim/phone_model.h"
#include "sim/sim_link.h"
#include "sim/sim_phone.h"
#include "sim_payloads.h"

namespace {

using namespace mdk;
using namespace mdk::sim;
using namespace simtest;

constexpr uint32_t kUntouched = 0xDEAD;

struct Exchange {
    int result = 0;
    uint32_t length = kUntouched;
    std::vector<uint8_t> data;
};

// The host's side of one phone, in either framing.
class Host {
public:
    Host(PhoneKind kind, bool p2k05) : model(kind, "V3 RAZR"), phone(model) {
        driver.setLink(std::make_shared<SimLink>(phone));
        transport.setP2k05Active(p2k05);
    }

    Exchange run(uint16_t command, const std::vector<uint8_t>& payload) {
        Exchange e;
        std::vector<uint8_t> buffer(4096, 0);
        e.result = transport.p2kExchange(command, payload, buffer.data(), buffer.size(), e.length);
        if (e.length != kUntouched) e.data.assign(buffer.begin(), buffer.begin() + e.length);
        return e;
    }
    Exchange fileCommand(const std::vector<uint8_t>& payload) { return run(0x4A, payload); }

    PhoneModel model;
    SimPhone phone;
    MessageTable messages;
    EventLog log{messages};
    ManualClock clock;
    UsbDriver driver{log};
    Transport transport{driver, log, clock};
};

class SimOverTransport : public ::testing::TestWithParam<bool> {};

TEST_P(SimOverTransport, UploadThenDownloadRoundTripsTheBytes) {
    Host host(PhoneKind::P2k05Gsm, GetParam());
    ASSERT_TRUE(host.model.addFile("/a/mobile/x.bin", std::vector<uint8_t>(5000, 0xAA)));
    std::vector<uint8_t> data(2500);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);

    ASSERT_EQ(host.fileCommand(openFile("/a/mobile/x.bin")).result, 0);
    for (size_t at = 0; at < data.size(); at += 1024) {
        const size_t n = std::min<size_t>(1024, data.size() - at);
        const Exchange write =
            host.fileCommand(writeFile({data.begin() + at, data.begin() + at + n}));
        ASSERT_EQ(write.result, 0);
        EXPECT_TRUE(write.length == kUntouched || write.length == 0);  // no one-byte refusal
    }
    ASSERT_EQ(host.fileCommand(closeFile()).result, 0);

    ASSERT_EQ(host.fileCommand(openFile("/a/mobile/x.bin")).result, 0);
    ASSERT_EQ(host.fileCommand(seekFile(0, 0)).result, 0);
    std::vector<uint8_t> read;
    for (uint32_t count : {1024u, 1024u, 1024u}) {
        const Exchange e = host.fileCommand(readFile(count));
        ASSERT_EQ(e.result, 0);
        read.insert(read.end(), e.data.begin(), e.data.end());
    }
    EXPECT_EQ(read, data);
    EXPECT_EQ(host.model.fileBytes("/a/mobile/x.bin"), data);
}

TEST_P(SimOverTransport, ReadAtTheEndArrivesAsAnEmptyReply) {
    Host host(PhoneKind::P2k05Gsm, GetParam());
    ASSERT_TRUE(host.model.addFile("/a/k.bin", std::vector<uint8_t>(1024, 1)));
    ASSERT_EQ(host.fileCommand(openFile("/a/k.bin")).result, 0);
    EXPECT_EQ(host.fileCommand(readFile(1024)).length, 1024u);
    const Exchange end = host.fileCommand(readFile(0));
    EXPECT_EQ(end.result, 0);
    EXPECT_EQ(end.length, 0u);
}

TEST_P(SimOverTransport, WideSearchBlocksArriveWhole) {
    Host host(PhoneKind::P2k05Gsm, GetParam());
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(host.model.addFile("/a/f" + std::to_string(i) + ".jpg", {1}));
    }
    host.model.setRecordsPerBlock(15);
    const Exchange start = host.fileCommand(searchVolume('a'));
    ASSERT_EQ(start.result, 0);
    EXPECT_EQ(start.data, (std::vector<uint8_t>{0, 20}));
    const Exchange first = host.fileCommand(searchNext());
    ASSERT_EQ(first.result, 0);
    EXPECT_EQ(first.length, 4u + 15 * 268);
    std::vector<Record> records;
    EXPECT_TRUE(parseBlock(first.data, 268, records));
    EXPECT_EQ(records.size(), 15u);
}

INSTANTIATE_TEST_SUITE_P(Framings, SimOverTransport, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "P2k05" : "Classic"; });

// A refusal by error status reaches the host only through the classic framing: the P2k05
// reply has no status field, so the same refusal arrives as an empty success.
TEST(SimRefusals, ErrorStatusShowsOnlyInTheClassicFraming) {
    for (bool p2k05 : {false, true}) {
        Host host(PhoneKind::P2k05Gsm, p2k05);
        ASSERT_TRUE(host.model.addFolder("/a/old"));
        const Exchange create = host.fileCommand(createFolder("/a/old"));
        const Exchange open = host.fileCommand(openFile("/a/none/x.bin"));
        EXPECT_EQ(create.result, p2k05 ? 0 : -1);
        EXPECT_EQ(open.result, p2k05 ? 0 : -1);
        if (p2k05) {
            EXPECT_EQ(create.length, 0u);
        }
        // The one-byte refusal of write reaches the host in both framings.
        const Exchange write = host.fileCommand(writeFile({1, 2}));
        EXPECT_EQ(write.result, 0);
        EXPECT_EQ(write.data, std::vector<uint8_t>{1});
    }
}

TEST(SimRefusals, ClassicWriteSuccessLeavesTheReplyUntouched) {
    Host host(PhoneKind::ClassicGsm, false);
    ASSERT_EQ(host.fileCommand(openFile("/a/x.bin")).result, 0);
    const Exchange write = host.fileCommand(writeFile({1, 2, 3}));
    EXPECT_EQ(write.result, 0);
    EXPECT_EQ(write.length, kUntouched);  // status 6: no data
}

TEST(SimFaults, EachFaultSwitchShowsAtTheTransport) {
    struct Case {
        const char* name;
        void (*set)(Faults&);
        bool p2k05;
        int result;
    };
    const Case cases[] = {
        {"none", [](Faults&) {}, false, 0},
        {"stale sequence", [](Faults& f) { f.staleSequence = true; }, false, 1},
        {"error status", [](Faults& f) { f.errorStatus = 0x0E; }, false, -1},
        {"three waiting", [](Faults& f) { f.threeWaitingPolls = 2; }, false, 0},
        {"refuse P2k05", [](Faults& f) { f.refuseP2k05 = true; }, true, -1},
        {"drop", [](Faults& f) { f.dropConnection = true; }, false, -1},
    };
    for (const Case& c : cases) {
        Host host(PhoneKind::P2k05Gsm, c.p2k05);
        host.run(0x20, {0, 4, 0, 1, 0, 0, 0, 8});  // a first command: sequence 1
        c.set(host.phone.faults());
        const Exchange e = host.run(0x20, {0, 4, 0, 1, 0, 0, 0, 8});
        EXPECT_EQ(e.result, c.result) << c.name;
    }
}

TEST(SimLinkAddresses, SampleKindsOpenAndLinuxIsRefused) {
    std::string error;
    for (const char* address : {"sim", "sim:classic", "sim:p2k05", "sim:cdma"}) {
        EXPECT_NE(openLink(address, error), nullptr) << address;
    }
    EXPECT_EQ(openLink("sim:linux", error), nullptr);
    EXPECT_FALSE(error.empty());
}

}  // namespace
