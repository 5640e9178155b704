// Batch package runs against the simulated phone: uploads with their catalogue records,
// folders, deletions, attributes, shell lines, seem saves, downloads, the link test, the
// file-count limit of the run, and the refusals of unsafe lines.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "batch/batch_engine.h"
#include "fifo_guard.h"
#include "p2k/catalogue.h"
#include "p2k/file_transfer.h"
#include "p2k_test_support.h"
#include "platform/process_runner.h"

namespace mdk::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The link of a test: ready or not; transfers run in place. Records the file-count limit
// seen while each transfer ran.
class TestBatchLink final : public BatchLink {
public:
    explicit TestBatchLink(AppContext& context) : context_(context) {}
    bool linkReady() override {
        if (!ready) return false;
        context_.commands.probeCommandSet();
        return true;
    }
    void runTransfer(const std::function<void()>& body) override {
        limitsSeen.push_back(context_.runSettings.read().fileCountLimit);
        body();
    }
    bool ready = true;
    std::vector<int32_t> limitsSeen;

private:
    AppContext& context_;
};

class BatchRun : public ::testing::Test {
protected:
    BatchRun() : link(f.context) {
        folder = fs::path(f.programFolder()) / "package";
        fs::create_directories(folder);
        f.model.addFolder("/a/mobile/skins");
    }

    BatchEngine engine(BatchOptions options = {}) {
        AppContext& c = f.context;
        return BatchEngine({c.commands, c.catalogue, c.runSettings, c.log, runner, c.clock, link},
                           folder.string(), options);
    }
    BatchReport run(const std::vector<std::string>& lines, BatchOptions options = {}) {
        auto e = engine(options);
        return e.run(lines);
    }
    void writePcFile(const std::string& name, const Bytes& bytes) {
        std::ofstream out(folder / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    Bytes readPcFile(const std::string& name) {
        std::ifstream in(folder / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::optional<CatalogueRecord> record(const std::string& path) {
        for (const auto& r : f.context.catalogue.records()) {
            if (r.path == path) return r;
        }
        return std::nullopt;
    }
    // File-system commands sent (the link test's probe reads seems only).
    size_t fileCommandCount() {
        size_t n = 0;
        for (const auto& c : f.link->commands()) n += c.command == CommandSet::kFileSystem;
        return n;
    }

    PhoneFixture f;
    FakeCommandRunner runner;
    TestBatchLink link;
    fs::path folder;
};

TEST_F(BatchRun, CopyThenToUploadsTheFileBesideThePackageWithItsCatalogueRecord) {
    const Bytes skin = patternBytes(3000, 7);
    writePcFile("skin.bmp", skin);
    auto report = run({"cp skin.bmp", "to /a/mobile/skins/skin.bmp"});
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(report.commandsRun, 2);
    EXPECT_EQ(f.model.fileBytes("/a/mobile/skins/skin.bmp"), skin);
    auto r = record("/a/mobile/skins/skin.bmp");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size, 3000u);
    EXPECT_EQ(r->attributeWord, 0x07000400u);
    EXPECT_TRUE(f.log.has((folder / "skin.bmp").string()));
    EXPECT_TRUE(f.log.has("/a/mobile/skins/skin.bmp"));
}

TEST_F(BatchRun, ToWithoutAPendingUploadIsSkipped) {
    writePcFile("skin.bmp", {1, 2, 3});
    auto report = run({"to /a/mobile/skins/early.bmp", "cp skin.bmp", "to /a/mobile/skins/one.bmp",
                       "to /a/mobile/skins/two.bmp"});
    EXPECT_TRUE(report.succeeded()) << "skipped lines are not failures";
    EXPECT_EQ(report.commandsRun, 2);
    EXPECT_FALSE(f.model.fileBytes("/a/mobile/skins/early.bmp"));
    EXPECT_TRUE(f.model.fileBytes("/a/mobile/skins/one.bmp"));
    EXPECT_FALSE(f.model.fileBytes("/a/mobile/skins/two.bmp")) << "the upload is consumed once";
    EXPECT_FALSE(record("/a/mobile/skins/two.bmp"));
}

TEST_F(BatchRun, CopyNamesThatLeaveThePackageFolderAreRefusedAndNothingIsUploaded) {
    std::ofstream(folder.parent_path() / "private.txt") << "the user's own file";
    writePcFile("skin.bmp", {1});
    const std::vector<std::string> names = {
        "../private.txt", (folder.parent_path() / "private.txt").string(), "..\\private.txt"};
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        auto e = engine();
        auto report = e.run({"cp skin.bmp", "cp " + name, "to /a/mobile/skins/stolen.txt"});
        ASSERT_EQ(report.failures.size(), 1u);
        EXPECT_NE(report.failures[0].find("outside the package folder"), std::string::npos);
        EXPECT_FALSE(f.model.fileBytes("/a/mobile/skins/stolen.txt"));
        EXPECT_FALSE(e.hasPendingUpload()) << "a refused cp clears the earlier pending upload";
    }
}

// A "cp" of a named pipe, or of a name that passes a link inside the package folder, is
// refused at once and nothing is uploaded.
TEST_F(BatchRun, CopyRefusesNamedPipesAndLinksInsideThePackageFolder) {
    writePcFile("skin.bmp", {1, 2, 3});
    fs::create_directories(folder / "real");
    writePcFile("real/inner.bmp", {4, 5});
    fs::create_directory_symlink(folder / "real", folder / "via");
    fs::create_symlink(folder / "skin.bmp", folder / "alias.bmp");
    ASSERT_TRUE(makePipe((folder / "pipe.bmp").string()));
    const std::pair<std::string, std::string> cases[] = {
        {"pipe.bmp", "a named pipe"},
        {"via/inner.bmp", "a link inside"},
        {"alias.bmp", "a link, not followed"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        BatchReport report;
        EXPECT_TRUE(returnsWithoutWaiting((folder / "pipe.bmp").string(), [&] {
            report = run({"cp " + name, "to /a/mobile/skins/got.bmp"});
        }));
        ASSERT_EQ(report.failures.size(), 1u);
        EXPECT_NE(report.failures[0].find(reason), std::string::npos) << report.failures[0];
        EXPECT_FALSE(f.model.fileBytes("/a/mobile/skins/got.bmp"));
    }
    EXPECT_TRUE(run({"cp real/inner.bmp", "to /a/mobile/skins/got.bmp"}).succeeded());
}

TEST_F(BatchRun, MissingCopyFileFailsAndItsToIsSkipped) {
    auto report = run({"cp absent.bmp", "to /a/mobile/skins/absent.bmp"});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].rfind("cp absent.bmp", 0), 0u);
    EXPECT_FALSE(f.model.fileBytes("/a/mobile/skins/absent.bmp"));
}

TEST_F(BatchRun, PackageWithCrLfLinesAndBackslashNamesRuns) {
    fs::create_directories(folder / "night");
    writePcFile("night/sky.bmp", {9, 8, 7});
    std::ofstream(folder / "night.mrdk", std::ios::binary)
        << "Night skin\r\ncp night\\sky.bmp\r\nto \\a\\mobile\\skins\\sky.bmp\r\n\r\nrm /a/x\r\n";
    auto lines = readPackageFile((folder / "night.mrdk").string());
    ASSERT_TRUE(lines);
    auto report = run(*lines);
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(report.commandsRun, 2) << "the line after the empty line is not part of it";
    EXPECT_EQ(f.model.fileBytes("/a/mobile/skins/sky.bmp"), (Bytes{9, 8, 7}));
}

TEST_F(BatchRun, UpperCaseAndTabLinesAreIgnored) {
    writePcFile("x", {1});
    auto report = run({"CP x", "cp\tx", "TO /a/mobile/skins/x", "to\t/a/mobile/skins/x"});
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(report.commandsRun, 0);
    EXPECT_EQ(fileCommandCount(), 0u) << "nothing reached the phone";
}

TEST_F(BatchRun, FoldersAreMadeWithTheirMarkerAndRemovedAgain) {
    auto report = run({"md /a/mobile/skins/new"});
    EXPECT_TRUE(report.succeeded());
    const std::string marker = std::string("/a/mobile/skins/new/") + kFolderPlaceholderName;
    EXPECT_EQ(f.model.fileBytes(marker), (Bytes{'5'}));
    auto r = record(marker);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size, 1u);
    EXPECT_EQ(r->attributeWord, 0x07000400u);

    report = run({"rd /a/mobile/skins/new"});
    EXPECT_TRUE(report.succeeded()) << (report.failures.empty() ? "" : report.failures[0]);
    EXPECT_TRUE(f.log.has("M33/a/mobile/skins/new"));
    EXPECT_FALSE(record(marker)) << "the folder's records are dropped";
    for (const auto& entry : f.model.files()) EXPECT_NE(entry.path, "/a/mobile/skins/new");
}

TEST_F(BatchRun, RemoveDeletesTheFileAndItsRecordOnlyWhenThePhoneAgrees) {
    writePcFile("x", {1, 2});
    ASSERT_TRUE(run({"cp x", "to /a/mobile/skins/x"}).succeeded());
    auto report = run({"rm /a/mobile/skins/x", "rm /a/mobile/skins/none"});
    EXPECT_TRUE(f.log.has("M33/a/mobile/skins/x"));
    EXPECT_FALSE(f.model.fileBytes("/a/mobile/skins/x"));
    EXPECT_FALSE(record("/a/mobile/skins/x"));
    ASSERT_EQ(report.failures.size(), 1u) << "the run goes on after a failed line";
    EXPECT_EQ(report.failures[0].rfind("rm /a/mobile/skins/none", 0), 0u);
}

TEST_F(BatchRun, AttributesAreSentAndTheRecordKeepsItsOwnWordWithTheNewLowByte) {
    writePcFile("x", {1, 2});
    auto e = engine();
    auto report = e.run({"cp x", "to /a/mobile/skins/x", "at 33", "sa /a/mobile/skins/x"});
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(e.attributeValue(), 33u);
    auto opens = fileCommands(f.link->commands(), CommandSet::kOpen);
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(bytes::be32(&opens.back().payload[4]), 33u) << "opened with the attribute value";
    auto r = record("/a/mobile/skins/x");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->attributeWord, 0x07002100u);
}

TEST_F(BatchRun, AttributeValuesAreDecimalNumbers) {
    for (const char* bad : {"at 0x21", "at -1", "at 4294967296", "at 12ab", "at "}) {
        SCOPED_TRACE(bad);
        auto e = engine();
        auto report = e.run({"at 7", bad});
        ASSERT_EQ(report.failures.size(), 1u);
        EXPECT_EQ(e.attributeValue(), 7u) << "a refused value keeps the one before";
    }
}

TEST_F(BatchRun, ShellLinesRunOnlyWhenAllowed) {
    auto report = run({"## copy a.txt b.txt"});
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(runner.started(), (std::vector<std::string>{"copy a.txt b.txt"}));

    report = run({"## rm -rf ~"}, BatchOptions{false});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(runner.started().size(), 1u) << "a refused shell line starts nothing";

    runner.setFailing(true);
    EXPECT_EQ(run({"## true"}).failures.size(), 1u);
}

// With a prompter (the GUI), the first shell line asks once, listing every shell command
// of the package; No is the default and refuses them all.
TEST_F(BatchRun, ShellLinesAskOnceListingEveryCommandWithNoAsTheDefault) {
    const std::vector<std::string> lines = {"cp x", "## echo a > a.txt", "rm /a/none",
                                            "## echo \x1b[2J"};
    writePcFile("x", {1});
    ScriptedPrompter prompter;
    BatchReport report = run(lines, BatchOptions{true, &prompter});
    ASSERT_EQ(prompter.shown().size(), 1u);
    const Prompt asked = prompter.shown()[0];
    EXPECT_EQ(asked.text,
              "This package runs 2 shell commands:\n\necho a > a.txt\necho \\x1B[2J\n\nRun them?");
    EXPECT_EQ(asked.buttons, PromptButtons::YesNo);
    EXPECT_TRUE(asked.defaultNo);
    EXPECT_TRUE(runner.started().empty()) << "the default answer runs nothing";
    ASSERT_EQ(report.failures.size(), 3u);
    EXPECT_EQ(report.failures[0], "## echo a > a.txt: the shell commands were not confirmed");

    prompter.queueAnswer(PromptAnswer::Yes);
    report = run(lines, BatchOptions{true, &prompter});
    EXPECT_EQ(prompter.shown().size(), 2u) << "asked once per run";
    EXPECT_EQ(runner.started(), (std::vector<std::string>{"echo a > a.txt", "echo \x1b[2J"}));

    run({"cp x", "to /a/mobile/skins/x"}, BatchOptions{true, &prompter});
    EXPECT_EQ(prompter.shown().size(), 2u) << "a package without shell lines asks nothing";
    EXPECT_EQ(shellQuestion({"true"}), "This package runs 1 shell command:\n\ntrue\n\nRun them?");
}

TEST_F(BatchRun, ShellLinesRunInThePackageFolder) {
    PosixCommandRunner shell;
    AppContext& c = f.context;
    BatchEngine e({c.commands, c.catalogue, c.runSettings, c.log, shell, c.clock, link},
                  folder.string());
    ASSERT_TRUE(e.run({"## pwd > where.tmp && mv where.tmp where.txt"}).succeeded());
    const fs::path where = folder / "where.txt";
    for (int i = 0; i < 500 && !fs::exists(where); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string text;
    std::getline(std::ifstream(where), text);
    EXPECT_EQ(fs::path(text), fs::canonical(folder));
}

TEST_F(BatchRun, SeemBitLinesChangeOnlyTheirBitAndWriteBackTheBytesUpToIt) {
    Bytes data = patternBytes(16, 0x50);
    data[10] = 0xA5;  // bit 3 (0x08) clear
    f.model.setSeem(0x32, 1, data);
    struct Step {
        const char* line;
        uint8_t byte10;
    };
    const Step steps[] = {
        {"ss 0032 0001 000A 3", 0xAD}, {"ss 0032 0001 000A 3", 0xAD},
        {"rs 0032 0001 000A 3", 0xA5}, {"ts 0032 0001 000A 3", 0xAD},
        {"ts 0032 0001 000A 3", 0xA5}, {"ts 0032_0001_000a_3 ", 0xAD},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.line);
        f.link->clear();
        ASSERT_TRUE(run({step.line}).succeeded());
        Bytes expected = data;
        expected[10] = step.byte10;
        EXPECT_EQ(f.model.seem(0x32, 1), expected);
        std::vector<SeenCommand> writes;
        for (const auto& c : f.link->commands()) {
            if (c.command == CommandSet::kWriteSeem) writes.push_back(c);
        }
        ASSERT_EQ(writes.size(), 1u);
        // seem, record, offset 0, count 11, then bytes 0-10 of the record
        EXPECT_EQ(Bytes(writes[0].payload.begin(), writes[0].payload.begin() + 8),
                  (Bytes{0, 0x32, 0, 1, 0, 0, 0, 11}));
        EXPECT_EQ(writes[0].payload.size(), 8u + 11u);
    }
}

TEST_F(BatchRun, SeemBitLinesThatCannotBeAppliedWriteNothing) {
    const Bytes data = patternBytes(4, 0x10);
    f.model.setSeem(0x32, 1, data);
    auto report = run({"ss 0032 0001 000A 3", "ss 0032 0001 0002 8", "ss 0032 0001 00X2 1",
                       "ts 0032 0001", "rs 0099 0001 0000 0"});
    EXPECT_EQ(report.failures.size(), 5u);
    EXPECT_NE(report.failures[0].find("beyond the record"), std::string::npos);
    EXPECT_EQ(f.model.seem(0x32, 1), data);
    for (const auto& c : f.link->commands()) EXPECT_NE(c.command, CommandSet::kWriteSeem);
}

TEST_F(BatchRun, SeemSaveWritesTheRecordBesideThePackage) {
    const Bytes data = patternBytes(40, 3);
    f.model.setSeem(0x32, 1, data);
    auto report = run({"ds 0032 0001"});
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(readPcFile("0032_0001.seem"), data);
}

TEST_F(BatchRun, SeemSaveRefusesBadNumbersAndKeepsTheFileWhenThePhoneRefuses) {
    writePcFile("0033_0001.seem", {1, 2, 3});
    auto report = run({"ds 0033 0001", "ds ../../x 0001", "ds 32 1"});
    ASSERT_EQ(report.failures.size(), 3u);
    EXPECT_EQ(readPcFile("0033_0001.seem"), (Bytes{1, 2, 3}));
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename(), "0033_0001.seem");
    }
}

TEST_F(BatchRun, DownloadBringsTheWholeFileEvenBeyondAMillionBytes) {
    const Bytes big = patternBytes(1'500'000, 11);
    ASSERT_TRUE(f.model.addFile("/a/mobile/skins/big.bin", big, 0x07000400));
    auto report = run({"df /a/mobile/skins/big.bin"});
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(readPcFile("big.bin"), big);
}

TEST_F(BatchRun, FailedDownloadKeepsTheExistingFile) {
    writePcFile("gone.bin", {4, 5, 6});
    auto report = run({"df /a/mobile/skins/gone.bin"});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(readPcFile("gone.bin"), (Bytes{4, 5, 6}));
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename(), "gone.bin") << "no temporary file is left";
    }
}

TEST_F(BatchRun, DownloadShorterThanListedFailsAndAnUnlistedFileIsReadToItsEnd) {
    ASSERT_TRUE(f.model.addFile("/a/mobile/skins/short.bin", patternBytes(5000, 2)));
    f.context.catalogue.setCurrentVolume("/a");
    f.context.catalogue.loadCatalogue();
    ASSERT_TRUE(f.model.addFile("/a/mobile/skins/unlisted.bin", patternBytes(5000, 3)));
    f.phone.faults().shortReadBytes = 3000;
    writePcFile("short.bin", {4, 5, 6});
    auto report = run({"df /a/mobile/skins/short.bin", "df /a/mobile/skins/unlisted.bin"});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("download failed: the phone sent 3000 of the 5000 bytes it "
                                      "listed"),
              std::string::npos)
        << report.failures[0];
    EXPECT_EQ(readPcFile("short.bin"), (Bytes{4, 5, 6}));
    EXPECT_EQ(readPcFile("unlisted.bin"), patternBytes(3000, 3));
}

TEST_F(BatchRun, DownloadRefusesNamesThatAreNoFile) {
    for (const char* line : {"df /a/mobile/skins/", "df /a/mobile/..", "df /a/.", "df "}) {
        SCOPED_TRACE(line);
        auto report = run({line});
        EXPECT_EQ(report.failures.size(), 1u);
    }
    EXPECT_EQ(fileCommandCount(), 0u) << "nothing was asked of the phone";
}

TEST_F(BatchRun, PhonePathsLongerThanAPayloadAreRefusedBeforeSending) {
    const std::string longPath = "/a/" + std::string(BatchEngine::kMaxPhonePath, 'x');
    writePcFile("x", {1});
    auto report = run({"rm " + longPath, "md " + longPath, "rd " + longPath, "sa " + longPath,
                       "df " + longPath, "cp x", "to " + longPath});
    EXPECT_EQ(report.failures.size(), 6u);
    for (const auto& c : f.link->commands()) {
        EXPECT_LT(c.payload.size(), BatchEngine::kMaxPhonePath) << "a long path was sent";
    }
}

TEST_F(BatchRun, NothingRunsWhenTheLinkTestFails) {
    link.ready = false;
    writePcFile("x", {1});
    f.context.runSettings.change([](RunValues& values) { values.fileCountLimit = 250; });
    auto report = run({"cp x", "to /a/mobile/skins/x", "## true"});
    EXPECT_TRUE(report.linkFailed);
    EXPECT_FALSE(report.succeeded());
    EXPECT_EQ(fileCommandCount(), 0u);
    EXPECT_TRUE(runner.started().empty());
    EXPECT_EQ(f.context.runSettings.read().fileCountLimit, 250) << "the limit is put back";
}

TEST_F(BatchRun, FileCountLimitIsThreeForTheRunAndPutBackAfterFailures) {
    writePcFile("x", {1});
    f.context.runSettings.change([](RunValues& values) { values.fileCountLimit = -1; });
    auto e = engine();
    auto report =
        e.run({"cp x", "to /a/mobile/skins/x", "rm /a/none", "cp x", "to /a/mobile/skins/y"});
    EXPECT_EQ(report.failures.size(), 1u);
    ASSERT_EQ(link.limitsSeen.size(), 2u);
    EXPECT_EQ(link.limitsSeen[0], 3);
    EXPECT_FALSE(e.running());
    EXPECT_EQ(f.context.runSettings.read().fileCountLimit, -1);
    EXPECT_EQ(f.context.config.fileCountLimit, -1) << "nothing of the run reaches the record";
}

}  // namespace
}  // namespace mdk::test
