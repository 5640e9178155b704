// Phone file transfers (download, the Linux phone's model name read from a file, upload with its
// folder-creation retry, folder download planning, source lists) and seem files (names, the bytes
// written into a record).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "p2k/file_transfer.h"
#include "p2k/phone_identity.h"
#include "p2k/transfer_watch.h"
#include "p2k/transport.h"
#include "p2k_test_support.h"
#include "seem/seem_file.h"

namespace mdk::test {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- download --------------------------------------------------------------------------

TEST(Download, WholeFilesWithTheirProgressRange) {
    struct Case {
        uint32_t size;
        std::pair<int, int> range;
        size_t reads;
    };
    const Case cases[] = {
        {0, {0, 1}, 0},    {1, {0, 1}, 1},    {1024, {0, 2}, 2},
        {1025, {0, 2}, 2}, {2500, {0, 3}, 3}, {300000, {0, 301}, 293},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        PhoneFixture f;
        Bytes content = patternBytes(c.size, 5);
        if (!content.empty()) content.back() = 0x01;
        ASSERT_TRUE(f.model.addFile("/a/music/song.bin", content, 0x07002000));
        RecordingProgress progress;
        f.context.commands.setProgress(&progress);
        auto data = downloadPhoneFile(f.context.commands, "/a/music/song.bin", 0x2000, c.size);
        ASSERT_TRUE(data.has_value());
        EXPECT_EQ(*data, content);
        EXPECT_EQ(progress.ranges(), (std::vector<std::pair<int, int>>{c.range}));
        EXPECT_EQ(progress.steps(), static_cast<int>(c.reads));

        auto sent = f.link->commands();
        auto opens = fileCommands(sent, CommandSet::kOpen);
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(bytes::be32(&opens[0].payload[4]), 0x2000u) << "opened with the given mode";
        EXPECT_EQ(fileCommands(sent, CommandSet::kSeek).at(0).payload,
                  (Bytes{0, 0, 0, 3, 0, 0, 0, 0, 0}));
        EXPECT_EQ(fileCommands(sent, CommandSet::kRead).size(), c.reads);
        EXPECT_EQ(fileCommands(sent, CommandSet::kClose).size(), 1u);
    }
}

TEST(Download, RefusedReadsGiveNothing) {
    PhoneFixture f;  // no such folder: the open fails
    EXPECT_EQ(downloadPhoneFile(f.context.commands, "/a/none/x", 0xFFFFFFFF, 100), std::nullopt);
    EXPECT_TRUE(fileCommands(f.link->commands(), CommandSet::kRead).empty());

    ScriptedFixture s;  // open and seek pass, the second block fails
    s.phone.queue(kReplyNoData);
    s.phone.queue(kReplyNoData);
    s.phone.queue(kReplyData, Bytes(1024, 1));
    s.phone.queue(kReplyError);
    EXPECT_EQ(downloadPhoneFile(s.f.context.commands, "/a/x", 4, 3000), std::nullopt);
}

TEST(Download, FewerBytesThanListedFailUnlessTheSizeIsABound) {
    struct Case {
        const char* name;
        size_t onPhone;
        uint32_t listed;
        const char* failure;  // nullptr: the download is the phone's file
    };
    const Case cases[] = {
        {"phone file shorter than listed", 500, 1000,
         "the phone sent 500 of the 1000 bytes it listed"},
        {"phone file empty, listed with bytes", 0, 1025,
         "the phone sent 0 of the 1025 bytes it listed"},
        {"hidden file listed with 99999999 bytes", 3000, 99999999, nullptr},
        {"absurd listed size", 10, 0xFFFFFFFF,
         "the phone sent 10 of the 4294967295 bytes it listed"},
        {"listed size exact", 2048, 2048, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        const Bytes content = patternBytes(c.onPhone, 1);
        ASSERT_TRUE(f.model.addFile("/a/x", content));
        const auto data = downloadPhoneFile(f.context.commands, "/a/x", 0xFFFFFFFF, c.listed);
        EXPECT_EQ(f.context.commands.fileReadTotal(), c.onPhone);
        if (!c.failure) {
            EXPECT_EQ(data, content);
            continue;
        }
        EXPECT_EQ(data, std::nullopt);
        EXPECT_EQ(f.context.transport.failure().kind, FailureKind::ShortFile);
        EXPECT_EQ(f.context.transport.failureText(), c.failure);
    }
}

// ---- streamed downloads into PC files ----------------------------------------------------

std::string readPcFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names a folder holds, sorted.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(StreamedDownload, EachBlockGoesOnAsItArrives) {
    PhoneFixture f;
    const Bytes content = patternBytes(10 * 1024 + 7, 3);
    ASSERT_TRUE(f.model.addFile("/a/big.bin", content));
    Bytes joined;
    size_t largest = 0;
    size_t blocks = 0;
    const auto received = downloadPhoneFile(
        f.context.commands, {"/a/big.bin", 0, static_cast<uint32_t>(content.size())},
        [&](std::span<const uint8_t> block) {
            largest = std::max(largest, block.size());
            ++blocks;
            joined.insert(joined.end(), block.begin(), block.end());
            return true;
        });
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(*received, content.size());
    EXPECT_EQ(joined, content);
    EXPECT_EQ(blocks, 11u);
    EXPECT_LE(largest, CommandSet::kFileBlock) << "no more than a block is held at a time";

    // A sink that says no stops the download after its block; the file is closed.
    blocks = 0;
    EXPECT_FALSE(downloadPhoneFile(f.context.commands, {"/a/big.bin", 0, 10247},
                                   [&](std::span<const uint8_t>) { return ++blocks < 3; }));
    EXPECT_EQ(blocks, 3u);
    EXPECT_EQ(fileCommands(f.link->commands(), CommandSet::kClose).size(), 2u);
}

TEST(StreamedDownload, IntoAPcFileThroughATemporaryFileBesideIt) {
    struct Case {
        const char* name;
        size_t onPhone;
        uint32_t listed;
        ExistingFile mode;
        bool existing;
        std::string targetName;
        const char* failure;  // nullptr: the phone's file takes the target's place
    };
    const std::string longName(250, 'n');
    const Case cases[] = {
        {"new file", 5000, 5000, ExistingFile::Replace, false, "x.bin", nullptr},
        {"replaces an existing file", 5000, 5000, ExistingFile::Replace, true, "x.bin", nullptr},
        {"a name too long for a suffix", 3000, 3000, ExistingFile::Replace, false, longName,
         nullptr},
        {"short read keeps the existing file", 1000, 4000, ExistingFile::Replace, true, "x.bin",
         "the phone sent 1000 of the 4000 bytes it listed"},
        {"short read leaves nothing", 1000, 4000, ExistingFile::Keep, false, "x.bin",
         "the phone sent 1000 of the 4000 bytes it listed"},
        {"an existing file is kept", 5000, 5000, ExistingFile::Keep, true, "x.bin", "exists"},
        {"an unlisted size is a bound", 1500, kUnlistedFileSize, ExistingFile::Keep, false, "x.bin",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        const Bytes content = patternBytes(c.onPhone, 4);
        ASSERT_TRUE(f.model.addFile("/a/x.bin", content));
        const std::string folder = f.programFolder() + "/pc";
        std::filesystem::create_directory(folder);
        const std::string target = folder + "/" + c.targetName;
        if (c.existing) std::ofstream(target) << "old bytes";
        std::string error;
        const bool done = downloadPhoneFileToPc(f.context.commands, {"/a/x.bin", 0, c.listed},
                                                target, c.mode, error);
        const bool targetThere = c.existing || !c.failure;
        EXPECT_EQ(namesIn(folder),
                  targetThere ? std::vector<std::string>{c.targetName} : std::vector<std::string>{})
            << "no temporary file is left";
        if (!c.failure) {
            EXPECT_TRUE(done) << error;
            EXPECT_EQ(readPcFile(target), std::string(content.begin(), content.end()));
            continue;
        }
        EXPECT_FALSE(done);
        EXPECT_NE(error.find(c.failure), std::string::npos) << error;
        if (c.existing) {
            EXPECT_EQ(readPcFile(target), "old bytes");
        }
    }
}

TEST(StreamedDownload, CancelRemovesTheTemporaryFile) {
    PhoneFixture f;
    ASSERT_TRUE(f.model.addFile("/a/big.bin", patternBytes(8000, 2)));
    TransferWatch watch(f.clock);
    std::vector<std::string> seenMidway;
    const std::string folder = f.programFolder() + "/pc";
    std::filesystem::create_directory(folder);
    watch.setObserver([&](const TransferSnapshot& state) {
        if (state.fileDone < 2048 || watch.cancelRequested()) return;
        seenMidway = namesIn(folder);
        watch.requestCancel();
    });
    f.context.commands.setTransferWatch(&watch);
    std::string error;
    EXPECT_FALSE(downloadPhoneFileToPc(f.context.commands, {"/a/big.bin", 0, 8000},
                                       folder + "/big.bin", ExistingFile::Replace, error));
    f.context.commands.setTransferWatch(nullptr);
    EXPECT_EQ(error, "cancelled by the user");
    ASSERT_EQ(seenMidway.size(), 1u) << "the blocks went to a temporary file as they came";
    EXPECT_EQ(seenMidway[0].rfind(kPendingFilePrefix, 0), 0u) << seenMidway[0];
    EXPECT_TRUE(namesIn(folder).empty());
}

TEST(StreamedDownload, AListedSizeBeyondTheFreeSpaceIsRefused) {
    struct Case {
        PhoneDownload file;
        std::optional<uint64_t> free;
        std::optional<std::string> refusal;
    };
    const Case cases[] = {
        {{"/a/x", 0, 0xFFFFFFFF},
         1000000,
         "not enough space in /pc/: the phone lists 4294967295 bytes, free 1000000"},
        {{"/a/x", 0, 5000},
         4999,
         "not enough space in /pc/: the phone lists 5000 bytes, free 4999"},
        {{"/a/x", 0, 5000}, 5000, std::nullopt},
        {{"/a/x", 0, 5000}, std::nullopt, std::nullopt},
        {{"/a/x", 0, kUnlistedFileSize}, 10, std::nullopt},
        {{"/a/x", 0, 0xFFFFFFFF, true}, 10, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.size);
        EXPECT_EQ(downloadSpaceProblem(c.file, c.free, "/pc/"), c.refusal);
    }
    // Refused before the phone is asked for anything.
    PhoneFixture f;
    ASSERT_TRUE(f.model.addFile("/a/x", patternBytes(10, 1)));
    std::string error;
    EXPECT_FALSE(downloadPhoneFileToPc(f.context.commands, {"/a/x", 0, 0xFFFFFFFF},
                                       f.programFolder() + "/x", ExistingFile::Replace, error));
    const auto free = freeSpaceIn(f.programFolder());
    ASSERT_TRUE(free.has_value());
    if (*free < 0xFFFFFFFFu) {
        EXPECT_EQ(error.rfind("not enough space in ", 0), 0u) << error;
        EXPECT_TRUE(fileCommands(f.link->commands(), CommandSet::kOpen).empty());
    } else {
        EXPECT_EQ(error, "the phone sent 10 of the 4294967295 bytes it listed");
    }
}

// The open value is the attribute digits of the row's text, taken from the word itself.
TEST(Download, OpenModeFromTheListedAttributeWord) {
    struct Case {
        uint32_t attributes;
        bool usblan;
        const char* text;
        uint32_t mode;
    };
    const Case cases[] = {
        {0x07000400, false, "07    0004", 0x4u},   {0x072A0C00, false, "07    2A0C", 0x2A0Cu},
        {0x00040000, false, "00    0400", 0x400u}, {0, false, "00    0000", 0u},
        {0x00070004, true, "07    0004", 0x4u},    {0x00072A0C, true, "07    2A0C", 0x2A0Cu},
        {0x12340400, true, "34    0400", 0x400u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Catalogue::attributeText(c.attributes, c.usblan), c.text);
        EXPECT_EQ(phoneOpenMode(c.attributes, c.usblan), c.mode) << c.text;
    }
}

// ---- the model name of a Linux phone ---------------------------------------------------

TEST(UsblanIdentity, ModelNameFromTheBluetoothConfiguration) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::string> model;
    };
    const Case cases[] = {
        {"plain", "[x]\ndefaultLocalDevName = E680\nother=1\n", "E680"},
        {"line", "[LOCAL]\ndefaultLocalDevName = A1200\nx = 1\n", "A1200"},
        {"CR before LF", "defaultLocalDevName = A1200\r\n", "A1200"},
        {"CR LF", "defaultLocalDevName = E680i\r\nx", "E680i"},
        {"no LF at the end", "defaultLocalDevName = ROKR E2", "ROKR E2"},
        {"a zero byte ends the text", std::string("defaultLocalDevName = E6\0xx\n", 28), "E6"},
        {"nothing after the key and its blanks", "defaultLocalDevName = ", ""},
        // The name starts 22 characters after the key: a key closer to the end has none.
        {"key at the very end", "defaultLocalDevName", std::nullopt},
        {"match too close to the end", "defaultLocalDevName =", std::nullopt},
        {"no key", "localDevName = E680\n", std::nullopt},
        {"no match", "[LOCAL]\nname = A1200\n", std::nullopt},
        {"cut to 255", "defaultLocalDevName = " + std::string(300, 'N'), std::string(255, 'N')},
        {"overlong name is cut", "defaultLocalDevName = " + std::string(600, 'M') + "\n",
         std::string(kModelNameMax, 'M')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes(c.text.begin(), c.text.end());
        EXPECT_EQ(parseBluetoothModelName(bytes), c.model);
    }
}

TEST(UsblanIdentity, ReadsTheFirst500BytesOfTheFile) {
    struct Case {
        const char* name;
        std::string content;
        std::optional<std::string> model;
    };
    const Case cases[] = {
        {"short file", "defaultLocalDevName = E680\n", "E680"},
        {"name beyond byte 500", std::string(600, '#') + "defaultLocalDevName = E680\n",
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        f.model.addVolume("/ezxlocal", 1 << 20);
        ASSERT_TRUE(
            f.model.addFile(kBluetoothConfigPath, Bytes(c.content.begin(), c.content.end())));
        EXPECT_EQ(readUsblanModelName(f.context.commands), c.model);
        auto sent = f.link->commands();
        auto reads = requestCounts(fileCommands(sent, CommandSet::kRead));
        ASSERT_FALSE(reads.empty());
        EXPECT_EQ(reads[0], 500u);
        EXPECT_EQ(fileCommands(sent, CommandSet::kClose).size(), 1u);
    }
    PhoneFixture f;  // no such file: the open fails, the read gets no bytes, no name
    EXPECT_EQ(readUsblanModelName(f.context.commands), std::nullopt);
}

// ---- checked transfers -----------------------------------------------------------------

TEST(CheckedTransfers, UploadsAreReadBackAndCompared) {
    struct Case {
        const char* name;
        bool verify;
        bool corruptReads;
        int result;
        const char* reason;
    };
    const Case cases[] = {
        {"not checked", false, true, 0, ""},
        {"checked, the phone keeps the bytes", true, false, 0, ""},
        {"checked, the phone returns other bytes", true, true, -1,
         "verify failed: the phone's copy differs from the PC file at byte 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        f.phone.faults().corruptReads = c.corruptReads;
        f.context.commands.setVerifyTransfers(c.verify);
        const UploadResult upload =
            uploadPhoneFileReporting(f.context.commands, "/a/v.bin", patternBytes(3000, 4));
        EXPECT_EQ(upload.result, c.result);
        EXPECT_EQ(upload.reason, c.reason);
        EXPECT_EQ(fileCommands(f.link->commands(), CommandSet::kRead).size(), c.verify ? 3u : 0u);
        if (c.result != 0) {
            EXPECT_EQ(f.context.transport.failure().kind, FailureKind::VerifyFailed);
        }
    }
}

TEST(CheckedTransfers, DownloadsShorterThanListedFail) {
    for (bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        PhoneFixture f;
        ASSERT_TRUE(f.model.addFile("/a/short.bin", patternBytes(1500, 2)));
        f.context.commands.setVerifyTransfers(verify);
        // The catalogue lists 2000 bytes; the phone has 1500: checked transfers or not.
        EXPECT_FALSE(downloadPhoneFile(f.context.commands, "/a/short.bin", 0, 2000).has_value());
        EXPECT_EQ(f.context.transport.failureText(),
                  "the phone sent 1500 of the 2000 bytes it listed");
        EXPECT_TRUE(downloadPhoneFile(f.context.commands, "/a/short.bin", 0, 1500).has_value());
        // A hidden file is listed with a made-up size: what the phone has is the file.
        const auto hidden =
            downloadPhoneFile(f.context.commands, "/a/short.bin", 0, kUnlistedFileSize);
        ASSERT_TRUE(hidden.has_value());
        EXPECT_EQ(*hidden, patternBytes(1500, 2));
    }
}

// ---- upload ----------------------------------------------------------------------------

TEST(Upload, MissingFoldersAreCreatedInOrderThenOpenedOnceMore) {
    PhoneFixture f;
    const Bytes data = patternBytes(2500, 9);
    RecordingProgress progress;
    f.context.commands.setProgress(&progress);
    EXPECT_EQ(uploadPhoneFile(f.context.commands, "/a/new/sub/x.txt", data), 0);
    auto sent = f.link->commands();
    std::vector<std::string> created;
    for (const auto& c : fileCommands(sent, CommandSet::kCreateFolder)) {
        created.push_back(namedPath(c));
    }
    EXPECT_EQ(created, (std::vector<std::string>{"/a", "/a/new", "/a/new/sub"}));
    EXPECT_EQ(fileCommands(sent, CommandSet::kOpen).size(), 2u);
    EXPECT_EQ(f.model.fileBytes("/a/new/sub/x.txt"), data);
    EXPECT_EQ(progress.ranges(), (std::vector<std::pair<int, int>>{{0, 3}}));
    EXPECT_EQ(progress.steps(), 3);
}

TEST(Upload, ExistingFolderNeedsOneOpen) {
    PhoneFixture f;
    ASSERT_TRUE(f.model.addFolder("/a/pics"));
    EXPECT_EQ(uploadPhoneFile(f.context.commands, "/a/pics/p.jpg", Bytes(10, 3)), 0);
    auto sent = f.link->commands();
    EXPECT_EQ(fileCommands(sent, CommandSet::kOpen).size(), 1u);
    EXPECT_TRUE(fileCommands(sent, CommandSet::kCreateFolder).empty());
    auto opens = fileCommands(sent, CommandSet::kOpen);
    EXPECT_EQ(bytes::be32(&opens[0].payload[4]), 4u);
}

TEST(Upload, SecondFailedOpenWritesNothing) {
    PhoneFixture f;
    // A file the phone still has open must not receive the upload's bytes.
    ASSERT_TRUE(f.model.addFile("/a/other.txt", Bytes{1, 2, 3}));
    ASSERT_EQ(f.context.commands.phoneOpenFile("/a/other.txt", 0xFFFFFFFF), 0);
    f.link->clear();
    EXPECT_EQ(uploadPhoneFile(f.context.commands, "/z/new/x.txt", Bytes(100, 7)), -1);
    auto sent = f.link->commands();
    EXPECT_EQ(fileCommands(sent, CommandSet::kOpen).size(), 2u);
    EXPECT_TRUE(fileCommands(sent, CommandSet::kWrite).empty());
    EXPECT_EQ(f.model.fileBytes("/a/other.txt"), (Bytes{1, 2, 3}));
}

TEST(Upload, RefusedWriteFails) {
    PhoneFixture f;
    f.model.addVolume("/c", 1000);
    EXPECT_EQ(uploadPhoneFile(f.context.commands, "/c/big.bin", Bytes(3000, 1)), -1);
    EXPECT_EQ(uploadPhoneFile(f.context.commands, "/c/small.bin", Bytes(900, 1)), 0);
}

TEST(Upload, NewFolderGetsItsPlaceholder) {
    PhoneFixture f;
    EXPECT_EQ(createPhoneFolder(f.context.commands, "/a/made/"), "/a/made/folder.mdk");
    EXPECT_EQ(f.model.fileBytes("/a/made/folder.mdk"), (Bytes{'5'}));
    EXPECT_EQ(createPhoneFolder(f.context.commands, "/a/made"), std::nullopt) << "exists";
    EXPECT_EQ(createPhoneFolder(f.context.commands, "/q/x"), std::nullopt) << "no volume /q";
}

// ---- folder download plan --------------------------------------------------------------

std::vector<std::string> relativePaths(const std::vector<FolderDownloadItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.relativePcPath + (i.folder ? "/" : ""));
    return out;
}

TEST(FolderPlan, TakesOnlyRecordsBelowTheFolder) {
    const std::vector<CatalogueRecord> records = {
        {"/a/music", 0x07001000, 0},          {"/a/music/x.mp3", 0x07000400, 10},
        {"/a/music2/y.mp3", 0x07000400, 20},  {"/a/musicx", 0x07000400, 30},
        {"/a/music/sub", 0x07001000, 0},      {"/a/music/sub/z.mp3", 0x07002100, 40},
        {"/b/a/music/w.mp3", 0x07000400, 50},
    };
    for (const char* folder : {"/a/music", "/a/music/"}) {
        SCOPED_TRACE(folder);
        std::vector<std::string> refused;
        auto items = planFolderDownload(records, folder, false, refused);
        EXPECT_EQ(relativePaths(items),
                  (std::vector<std::string>{"music/x.mp3", "music/sub/", "music/sub/z.mp3"}));
        EXPECT_TRUE(refused.empty());
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[2].phonePath, "/a/music/sub/z.mp3");
        EXPECT_EQ(items[2].size, 40u);
        EXPECT_EQ(items[2].openMode, 0x07002100u);
    }
}

TEST(FolderPlan, NamesComeFromTheFolderOwnPosition) {
    const std::vector<CatalogueRecord> records = {
        {"/a/a/f.txt", 0x07000400, 1},
        {"/a/a/a/g.txt", 0x07000400, 2},
        {"/a/ab/h.txt", 0x07000400, 3},
    };
    std::vector<std::string> refused;
    auto items = planFolderDownload(records, "/a/a", false, refused);
    EXPECT_EQ(relativePaths(items), (std::vector<std::string>{"a/f.txt", "a/a/g.txt"}));
}

TEST(FolderPlan, UnsafeComponentsAreRefused) {
    const std::vector<CatalogueRecord> records = {
        {"/a/music/../../etc/passwd", 0x07000400, 1}, {"/a/music//x.mp3", 0x07000400, 2},
        {"/a/music/./y.mp3", 0x07000400, 3},          {"/a/music/sub/..", 0x07000400, 4},
        {"/a/music/ok.mp3", 0x07000400, 5},
    };
    std::vector<std::string> refused;
    auto items = planFolderDownload(records, "/a/music", false, refused);
    EXPECT_EQ(relativePaths(items), (std::vector<std::string>{"music/ok.mp3"}));
    EXPECT_EQ(refused, (std::vector<std::string>{"/a/music/../../etc/passwd", "/a/music//x.mp3",
                                                 "/a/music/./y.mp3", "/a/music/sub/.."}));
}

TEST(FolderPlan, FolderBitReadAsThePaneReadsIt) {
    const std::vector<CatalogueRecord> records = {
        {"/e/d/sub", 0x07000010, 0},
        {"/e/d/file", 0x07000004, 9},
    };
    std::vector<std::string> refused;
    auto usblan = planFolderDownload(records, "/e/d", true, refused);
    EXPECT_EQ(relativePaths(usblan), (std::vector<std::string>{"d/sub/", "d/file"}));
    EXPECT_EQ(usblan[1].openMode, 0x07000400u);
    auto usb = planFolderDownload(records, "/e/d", false, refused);
    EXPECT_EQ(relativePaths(usb), (std::vector<std::string>{"d/sub", "d/file"}));
}

// ---- folder upload and source lists ----------------------------------------------------

TEST(FolderUpload, TargetsAndPcListing) {
    EXPECT_EQ(folderUploadTarget("/a/new/", "/home/u/pics", "/home/u/pics/x/y.jpg"),
              "/a/new/pics/x/y.jpg");
    EXPECT_EQ(folderUploadTarget("/a/new", "/home/u/pics/", "/home/u/pics/z.jpg"),
              "/a/new/pics/z.jpg");

    PhoneFixture f;
    namespace fs = std::filesystem;
    const fs::path root = fs::path(f.programFolder()) / "pics";
    fs::create_directories(root / "sub");
    fs::create_directories(root / "empty");
    std::ofstream(root / "b.jpg") << "b";
    std::ofstream(root / "sub" / "a.jpg") << "a";
    EXPECT_EQ(listPcFilesBelow(root.string()),
              (std::vector<std::string>{(root / "b.jpg").string(), (root / "sub/a.jpg").string()}));
    EXPECT_TRUE(listPcFilesBelow((root / "missing").string()).empty());
}

TEST(SourceList, LineRules) {
    struct Case {
        const char* text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"C:/a.txt\r\n#skip\nC:/b.txt\n", {"C:/a.txt", "C:/b.txt"}},
        {"C:/a.txt\n\nC:/b.txt\n", {"C:/a.txt"}},
        {"C:/a.txt\nC:/tail", {"C:/a.txt"}},
        {"", {}},
        {"\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseSourceList(c.text), c.lines);
    }
}

// ---- the phone-session lock -------------------------------------------------------------

// True when another thread cannot take the phone-session lock right now.
bool heldByAnotherThread(std::recursive_mutex& mutex) {
    bool got = false;
    std::thread other([&] {
        if (mutex.try_lock()) {
            got = true;
            mutex.unlock();
        }
    });
    other.join();
    return !got;
}

TEST(SessionLock, MultiExchangeOperationsHoldItThroughout) {
    struct Case {
        const char* name;
        std::function<void(AppContext&)> run;
    };
    const Case cases[] = {
        {"download",
         [](AppContext& c) { downloadPhoneFile(c.commands, "/a/f.bin", 0xFFFFFFFF, 2500); }},
        {"upload into new folders",
         [](AppContext& c) { uploadPhoneFile(c.commands, "/a/n/m/u.bin", Bytes(2100, 1)); }},
        {"new folder", [](AppContext& c) { createPhoneFolder(c.commands, "/a/made"); }},
        {"model name", [](AppContext& c) { readUsblanModelName(c.commands); }},
        {"seem file",
         [](AppContext& c) {
             writeSeemFromFile(c.commands, {4, 1}, Bytes{1});
         }},
        {"probe", [](AppContext& c) { c.commands.probeCommandSet(); }},
        {"session sequence", [](AppContext& c) { c.commands.runSessionSequence(); }},
        {"attach", [](AppContext& c) { c.catalogue.attachPhone(); }},
        {"load", [](AppContext& c) { c.catalogue.loadCatalogue(); }},
        {"status", [](AppContext& c) { c.catalogue.refreshPhoneStatus(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        ASSERT_TRUE(f.model.addFile("/a/f.bin", patternBytes(2500)));
        f.model.addVolume("/ezxlocal", 1 << 20);
        ASSERT_TRUE(f.model.addFile(kBluetoothConfigPath, Bytes(20, 'x')));
        int requests = 0;
        int held = 0;
        f.link->onRequest = [&](uint32_t, std::span<const uint8_t>) {
            ++requests;
            if (heldByAnotherThread(f.context.transport.sessionMutex())) ++held;
        };
        c.run(f.context);
        f.link->onRequest = nullptr;
        EXPECT_GT(requests, 3);
        EXPECT_EQ(held, requests);
    }
}

// ---- seem files ------------------------------------------------------------------------

TEST(SeemFile, NamesAndTheirValidRange) {
    EXPECT_EQ(seemFileName(0x0032, 10), "0032_000A.seem");
    EXPECT_EQ(seemFileName("0032", 10), "0032_000A.seem");
    EXPECT_EQ(seemFileName(0x0000, 1), "0000_0001.seem");
    struct Case {
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"0000_0001.seem", false}, {"02FF_0001.seem", false}, {"0032_00FF.seem", false},
        {"0032_0000.seem", false}, {"02FE_00FE.seem", true},  {"0001_0001.seem", true},
        {"02fe_00fe.seem", true},  {"0032_01.seem", false},   {"ZZZZ_0001.seem", false},
        {"0032", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseSeemFileName(c.name).has_value(), c.valid);
    }
    auto address = parseSeemFileName("02FE_00FE.seem");
    ASSERT_TRUE(address);
    EXPECT_EQ(address->seem, 0x02FE);
    EXPECT_EQ(address->record, 0x00FE);
}

TEST(SeemFile, WriteDataTakesTheRecordLength) {
    const Bytes current(6, 0xAA);
    EXPECT_EQ(seemWriteData(Bytes{1, 2}, current), (Bytes{1, 2, 0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(seemWriteData(Bytes{1, 2, 3, 4, 5, 6, 7, 8}, current), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(seemWriteData({}, current), current);
    EXPECT_TRUE(seemWriteData(Bytes{1, 2}, {}).empty());
}

TEST(SeemFile, WritingAFileIntoItsRecord) {
    struct Case {
        const char* name;
        Bytes file;
        Bytes record;
        bool logsLength;
    };
    const Case cases[] = {
        {"same length", {1, 2, 3, 4}, {1, 2, 3, 4}, false},
        {"shorter file", {1, 2}, {1, 2, 0x33, 0x44}, true},
        {"longer file", {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        f.model.setSeem(0x0032, 2, {0x11, 0x22, 0x33, 0x44});
        EXPECT_EQ(writeSeemFromFile(f.context.commands, {0x0032, 2}, c.file), 0);
        EXPECT_EQ(f.model.seem(0x0032, 2), c.record);
        EXPECT_EQ(f.log.lines().size(), c.logsLength ? 1u : 0u);
    }
}

}  // namespace
}  // namespace mdk::test
