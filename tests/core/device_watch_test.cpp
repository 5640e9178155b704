#include <gtest/gtest.h>

#include "device/link_watch.h"
#include "device_test_support.h"

namespace mdk::test {
namespace {

class P2kWatcher : public ::testing::Test {
protected:
    P2kWatcher() {
        f.fakes.interfaces.setCandidates({candidateOf(link)});
        f.device().setAttachPhone([this] {
            ++attaches;
            return 0;
        });
    }
    DeviceFixture f;
    std::shared_ptr<NamedLink> link =
        std::make_shared<NamedLink>("Motorola Test Command", pathWithDigit('8'));
    std::atomic<int> attaches{0};
};

TEST_F(P2kWatcher, OneCycleGoesUpWaitsForRemovalThenGoesDownAndWaits) {
    auto& watch = f.device().watch();
    const uint64_t start = f.clock.nowMs();
    std::thread cycle([&] { watch.p2kCycle(); });
    ASSERT_TRUE(eventually([&] { return f.view.count("up") == 1; }));
    EXPECT_TRUE(f.log.has("P2k Tci IF up."));
    EXPECT_EQ(attaches, 1);
    EXPECT_TRUE(f.state().interfaceUp);
    EXPECT_FALSE(f.log.has("P2k Tci IF down."));

    link->unplug();
    cycle.join();
    EXPECT_EQ(f.context.driver.linkHandle(), 0);
    EXPECT_FALSE(f.state().interfaceUp);
    EXPECT_TRUE(f.log.has("P2k Tci IF down."));
    const std::vector<std::string> expected = {"up",
                                               "down",
                                               "status 3: message 77",
                                               "status 1: message 78",
                                               "status 2: message 79",
                                               "status 0: message 80"};
    EXPECT_EQ(f.view.calls(), expected);
    EXPECT_EQ(f.clock.nowMs() - start, 5000u);
}

TEST_F(P2kWatcher, ThreadSearchesUntilThePhoneComesAndAgainAfterItLeaves) {
    f.fakes.interfaces.setCandidates({});
    auto& device = f.device();
    device.startLinkWatch();
    ASSERT_TRUE(eventually([&] { return f.fakes.interfaces.enumerations() > 3; }));
    EXPECT_EQ(f.log.count("message 38"), 1);

    f.fakes.interfaces.setCandidates({candidateOf(link)});
    ASSERT_TRUE(eventually([&] { return f.log.has("P2k Tci IF up."); }));
    ASSERT_TRUE(eventually([&] { return attaches == 1; }));
    const int searches = f.fakes.interfaces.enumerations();

    f.fakes.interfaces.setCandidates({});
    link->unplug();
    ASSERT_TRUE(eventually([&] { return f.log.has("P2k Tci IF down."); }));
    ASSERT_TRUE(eventually([&] { return f.fakes.interfaces.enumerations() > searches + 2; }));
    device.stopLinkWatch();
    EXPECT_FALSE(device.watch().running());
    EXPECT_EQ(attaches, 1);
}

TEST_F(P2kWatcher, StopEndsTheRemovalWait) {
    auto& device = f.device();
    device.startLinkWatch();
    ASSERT_TRUE(eventually([&] { return f.view.count("up") == 1; }));
    device.stopLinkWatch();
    EXPECT_FALSE(device.watch().running());
    EXPECT_FALSE(f.log.has("P2k Tci IF down."));  // stopped, not unplugged
    EXPECT_GT(f.context.driver.linkHandle(), 1);
}

TEST_F(P2kWatcher, WatchStartsOncePerProcessUnlessAskedAgain) {
    f.fakes.interfaces.setCandidates({});
    auto& device = f.device();
    device.startLinkWatch();
    ASSERT_TRUE(eventually([&] { return f.state().modemProbeCount > 0; }));
    device.startLinkWatch();  // the second start does nothing
    EXPECT_GT(f.state().modemProbeCount, 0u);
    device.stopLinkWatch();
    device.startLinkWatch(false);  // the package dialog: counters reset, watcher again
    EXPECT_TRUE(device.watch().running());
    device.stopLinkWatch();
}

TEST(AttachSerialisation, PassWaitsForThePhoneSessionLock) {
    DeviceFixture f;
    auto& device = f.device();
    std::atomic<bool> done{false};
    std::thread pass;
    {
        PhoneSession session(f.context.transport);  // a transfer in progress
        pass = std::thread([&] {
            device.attachP2k();
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(f.fakes.interfaces.enumerations(), 0);
        EXPECT_FALSE(done);
    }
    pass.join();
    EXPECT_EQ(f.fakes.interfaces.enumerations(), 2);  // before and after the memory-card step
}

TEST(AttachSerialisation, QuestionIsAskedWithoutHoldingTheLock) {
    DeviceFixture f(ConnectionMode::P2k);
    f.fakes.serialMap.set(std::vector<SerialMapEntry>{{"\\Device\\USBSER000", "COM1", ""}});
    // A prompter that checks, while its box is open, that another thread can take the lock.
    class LockProbe final : public Prompter {
    public:
        explicit LockProbe(Transport& transport) : transport_(transport) {}
        PromptAnswer ask(const Prompt&) override {
            std::thread other([&] {
                PhoneSession session(transport_);
                free = true;
            });
            other.join();
            return PromptAnswer::Cancel;
        }
        bool free = false;

    private:
        Transport& transport_;
    } probe(f.context.transport);
    f.context.prompter.setTarget(&probe);
    f.device().attachP2k();
    EXPECT_TRUE(probe.free);
}

TEST(UsblanWatcher, ReportsTheLinkUpOnce) {
    DeviceFixture f(ConnectionMode::UsblanSamba);
    AdapterInfo usb;
    usb.name = "usb0";
    usb.description = "Motorola USB Networking Interface";
    usb.ipv4 = {{"192.168.16.1", "255.255.255.0"}};
    f.fakes.network.setReport(formatIpReport("host", {usb}));
    auto& watch = f.device().watch();
    const uint64_t start = f.clock.nowMs();
    watch.usblanCycle();
    watch.usblanCycle();
    watch.usblanCycle();
    EXPECT_EQ(f.log.count("USBLAN IF up."), 1);
    EXPECT_TRUE(f.state().usblanUp);
    EXPECT_EQ(f.fakes.commands.started().size(), 1u);
    // First cycle: report, bring-up and mount waits; later cycles find the link up.
    EXPECT_EQ(f.clock.nowMs() - start, (400u + 500 + 5000 + 512) + 2 * 512u);
}

}  // namespace
}  // namespace mdk::test
