// Phone file transfers (download, the Linux phone's model name read from a file, upload with its
// folder-creation retry, folder download planning, source lists) and seem files (names, the bytes
// written into a record).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "p2k/file_transfer.h"
#include "p2k/phone_identity.h"
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

TEST(Download, TheBytesReadCountNotTheListedSize) {
    struct Case {
        const char* name;
        size_t onPhone;
        uint32_t listed;
    };
    const Case cases[] = {
        {"phone file shorter than listed", 500, 1000},
        {"phone file empty, listed with bytes", 0, 1025},
        {"hidden file listed with 99999999 bytes", 3000, 99999999},
        {"absurd listed size", 10, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PhoneFixture f;
        const Bytes content = patternBytes(c.onPhone, 1);
        ASSERT_TRUE(f.model.addFile("/a/x", content));
        EXPECT_EQ(downloadPhoneFile(f.context.commands, "/a/x", 0xFFFFFFFF, c.listed), content);
        EXPECT_EQ(f.context.commands.fileReadTotal(), c.onPhone);
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
        // The catalogue lists 2000 bytes; the phone has 1500.
        const auto data = downloadPhoneFile(f.context.commands, "/a/short.bin", 0, 2000);
        EXPECT_EQ(data.has_value(), !verify);
        if (verify) {
            EXPECT_EQ(f.context.transport.failureText(),
                      "verify failed: 1500 bytes read, the phone lists 2000");
        }
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
