// The simulated phone's file search, volume list and free space.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "sim/phone_model.h"
#include "sim/sample_phone.h"
#include "sim_payloads.h"

namespace {

using namespace mdk::sim;
using namespace simtest;

uint16_t matchCount(const CommandReply& reply) {
    return reply.data.size() >= 2 ? mdk::bytes::be16(reply.data.data()) : 0;
}

std::set<std::string> pathsOf(const std::vector<Record>& records) {
    std::set<std::string> paths;
    for (const auto& r : records) paths.insert(r.path);
    return paths;
}

// A small phone: three files on /a (one with a path of 35 characters, one of 36), one on
// /b, a folder on /a.
class SimSearch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(model.addFile("/a/mobile/audio/song.mp3", std::vector<uint8_t>(300, 1)));
        ASSERT_TRUE(model.addFile(fits, std::vector<uint8_t>(5, 2), 0x0E002100));
        ASSERT_TRUE(model.addFile(tooLong, std::vector<uint8_t>(7, 3)));
        ASSERT_TRUE(model.addFile("/b/card.jpg", std::vector<uint8_t>(9, 4)));
        ASSERT_EQ(fits.size(), 35u);
        ASSERT_EQ(tooLong.size(), 36u);
    }

    PhoneModel model{PhoneKind::P2k05Gsm, "V3 RAZR"};
    const std::string fits = "/a/mobile/picture/abcdefghijklm.jpg";
    const std::string tooLong = "/a/mobile/picture/abcdefghijklmn.jpg";
};

TEST_F(SimSearch, SearchStartFormsSelectTheirFiles) {
    struct Case {
        const char* name;
        std::vector<uint8_t> payload;
        std::set<std::string> expected;
    };
    const std::set<std::string> volumeA = {
        "/a/mobile", "/a/mobile/audio", "/a/mobile/audio/song.mp3", "/a/mobile/picture", fits,
        tooLong};
    std::set<std::string> all = volumeA;
    all.insert("/b/card.jpg");
    const Case cases[] = {
        {"volume form /a", searchVolume('a'), volumeA},
        {"volume form /b", searchVolume('b'), {"/b/card.jpg"}},
        {"pattern /a/*.*", searchPattern("/a/*.*"), volumeA},
        {"pattern /a/*.MP3", searchPattern("/a/*.MP3"), {"/a/mobile/audio/song.mp3"}},
        {"pattern below a folder", searchPattern("/a/mobile/picture/*"), {fits, tooLong}},
        {"pattern without the leading slash",
         searchPattern(" a/mobile/audio/*"),
         {"/a/mobile/audio/song.mp3"}},
        {"plain form", searchPlain(), all},
    };
    for (const Case& c : cases) {
        const CommandReply start = fs(model, c.payload);
        ASSERT_EQ(start.data.size(), 2u) << c.name;
        EXPECT_EQ(matchCount(start), c.expected.size()) << c.name;
        EXPECT_EQ(pathsOf(readAllBlocks(model, 268)), c.expected) << c.name;
    }
}

TEST_F(SimSearch, NoMatchesAnswersZero) {
    EXPECT_EQ(fs(model, searchVolume('c')).data, (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(fs(model, searchPattern("/a/*.wav")).data, (std::vector<uint8_t>{0, 0}));
    EXPECT_TRUE(readAllBlocks(model, 268).empty());
}

TEST_F(SimSearch, CdmaPhoneAnswersOnlyThePatternForm) {
    PhoneModel cdma(PhoneKind::Cdma, "V3c");
    ASSERT_TRUE(cdma.addFile("/a/x.jpg", {1}));
    EXPECT_EQ(fs(cdma, searchVolume('a')).data, (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(fs(cdma, searchPlain()).data, (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(matchCount(fs(cdma, searchPattern("/a/*.*"))), 1u);
}

TEST_F(SimSearch, RecordLayoutAtBothStrides) {
    for (uint32_t stride : {268u, 44u}) {
        model.setRecordStride(stride);
        ASSERT_EQ(matchCount(fs(model, searchPattern("/a/mobile/picture/*.jpg"))),
                  stride == 268 ? 2u : 1u);
        const std::vector<Record> records = readAllBlocks(model, stride);
        ASSERT_FALSE(records.empty()) << stride;
        EXPECT_EQ(records[0].path, fits);
        EXPECT_EQ(records[0].attributes, 0x0E002100u);  // little-endian at stride - 8
        EXPECT_EQ(records[0].size, 5u);                 // big-endian at stride - 4
    }
}

TEST_F(SimSearch, NarrowStrideSkipsNamesThatDoNotFit) {
    model.setRecordStride(44);
    const CommandReply start = fs(model, searchVolume('a'));
    const std::set<std::string> paths = pathsOf(readAllBlocks(model, 44));
    EXPECT_EQ(matchCount(start), paths.size());
    EXPECT_TRUE(paths.count(fits));
    EXPECT_FALSE(paths.count(tooLong));
}

TEST_F(SimSearch, BlocksHoldTheConfiguredNumberOfRecords) {
    PhoneModel phone;
    loadSamplePhone(phone);
    for (uint32_t stride : {268u, 44u}) {
        for (uint32_t perBlock : {1u, 3u, 7u, 15u}) {
            phone.setRecordStride(stride);
            phone.setRecordsPerBlock(perBlock);
            const uint16_t count = matchCount(fs(phone, searchVolume('a')));
            std::vector<size_t> blocks;
            const std::vector<Record> records = readAllBlocks(phone, stride, &blocks);
            ASSERT_EQ(records.size(), count) << stride << "/" << perBlock;
            ASSERT_FALSE(blocks.empty());
            EXPECT_EQ(blocks.size(), (count + perBlock - 1) / perBlock);
            EXPECT_TRUE(std::all_of(blocks.begin(), blocks.end() - 1,
                                    [&](size_t n) { return n == perBlock; }));
        }
    }
}

TEST_F(SimSearch, FoldersCarryTheFolderBitAndSizeZero) {
    fs(model, searchVolume('a'));
    for (const Record& r : readAllBlocks(model, 268)) {
        const bool folder =
            r.path == "/a/mobile" || r.path == "/a/mobile/audio" || r.path == "/a/mobile/picture";
        EXPECT_EQ((r.attributes & 0x1000) != 0, folder) << r.path;
        if (folder) {
            EXPECT_EQ(r.size, 0u) << r.path;
        }
    }
    model.setListFolders(false);
    EXPECT_EQ(matchCount(fs(model, searchVolume('a'))), 3u);
}

TEST_F(SimSearch, FileDeletedDuringASearchIsLeftOut) {
    ASSERT_EQ(matchCount(fs(model, searchPattern("/a/mobile/picture/*"))), 2u);
    ASSERT_EQ(fs(model, deleteFile(fits)).status, kStatusNoData);
    EXPECT_EQ(pathsOf(readAllBlocks(model, 268)), std::set<std::string>{tooLong});
}

TEST(SimVolumes, ListAsUtf16UnitsSeparatedByFffeAndEndedByZero) {
    PhoneModel model;
    const std::vector<uint8_t> expected = {0,   '/',  0,    'a', 0xFF, 0xFE, 0,   '/', 0,
                                           'b', 0xFF, 0xFE, 0,   '/',  0,    'c', 0,   0};
    const CommandReply reply = fs(model, listVolumes());
    EXPECT_EQ(reply.status, kStatusData);
    EXPECT_EQ(reply.data, expected);

    PhoneModel linux(PhoneKind::Linux, "ROKR E6");
    const std::vector<uint8_t> units = fs(linux, listVolumes()).data;
    std::string text;
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
        const uint16_t unit = mdk::bytes::be16(&units[i]);
        text += unit == 0xFFFE ? '|' : unit == 0 ? '$' : char(unit);
    }
    EXPECT_EQ(text, "/ezxlocal|/usr/data_resource|/mmc/mmca1$");
}

TEST(SimVolumes, FreeSpaceIsCapacityLessTheFiles) {
    PhoneModel model;
    model.addVolume("/a", 100000);
    ASSERT_TRUE(model.addFile("/a/x.bin", std::vector<uint8_t>(1234, 0)));
    EXPECT_EQ(fs(model, freeSpace('a')).data, (std::vector<uint8_t>{0x00, 0x01, 0x81, 0xCE}));
    EXPECT_EQ(fs(model, freeSpace('q')).data, std::vector<uint8_t>{0x01});
    EXPECT_EQ(fs(model, fsPayload(11, {0x00, 0x06})).data, std::vector<uint8_t>{0x01});
}

TEST(SimVolumes, LinuxPhoneAnswersFreeSpaceForAnyLetterAndSwapsAttributeBytes) {
    PhoneModel linux(PhoneKind::Linux, "ROKR E6");
    ASSERT_TRUE(linux.addFile("/ezxlocal/x.jpg", {1, 2, 3}, 0x07000400));
    const CommandReply free = fs(linux, freeSpace('a'));
    ASSERT_EQ(free.data.size(), 4u);
    EXPECT_EQ(mdk::bytes::be32(free.data.data()), *linux.freeSpace("/ezxlocal"));

    ASSERT_EQ(matchCount(fs(linux, searchPattern("/ezxlocal/*"))), 1u);
    const std::vector<Record> records = readAllBlocks(linux, 268);
    ASSERT_EQ(records.size(), 1u);
    // The host swaps the two low bytes of the little-endian field back.
    const uint32_t raw = records[0].attributes;
    const uint32_t restored = (raw & 0xFFFF0000u) | (raw & 0xFF) << 8 | (raw >> 8 & 0xFF);
    EXPECT_EQ(restored, 0x07000400u);
    EXPECT_NE(raw, restored);
}

}  // namespace
