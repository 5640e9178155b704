// Seem discovery on the simulated phone and the seem list it leaves; the seem manager's
// typed numbers, default file name, and its read into and write from a file.
#include "seem/seem_discovery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "p2k_test_support.h"
#include "seem/seem_manager.h"

namespace mdk::test {
namespace {

using Bytes = std::vector<uint8_t>;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Discovery : public testing::Test {
protected:
    void SetUp() override {
        f.model.setSeem(0x0032, 1, {1, 2, 3});
        f.model.setSeem(0x0384, 1, {1});  // 900, the last seem scanned
        f.model.setSeem(0x0385, 1, {1});  // 901, beyond the scan
        f.model.setSeem(0x0050, 2, {1});  // no record 1
        f.model.setSeem(0x0007, 1, {});   // a record without data still answers
        f.link->clear();
    }
    std::vector<uint16_t> phoneSeems() const {
        std::vector<uint16_t> expected;
        for (const auto& s : f.model.seems()) {
            if (s.record == 1 && s.seem <= kLastScannedSeem) expected.push_back(s.seem);
        }
        return expected;
    }
    std::vector<uint16_t> scan() {
        return discoverSeems(f.context.commands, f.context.driver, &progress);
    }

    PhoneFixture f;
    RecordingProgress progress;
};

TEST_F(Discovery, FindsExactlyThePhonesSeems) {
    const auto found = scan();
    EXPECT_EQ(found, phoneSeems());
    EXPECT_EQ(found.front(), 4);
    EXPECT_EQ(found.back(), 0x384);
    // Each found number is logged though the probes are quiet.
    std::vector<std::string> logged;
    for (uint16_t seem : found) logged.push_back(seemListEntry(seem));
    EXPECT_EQ(f.log.lines(), logged);
    EXPECT_EQ(progress.ranges(), (std::vector<std::pair<int, int>>{{0, 901}}));
    EXPECT_EQ(progress.steps(), 901);
}

TEST_F(Discovery, ProbesWholeBelowSixAndOneByteFromSixOn) {
    scan();
    auto sent = f.link->commands();
    ASSERT_EQ(sent.size(), 901u);
    for (uint16_t seem : {0, 5, 6, 0x32, 900}) {
        SCOPED_TRACE(seem);
        const auto& payload = sent[seem].payload;
        EXPECT_EQ(bytes::be16(&payload[0]), seem);
        EXPECT_EQ(bytes::be16(&payload[2]), 1);
        EXPECT_EQ(bytes::be16(&payload[6]), seem < 6 ? 0 : 1);
    }
}

TEST_F(Discovery, SendTimeoutLoweredDuringTheScanOnly) {
    std::atomic<uint32_t> seenTimeout{0};
    f.link->onRequest = [&](uint32_t, std::span<const uint8_t>) {
        seenTimeout = f.context.driver.classicSendTimeoutMs();
    };
    scan();
    EXPECT_EQ(seenTimeout.load(), kScanSendTimeoutMs);
    EXPECT_EQ(f.context.driver.classicSendTimeoutMs(), 5000u);
    EXPECT_FALSE(f.context.log.quiet());
}

TEST_F(Discovery, PacketTraceNeverReachesTheList) {
    f.context.log.setPackets(true);
    const auto found = scan();
    EXPECT_GT(f.log.lines().size(), found.size()) << "trace lines in the log";
    const std::string path = f.programFolder() + "/Seem.lst";
    std::string error;
    ASSERT_TRUE(writeSeemList(path, found, error)) << error;
    EXPECT_EQ(readText(path), seemListText(found));
    EXPECT_EQ(seemListText({4, 0x32, 0x2FE}), "0004\r\n0032\r\n02FE\r\n");
}

TEST_F(Discovery, EmptyScanKeepsTheOldList) {
    const std::string path = f.programFolder() + "/Seem.lst";
    std::ofstream(path, std::ios::binary) << "0001\r\n0032\r\n";
    f.context.driver.clearLink();  // the phone went away
    const auto found = scan();
    EXPECT_TRUE(found.empty());
    std::string error;
    EXPECT_FALSE(writeSeemList(path, found, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readText(path), "0001\r\n0032\r\n");
}

// ---- seem manager ---------------------------------------------------------------------

TEST(SeemManager, TypedNumbersAndDefaultName) {
    struct Case {
        const char* seem;
        const char* record;
        std::optional<SeemAddress> expected;
    };
    const Case cases[] = {
        {"32", "1", SeemAddress{0x32, 1}}, {"0384", "0001", SeemAddress{0x384, 1}},
        {"0", "0", SeemAddress{0, 0}},     {"ffff", "FFFF", SeemAddress{0xFFFF, 0xFFFF}},
        {"0x32", "1", std::nullopt},       {"32", "", std::nullopt},
        {"12345", "1", std::nullopt},      {" 32", "1", std::nullopt},
        {"32", "1g", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.seem) + "/" + c.record);
        auto address = parseTypedSeem(c.seem, c.record);
        ASSERT_EQ(address.has_value(), c.expected.has_value());
        if (address) {
            EXPECT_EQ(address->seem, c.expected->seem);
            EXPECT_EQ(address->record, c.expected->record);
        }
    }
    EXPECT_EQ(seemManagerFileName("32", "1"), "32_1");
    EXPECT_EQ(seemManagerFileName("0032", "0001"), "0032_0001");
}

TEST(SeemManager, SaveAndLoadThroughFiles) {
    PhoneFixture f;
    f.model.setSeem(0x0032, 1, {1, 2, 3, 4, 5});
    const std::string path = f.programFolder() + "/32_1";
    std::string error;
    ASSERT_TRUE(saveSeemRecord(f.context.commands, {0x32, 1}, path, error)) << error;
    EXPECT_EQ(readText(path), std::string("\1\2\3\4\5"));
    EXPECT_FALSE(saveSeemRecord(f.context.commands, {0x32, 7}, path + "x", error));
    EXPECT_FALSE(std::filesystem::exists(path + "x"));

    // A shorter file: the record keeps its own bytes beyond the file's end.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "\x09\x08";
    ASSERT_TRUE(loadSeemRecord(f.context.commands, {0x32, 1}, path, error)) << error;
    EXPECT_EQ(f.model.seem(0x32, 1), (Bytes{9, 8, 3, 4, 5}));
    // A longer file: the record's length is written.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(20, 'z');
    ASSERT_TRUE(loadSeemRecord(f.context.commands, {0x32, 1}, path, error)) << error;
    EXPECT_EQ(f.model.seem(0x32, 1), Bytes(5, 'z'));
    EXPECT_FALSE(loadSeemRecord(f.context.commands, {0x32, 1}, path + ".none", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace mdk::test
