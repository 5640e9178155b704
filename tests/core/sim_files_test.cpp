// The simulated phone's file commands, driven through PhoneModel::execute as the host's
// payloads reach it.
#include <gtest/gtest.h>

#include <optional>

#include "sim/phone_model.h"
#include "sim_payloads.h"

namespace {

using namespace mdk::sim;
using namespace simtest;

std::vector<uint8_t> bytesOf(size_t n, uint8_t seed) {
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(seed + i * 13);
    return data;
}

std::optional<uint32_t> attributesOf(const PhoneModel& model, const std::string& path) {
    for (const auto& entry : model.files()) {
        if (entry.path == path) return entry.attributes;
    }
    return std::nullopt;
}

bool isDone(const CommandReply& reply) {
    return reply.status == kStatusNoData && reply.data.empty();
}
bool isRefusedByte(const CommandReply& reply) {
    return reply.status == kStatusData && reply.data == std::vector<uint8_t>{0x01};
}

class SimFiles : public ::testing::Test {
protected:
    PhoneModel model{PhoneKind::P2k05Gsm, "V3 RAZR"};

    // Writes data into the file in 1024-byte chunks, as an upload does.
    void upload(const std::string& path, const std::vector<uint8_t>& data) {
        ASSERT_TRUE(isDone(fs(model, openFile(path))));
        ASSERT_TRUE(isDone(fs(model, seekFile(0, 0))));
        for (size_t at = 0; at < data.size(); at += 1024) {
            const size_t n = std::min<size_t>(1024, data.size() - at);
            ASSERT_TRUE(isDone(fs(model, writeFile({data.begin() + at, data.begin() + at + n}))));
        }
        ASSERT_TRUE(isDone(fs(model, closeFile())));
    }
};

TEST_F(SimFiles, UploadOverLongerFileLeavesExactlyTheNewBytes) {
    ASSERT_TRUE(model.addFile("/a/mobile/x.bin", bytesOf(3000, 1)));
    const std::vector<uint8_t> fresh = bytesOf(1500, 99);
    upload("/a/mobile/x.bin", fresh);
    EXPECT_EQ(model.fileBytes("/a/mobile/x.bin"), fresh);
}

TEST_F(SimFiles, CloseWithoutWritingKeepsTheFile) {
    const std::vector<uint8_t> old = bytesOf(3000, 1);
    ASSERT_TRUE(model.addFile("/a/x.bin", old));
    ASSERT_TRUE(isDone(fs(model, openFile("/a/x.bin"))));
    EXPECT_EQ(fs(model, readFile(1024)).data.size(), 1024u);
    ASSERT_TRUE(isDone(fs(model, closeFile())));
    EXPECT_EQ(model.fileBytes("/a/x.bin"), old);
}

TEST_F(SimFiles, WriteAfterSeekBackEndsAtTheHighestPositionWritten) {
    ASSERT_TRUE(model.addFile("/a/x.bin", bytesOf(100, 1)));
    ASSERT_TRUE(isDone(fs(model, openFile("/a/x.bin"))));
    ASSERT_TRUE(isDone(fs(model, writeFile(bytesOf(40, 7)))));
    ASSERT_TRUE(isDone(fs(model, seekFile(0, 0))));
    ASSERT_TRUE(isDone(fs(model, writeFile(bytesOf(10, 9)))));
    ASSERT_TRUE(isDone(fs(model, closeFile())));
    std::vector<uint8_t> expected = bytesOf(40, 7);
    std::copy_n(bytesOf(10, 9).begin(), 10, expected.begin());
    EXPECT_EQ(model.fileBytes("/a/x.bin"), expected);
}

TEST_F(SimFiles, ReadDeliversTheFileThenEmptyRepliesAtItsEnd) {
    const std::vector<uint8_t> data = bytesOf(2048, 3);
    ASSERT_TRUE(model.addFile("/a/two.bin", data));
    ASSERT_TRUE(isDone(fs(model, openFile("/a/two.bin"))));
    std::vector<uint8_t> got;
    for (uint32_t count : {1024u, 1024u}) {
        const CommandReply reply = fs(model, readFile(count));
        ASSERT_EQ(reply.status, kStatusData);
        ASSERT_EQ(reply.data.size(), count);
        got.insert(got.end(), reply.data.begin(), reply.data.end());
    }
    EXPECT_EQ(got, data);
    for (uint32_t count : {0u, 1024u}) {
        const CommandReply atEnd = fs(model, readFile(count));
        EXPECT_EQ(atEnd.status, kStatusData);
        EXPECT_TRUE(atEnd.data.empty()) << "count " << count;
    }
}

TEST_F(SimFiles, ShortLastBlockAndZeroCountRead) {
    ASSERT_TRUE(model.addFile("/a/small.bin", bytesOf(100, 3)));
    ASSERT_TRUE(isDone(fs(model, openFile("/a/small.bin"))));
    EXPECT_TRUE(fs(model, readFile(0)).data.empty());
    EXPECT_EQ(fs(model, readFile(1024)).data, bytesOf(100, 3));
}

TEST_F(SimFiles, FileCommandsWithoutAnOpenFileAreRefusedWithOneByte) {
    EXPECT_TRUE(isRefusedByte(fs(model, readFile(10))));
    EXPECT_TRUE(isRefusedByte(fs(model, writeFile({1, 2, 3}))));
    EXPECT_TRUE(isRefusedByte(fs(model, seekFile(0, 0))));
    EXPECT_TRUE(isRefusedByte(fs(model, closeFile())));
}

TEST_F(SimFiles, WriteShorterThanItsCountIsRefused) {
    ASSERT_TRUE(isDone(fs(model, openFile("/a/x.bin"))));
    std::vector<uint8_t> payload = writeFile(bytesOf(10, 0));
    payload.resize(payload.size() - 3);
    EXPECT_TRUE(isRefusedByte(fs(model, payload)));
}

TEST_F(SimFiles, OpenCreatesAMissingFileOnlyInAnExistingFolder) {
    EXPECT_TRUE(isDone(fs(model, openFile("/a/new.txt"))));
    EXPECT_EQ(model.fileBytes("/a/new.txt"), std::vector<uint8_t>{});
    // Missing parent folder, unknown volume, a folder, malformed paths: error status.
    ASSERT_TRUE(model.addFolder("/a/mobile"));
    for (const char* path : {"/a/nofolder/x.txt", "/q/x.txt", "/a/mobile", "a/x.txt", "/a//x.txt",
                             "/a/../x.txt", ""}) {
        EXPECT_EQ(fs(model, openFile(path)).status, kStatusRefused) << path;
    }
    EXPECT_FALSE(model.fileBytes("/a/nofolder/x.txt"));
}

TEST_F(SimFiles, OpenValueSetsTheAttributes) {
    struct Case {
        uint32_t value;
        uint32_t expected;
    };
    // Start: owner 0x0E, attributes 0x0020.
    const Case cases[] = {
        {0x0004, 0x0E000400},      // upload: attribute bits, owner kept
        {0x0021, 0x0E002100},      // attributes dialog: Readonly and Archive
        {0xFFFFFFFF, 0x0E002000},  // USBLAN: unchanged
        {0x07000500, 0x07000500},  // a whole listed word (folder download)
        {0x0014, 0x0E000400},      // a file never takes the folder bit
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(model.addFile("/a/x.bin", {1}, 0x0E002000));
        ASSERT_TRUE(isDone(fs(model, openFile("/a/x.bin", c.value))));
        ASSERT_TRUE(isDone(fs(model, closeFile())));
        EXPECT_EQ(attributesOf(model, "/a/x.bin"), c.expected) << std::hex << c.value;
    }
    ASSERT_TRUE(isDone(fs(model, openFile("/a/uploaded.bin", 4))));
    EXPECT_EQ(attributesOf(model, "/a/uploaded.bin"), 0x07000400u);
}

TEST_F(SimFiles, SeekStaysInsideTheFile) {
    struct Case {
        uint32_t offset;
        uint8_t origin;
        bool accepted;
        uint8_t nextByte;  // the byte a read then delivers
    };
    const std::vector<uint8_t> data = bytesOf(50, 0);
    const Case cases[] = {
        {0, 0, true, data[0]},
        {49, 0, true, data[49]},
        {51, 0, false, 0},
        {uint32_t(-1), 2, true, data[49]},
        {uint32_t(-60), 2, false, 0},
        {5, 7, false, 0},
    };
    ASSERT_TRUE(model.addFile("/a/x.bin", data));
    for (const Case& c : cases) {
        ASSERT_TRUE(isDone(fs(model, openFile("/a/x.bin"))));
        const CommandReply reply = fs(model, seekFile(c.offset, c.origin));
        EXPECT_EQ(isDone(reply), c.accepted) << c.offset << " from " << int(c.origin);
        EXPECT_EQ(isRefusedByte(reply), !c.accepted);
        if (c.accepted) {
            EXPECT_EQ(fs(model, readFile(1)).data, std::vector<uint8_t>{c.nextByte});
        }
        ASSERT_TRUE(isDone(fs(model, closeFile())));
    }
}

TEST_F(SimFiles, DeleteRemovesFilesOnly) {
    ASSERT_TRUE(model.addFile("/a/f/x.bin", {1, 2}));
    EXPECT_TRUE(isRefusedByte(fs(model, deleteFile("/a/f"))));
    EXPECT_TRUE(isRefusedByte(fs(model, deleteFile("/a/f/missing.bin"))));
    ASSERT_TRUE(isDone(fs(model, openFile("/a/f/x.bin"))));
    EXPECT_TRUE(isRefusedByte(fs(model, deleteFile("/a/f/x.bin"))));  // still open
    ASSERT_TRUE(isDone(fs(model, closeFile())));
    EXPECT_TRUE(isDone(fs(model, deleteFile("/a/f/x.bin"))));
    EXPECT_FALSE(model.fileBytes("/a/f/x.bin"));
}

TEST_F(SimFiles, FolderCreateAndRemoveRefusals) {
    ASSERT_TRUE(model.addFile("/a/full/x.bin", {1}));
    struct Case {
        std::vector<uint8_t> payload;
        uint8_t status;
    };
    const Case cases[] = {
        {createFolder("/a/new"), kStatusNoData},
        {createFolder("/a/new/sub"), kStatusNoData},
        {createFolder("/a/new"), kStatusRefused},         // exists
        {createFolder("/a/full/x.bin"), kStatusRefused},  // a file of that name
        {createFolder("/a/none/sub"), kStatusRefused},    // parent missing
        {createFolder("/a"), kStatusRefused},             // the volume itself
        {createFolder("/q/new"), kStatusRefused},         // no such volume
        {removeFolder("/a/new"), kStatusRefused},         // not empty
        {removeFolder("/a/full/x.bin"), kStatusRefused},  // a file
        {removeFolder("/a/missing"), kStatusRefused},
        {removeFolder("/a/new/sub"), kStatusNoData},
        {removeFolder("/a/new"), kStatusNoData},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const CommandReply reply = fs(model, cases[i].payload);
        EXPECT_EQ(reply.status, cases[i].status) << "case " << i;
        EXPECT_TRUE(reply.data.empty()) << "case " << i;
    }
    EXPECT_TRUE(model.fileBytes("/a/full/x.bin"));
    for (const auto& entry : model.files())
        EXPECT_NE(entry.path.rfind("/a/new", 0), 0u) << entry.path;
}

TEST_F(SimFiles, NewFolderCarriesTheFolderBit) {
    ASSERT_TRUE(isDone(fs(model, createFolder("/a/new"))));
    ASSERT_EQ(model.files().size(), 1u);
    EXPECT_TRUE(model.files()[0].folder);
    EXPECT_EQ(attributesOf(model, "/a/new"), 0x07001400u);
}

TEST_F(SimFiles, UsblanSubCommandSecondByteIsAccepted) {
    std::vector<uint8_t> open = openFile("/a/u.bin", 0xFFFFFFFF);
    open[1] = 0x01;
    EXPECT_TRUE(isDone(fs(model, open)));
    std::vector<uint8_t> write = writeFile({5, 6, 7});
    write[1] = 0x01;
    EXPECT_TRUE(isDone(fs(model, write)));
    std::vector<uint8_t> close = closeFile();
    close[1] = 0x01;
    EXPECT_TRUE(isDone(fs(model, close)));
    EXPECT_EQ(model.fileBytes("/a/u.bin"), (std::vector<uint8_t>{5, 6, 7}));
}

TEST_F(SimFiles, WriteBeyondTheVolumeIsRefusedAndKeepsTheFile) {
    PhoneModel small(PhoneKind::ClassicGsm, "E398");
    small.clearFiles();
    small.addVolume("/a", 1000);
    ASSERT_TRUE(small.addFile("/a/keep.bin", bytesOf(900, 1)));
    ASSERT_TRUE(isDone(fs(small, openFile("/a/big.bin"))));
    EXPECT_TRUE(isRefusedByte(fs(small, writeFile(bytesOf(200, 2)))));
    EXPECT_TRUE(isDone(fs(small, writeFile(bytesOf(100, 2)))));
    EXPECT_TRUE(isDone(fs(small, closeFile())));
    EXPECT_EQ(small.fileBytes("/a/keep.bin"), bytesOf(900, 1));
    EXPECT_EQ(small.freeSpace("/a"), 0u);
}

TEST_F(SimFiles, SessionAndRestartCommandsAreAcceptedAndCounted) {
    ASSERT_TRUE(model.addFile("/a/x.bin", {1}));
    ASSERT_TRUE(isDone(fs(model, openFile("/a/x.bin"))));
    EXPECT_TRUE(isDone(model.execute(0x96, std::vector<uint8_t>{1, 0})));
    EXPECT_TRUE(isDone(model.execute(0x39, std::vector<uint8_t>{0xFF, 0xFF})));
    EXPECT_TRUE(isDone(model.execute(0x22, {})));
    EXPECT_EQ(model.restartCount(), 1u);
    EXPECT_EQ(model.commandCount(0x96), 1u);
    EXPECT_TRUE(isRefusedByte(fs(model, readFile(1))));  // the restart closed the file
    EXPECT_EQ(model.execute(0x77, {}).status, kStatusRefused);
}

}  // namespace
