// The Copy command between PC folders, phone volumes and the seem folder, on the
// simulated phone: downloads, uploads, folder transfers, seems and the PC copy's
// questions.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <future>

#include "transfers_fixture.h"

namespace mdk::test {
namespace fs = std::filesystem;

// While alive, file permissions hold for this thread also when the tests run as root: the
// thread's effective set loses the capabilities that override them (kept permitted, so
// they come back afterwards).
class PermissionsInForce {
public:
    PermissionsInForce() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~PermissionsInForce() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionsInForce(const PermissionsInForce&) = delete;
    PermissionsInForce& operator=(const PermissionsInForce&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

class TestTransfers : public QObject {
    Q_OBJECT
private slots:
    void downloadsWriteWholeFilesWithTheirProgressRanges();
    void aFailedDownloadKeepsThePcFile();
    void aFolderDownloadStaysInsideTheFolderAndKeepsPcFiles();
    void anUploadCreatesMissingFoldersAndIsListedAtOnce();
    void theTargetOfAnUploadCanBeEditedOrCancelled();
    void aFailedUploadAddsNothingToTheListing();
    void aFolderUploadSendsEveryFileBelowIt();
    void aFolderUploadGoesOnPastUnreadableFilesAndFolders();
    void aMissingSourceListEndsTheFolderUpload();
    void aSourceListThatCannotBeWrittenStopsTheFolderUpload();
    void aFolderUploadLogsNoExpectedRefusals();
    void pcCopyOverAnExistingFileAsksFirst();
    void yesToAllAndNoToAllAnswerTheRowsThatFollow();
    void seemsDownloadAsRecordFiles();
    void seemUploadsCheckTheFileName();
    void phoneCommandsAreRefusedWhileAWorkerRuns();
    void cancelStopsADownloadAndSkipsTheRowsThatFollow();
    void cancelRemovesThePartialUploadFromThePhone();
};

void TestTransfers::downloadsWriteWholeFilesWithTheirProgressRanges() {
    TransferFixture f;
    std::vector<uint8_t> big(2500);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    QVERIFY(f.model.addFile("/a/empty.bin", {}));
    QVERIFY(f.model.addFile("/a/big.bin", big));
    f.startOnPhone();
    f.loadPhone();
    f.showPhone(Side::Left, "/a/");
    f.showPc(Side::Right, f.other);
    f.select(Side::Left, {"big.bin", "empty.bin"});
    const auto rangesBefore = f.progress.ranges().size();
    f.dispatch(ids::kCopy);

    QVERIFY(f.logged("M49"));
    QCOMPARE(f.readFile(f.other + "/big.bin"), std::string(big.begin(), big.end()));
    QVERIFY(fs::exists(f.other + "/empty.bin"));
    QCOMPARE(fs::file_size(f.other + "/empty.bin"), uintmax_t{0});
    auto ranges = f.progress.ranges();
    ranges.erase(ranges.begin(), ranges.begin() + static_cast<long>(rangesBefore));
    QCOMPARE(ranges, (std::vector<std::pair<int, int>>{{0, 3}, {0, 1}}));
    QVERIFY2(f.names(Side::Right).contains("big.bin"), "the PC pane was read again");
}

void TestTransfers::aFailedDownloadKeepsThePcFile() {
    TransferFixture f;
    QVERIFY(f.model.addFile("/a/song.mp3", std::vector<uint8_t>(3000, 9)));
    f.startOnPhone();
    f.loadPhone();
    f.touch(f.other + "/song.mp3", "old bytes");
    f.model.clearFiles();  // listed, but gone from the phone: the open fails
    f.showPhone(Side::Left, "/a/");
    f.showPc(Side::Right, f.other);
    f.select(Side::Left, {"song.mp3"});
    f.dispatch(ids::kCopy);
    QCOMPARE(f.readFile(f.other + "/song.mp3"), std::string("old bytes"));
    QVERIFY(f.logLines().filter("left as it was").size() == 1);
}

void TestTransfers::aFolderDownloadStaysInsideTheFolderAndKeepsPcFiles() {
    TransferFixture f;
    QVERIFY(f.model.addFile("/a/music/x.mp3", TransferFixture::bytesOf("phone x")));
    QVERIFY(f.model.addFile("/a/music/new.mp3", TransferFixture::bytesOf("phone new")));
    QVERIFY(f.model.addFile("/a/music/sub/y.mp3", TransferFixture::bytesOf("phone y")));
    QVERIFY(f.model.addFile("/a/music2/z.mp3", TransferFixture::bytesOf("sibling")));
    QVERIFY(f.model.addFile("/a/other/music/w.mp3", TransferFixture::bytesOf("further in")));
    QVERIFY(f.model.addFile("/a/music/long.mp3", std::vector<uint8_t>(3000, 5)));
    f.startOnPhone();
    f.loadPhone();
    f.phone.faults().shortReadBytes = 2000;  // the phone sends less than it lists
    const std::string target = f.other + "/into";
    fs::create_directories(target + "/music");
    f.touch(target + "/music/x.mp3", "pc x");
    f.touch(target + "/music/sub", "a file where a folder should be");
    f.showPhone(Side::Left, "/a/");
    f.showPc(Side::Right, target);
    f.select(Side::Left, {"music"});
    f.dispatch(ids::kCopy);

    QCOMPARE(f.readFile(target + "/music/new.mp3"), std::string("phone new"));
    QCOMPARE(f.readFile(target + "/music/x.mp3"), std::string("pc x"));
    QCOMPARE(f.readFile(target + "/music/sub"), std::string("a file where a folder should be"));
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(f.other)) {
        written.push_back(fs::relative(entry.path(), f.other).string());
    }
    std::sort(written.begin(), written.end());
    QCOMPARE(written, (std::vector<std::string>{"into", "into/music", "into/music/new.mp3",
                                                "into/music/sub", "into/music/x.mp3"}));

    // Each file not downloaded is named with its reason, and the count ends the copy.
    const QString music = QString::fromStdString(target + "/music");
    QVERIFY(f.logged("Download of /a/music/x.mp3 failed (exists, left unchanged: " + music +
                     "/x.mp3); " + music + "/x.mp3 left as it was."));
    QVERIFY(
        f.logged("Download of /a/music/long.mp3 failed (the phone sent 2000 of the 3000 "
                 "bytes it listed); " +
                 music + "/long.mp3 left as it was."));
    // Once for the folder's own record, once for the file below it.
    QCOMPARE(f.logLines().filter("Cannot create " + music + "/sub: ").size(), 2);
    QCOMPARE(f.logLines().last(), QString("/a/music: 3 of 4 files not downloaded."));
}

void TestTransfers::anUploadCreatesMissingFoldersAndIsListedAtOnce() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    f.touch(f.home + "/x.txt", "upload me");
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/a/new/sub/");
    f.select(Side::Left, {"x.txt"});
    const uint32_t recordsBefore = f.context->catalogue.catalogueRecords();
    f.dispatch(ids::kCopy);

    QVERIFY(f.logged("M47"));
    QCOMPARE(f.model.fileBytes("/a/new/sub/x.txt"),
             std::optional(TransferFixture::bytesOf("upload me")));
    for (const char* folder : {"/a/new", "/a/new/sub"}) {
        const auto paths = f.phonePaths();
        QVERIFY2(std::find(paths.begin(), paths.end(), folder) != paths.end(), folder);
    }
    QCOMPARE(f.context->catalogue.catalogueRecords(), recordsBefore + 1);
    const auto& rows = f.rows(Side::Right);
    auto row = std::find_if(rows.begin(), rows.end(), [](auto& r) { return r.name == "x.txt"; });
    QVERIFY(row != rows.end());
    QCOMPARE(row->detailText, std::string("07    0004"));
    QCOMPARE(row->sizeText, std::string("9"));
}

void TestTransfers::theTargetOfAnUploadCanBeEditedOrCancelled() {
    TransferFixture f;
    f.config.overrideTargetPath = 1;
    f.startOnPhone();
    f.loadPhone();
    f.touch(f.home + "/x.txt", "edited");
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/a/");
    f.select(Side::Left, {"x.txt"});
    f.targetAnswer = [](const std::string&) { return std::optional<std::string>("/a/y.txt"); };
    f.dispatch(ids::kCopy);
    QCOMPARE(f.asked, (std::vector<std::string>{"x.txt -> /a/x.txt"}));
    QCOMPARE(f.model.fileBytes("/a/y.txt"), std::optional(TransferFixture::bytesOf("edited")));
    QVERIFY(!f.model.fileBytes("/a/x.txt"));

    f.targetAnswer = [](const std::string&) { return std::optional<std::string>(); };
    f.select(Side::Left, {"x.txt"});
    f.dispatch(ids::kCopy);
    QVERIFY2(!f.model.fileBytes("/a/x.txt"), "Cancel cancels that upload");
}

void TestTransfers::aFailedUploadAddsNothingToTheListing() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    f.touch(f.home + "/x.txt", "nowhere");
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/q/");  // no such volume: every open fails
    f.select(Side::Left, {"x.txt"});
    const uint32_t recordsBefore = f.context->catalogue.catalogueRecords();
    f.dispatch(ids::kCopy);
    QCOMPARE(f.context->catalogue.catalogueRecords(), recordsBefore);
    QVERIFY(!f.names(Side::Right).contains("x.txt"));
    // The log line says why, in the transport's words.
    QVERIFY(f.logged("Upload of /q/x.txt failed: phone status 14: M14"));
}

void TestTransfers::aFolderUploadSendsEveryFileBelowIt() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    fs::create_directories(f.home + "/pics/deep");
    fs::create_directories(f.home + "/pics/empty");
    f.touch(f.home + "/pics/a.jpg", "A");
    f.touch(f.home + "/pics/deep/b.jpg", "BB");
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/a/");
    f.select(Side::Left, {"pics"});
    f.dispatch(ids::kCopy);
    QCOMPARE(f.model.fileBytes("/a/pics/a.jpg"), std::optional(TransferFixture::bytesOf("A")));
    QCOMPARE(f.model.fileBytes("/a/pics/deep/b.jpg"),
             std::optional(TransferFixture::bytesOf("BB")));
    const auto paths = f.phonePaths();
    QVERIFY(std::find(paths.begin(), paths.end(), "/a/pics/empty") == paths.end());
    const std::string list = f.readFile(f.programFolder + "/SOURCEFILES");
    QCOMPARE(list, f.home + "/pics/a.jpg\n" + f.home + "/pics/deep/b.jpg\n");
}

void TestTransfers::aFolderUploadGoesOnPastUnreadableFilesAndFolders() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    const std::string pics = f.home + "/pics";
    fs::create_directories(pics + "/locked");
    f.touch(pics + "/a.jpg", "A");
    f.touch(pics + "/secret.jpg", "S");
    f.touch(pics + "/z.jpg", "Z");
    f.touch(pics + "/locked/b.jpg", "B");
    fs::permissions(pics + "/secret.jpg", fs::perms::none);
    fs::permissions(pics + "/locked", fs::perms::none);
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/a/");
    f.select(Side::Left, {"pics"});
    {
        PermissionsInForce permissions;
        f.dispatch(ids::kCopy);
    }
    fs::permissions(pics + "/locked", fs::perms::owner_all);
    QCOMPARE(f.model.fileBytes("/a/pics/a.jpg"), std::optional(TransferFixture::bytesOf("A")));
    QCOMPARE(f.model.fileBytes("/a/pics/z.jpg"), std::optional(TransferFixture::bytesOf("Z")));
    const QString folder = QString::fromStdString(pics);
    QCOMPARE(f.logLines().filter("Cannot read the folder " + folder + "/locked (").size(), 1);
    QCOMPARE(f.logLines().filter("Cannot read " + folder + "/secret.jpg whole (").size(), 1);
    QVERIFY(f.logged(folder + ": 2 of 4 files or folders not sent."));
}

void TestTransfers::aMissingSourceListEndsTheFolderUpload() {
    TransferFixture f;
    f.startOnPhone();
    Transfers& transfers = f.commands->transfers();
    QVERIFY(!transfers.readSourceList());
    const auto shown = f.prompts();
    QCOMPARE(shown.size(), size_t{1});
    QCOMPARE(shown[0].title, std::string("Warning"));
    QCOMPARE(shown[0].text, std::string("SOURCEFILELIST file not found Will exit now."));
    f.touch(f.programFolder + "/SOURCEFILES", "/p/one\r\n# note\n/p/two\n\n/p/three\n");
    QCOMPARE(transfers.readSourceList(),
             std::optional(std::vector<std::string>{"/p/one", "/p/two"}));
}

void TestTransfers::aSourceListThatCannotBeWrittenStopsTheFolderUpload() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    // Something that is not a file holds the list's name: the list cannot be written.
    fs::create_directories(f.programFolder + "/SOURCEFILES/held");
    fs::create_directories(f.home + "/pics");
    f.touch(f.home + "/pics/a.jpg", "A");
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/a/");
    f.select(Side::Left, {"pics"});
    f.dispatch(ids::kCopy);
    QVERIFY(f.logged(QString::fromStdString("Folder upload of " + f.home + "/pics stopped.")));
    QVERIFY(f.prompts().empty());
    QVERIFY(!f.model.fileBytes("/a/pics/a.jpg"));
}

void TestTransfers::aFolderUploadLogsNoExpectedRefusals() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    QVERIFY(f.model.addFile("/a/pics/old.jpg", TransferFixture::bytesOf("O")));
    fs::create_directories(f.home + "/pics/deep");
    f.touch(f.home + "/pics/a.jpg", "A");
    f.touch(f.home + "/pics/deep/b.jpg", "BB");
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/a/");
    const int before = int(f.logLines().size());
    f.select(Side::Left, {"pics"});
    f.dispatch(ids::kCopy);
    QCOMPARE(f.model.fileBytes("/a/pics/deep/b.jpg"),
             std::optional(TransferFixture::bytesOf("BB")));
    // Status messages are numbered 1 to 15; an expected refusal logs none of them.
    const QRegularExpression statusMessage("^M([1-9]|1[0-5])$");
    const QStringList lines = f.logLines().mid(before);
    QVERIFY2(lines.filter(statusMessage).isEmpty(), qPrintable(lines.join(" | ")));
}

void TestTransfers::pcCopyOverAnExistingFileAsksFirst() {
    TransferFixture f;
    f.startOnPhone();
    f.touch(f.home + "/a.txt", "new a");
    f.touch(f.home + "/b.txt", "new b");
    f.touch(f.home + "/c.txt", "new c");
    f.touch(f.other + "/a.txt", "old a");
    f.touch(f.other + "/b.txt", "old b");
    f.showPc(Side::Left, f.home);
    f.showPc(Side::Right, f.other);
    f.prompter.queueAnswer(PromptAnswer::No);   // a.txt
    f.prompter.queueAnswer(PromptAnswer::Yes);  // b.txt
    f.targetAnswer = [](const std::string& proposed) {
        // Cancel in the copy-target dialog cancels the copy of c.txt.
        return proposed.ends_with("c.txt") ? std::nullopt : std::optional(proposed);
    };
    f.select(Side::Left, {"a.txt", "b.txt", "c.txt"});
    f.dispatch(ids::kCopy);

    QCOMPARE(f.readFile(f.other + "/a.txt"), std::string("old a"));
    QCOMPARE(f.readFile(f.other + "/b.txt"), std::string("new b"));
    QVERIFY(!fs::exists(f.other + "/c.txt"));
    const auto shown = f.prompts();
    QCOMPARE(shown.size(), size_t{2});
    QCOMPARE(shown[0].text, std::string("M56a.txt"));
    QCOMPARE(shown[0].title, std::string("M57"));
    QCOMPARE(f.asked.size(), size_t{3});
}

void TestTransfers::yesToAllAndNoToAllAnswerTheRowsThatFollow() {
    struct Case {
        PromptAnswer answer;
        const char* expected;  // the text of every target file afterwards
    };
    for (const Case& c :
         {Case{PromptAnswer::YesToAll, "new"}, Case{PromptAnswer::NoToAll, "old"}}) {
        TransferFixture f;
        f.startOnPhone();
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            f.touch(f.home + "/" + name, "new");
            f.touch(f.other + "/" + name, "old");
        }
        f.showPc(Side::Left, f.home);
        f.showPc(Side::Right, f.other);
        f.prompter.queueAnswer(c.answer);
        f.select(Side::Left, {"a.txt", "b.txt", "c.txt"});
        f.dispatch(ids::kCopy);
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            QCOMPARE(f.readFile(f.other + "/" + name), std::string(c.expected));
        }
        const auto shown = f.prompts();
        QCOMPARE(shown.size(), size_t{1});  // asked once, for the first row
        QVERIFY(shown[0].buttons == PromptButtons::YesNoToAll);
    }
}

void TestTransfers::seemsDownloadAsRecordFiles() {
    TransferFixture f;
    for (uint16_t record = 1; record <= 3; ++record) {
        f.model.setSeem(0x32, record, std::vector<uint8_t>(record * 4u, uint8_t(record)));
    }
    f.startOnPhone();
    f.showSeems(Side::Left, {"0032"});
    f.showPc(Side::Right, f.other);
    f.select(Side::Left, {"0032"});
    f.dispatch(ids::kCopy);
    for (uint16_t record = 1; record <= 3; ++record) {
        const std::string name = f.other + "/0032_000" + std::to_string(record) + ".seem";
        QCOMPARE(f.readFile(name), std::string(record * 4u, char(record)));
    }
    QVERIFY(!fs::exists(f.other + "/0032_0004.seem"));

    fs::remove(f.other + "/0032_0002.seem");
    f.showSeems(Side::Left, {"..", "0032_0002.seem"});
    f.select(Side::Left, {"0032_0002.seem"});
    f.dispatch(ids::kCopy);
    QCOMPARE(f.logLines().count("Download seem: 0032_0002.seem"), 1);
    QCOMPARE(f.readFile(f.other + "/0032_0002.seem"), std::string(8, char(2)));
}

void TestTransfers::seemUploadsCheckTheFileName() {
    TransferFixture f;
    f.model.setSeem(0x2FE, 0xFE, {1, 2, 3});
    f.model.setSeem(0x32, 0xFF, {1, 2, 3});
    f.startOnPhone();
    const QStringList files = {"0000_0001.seem", "02FF_0001.seem", "0032_00FF.seem",
                               "02FE_00FE.seem"};
    for (const QString& name : files) f.touch(f.other + "/" + str(name), "abc");
    f.showPc(Side::Left, f.other);
    f.showSeems(Side::Right, {"0032"});
    f.select(Side::Left, files);
    f.dispatch(ids::kCopy);
    const auto shown = f.prompts();
    QCOMPARE(shown.size(), size_t{3});
    for (const Prompt& prompt : shown) {
        QCOMPARE(prompt.title, std::string("Warning"));
        QCOMPARE(prompt.text, std::string("Invalid seem filename Must be: xxxx_yyyy.seem"));
    }
    QCOMPARE(f.model.seem(0x2FE, 0xFE), TransferFixture::bytesOf("abc"));
    QCOMPARE(f.model.seem(0x32, 0xFF), (std::vector<uint8_t>{1, 2, 3}));
}

void TestTransfers::phoneCommandsAreRefusedWhileAWorkerRuns() {
    TransferFixture f;
    QVERIFY(f.model.addFile("/a/x.txt", TransferFixture::bytesOf("x")));
    f.startOnPhone();
    f.loadPhone();
    f.showPhone(Side::Left, "/a/");
    f.showPc(Side::Right, f.other);
    f.workers->setShowDialog(true);
    std::promise<void> release;
    auto released = release.get_future().share();
    // The user closes the wait dialog while the worker still runs.
    QTimer::singleShot(50, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
    });
    QVERIFY(f.workers->run("Test", [released] { released.wait(); }));
    QVERIFY(f.workers->busy());

    f.select(Side::Left, {"x.txt"});
    f.dispatch(ids::kCopy);
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.dispatch(ids::kDelete);
    f.folderName = "made";
    f.dispatch(ids::kNewFolder);
    f.dispatch(ids::kMenuAtMode);
    for (const char* command : {"Copy", "Delete", "New folder", "Switch to AT mode"}) {
        QVERIFY2(f.logged(QString("A phone operation is still running: %1 refused.").arg(command)),
                 command);
    }
    QVERIFY(!fs::exists(f.other + "/x.txt"));
    QVERIFY(f.model.fileBytes("/a/x.txt"));
    QVERIFY(f.prompts().empty());

    QSignalSpy finished(f.workers.get(), &WorkerRunner::jobFinished);
    release.set_value();
    QVERIFY(finished.wait(5000));
    f.workers->setShowDialog(false);
    f.select(Side::Left, {"x.txt"});
    f.dispatch(ids::kCopy);
    QCOMPARE(f.readFile(f.other + "/x.txt"), std::string("x"));
}

// The progress line shows that bytes have moved (the fixture's clock is a manual one: no
// speed is shown).
bool bytesMoved(const QString& line) {
    return !line.isEmpty() && !line.contains("  0 B of ");
}

void TestTransfers::cancelStopsADownloadAndSkipsTheRowsThatFollow() {
    TransferFixture f;
    f.linkLatencyMs = 5;  // 200 blocks take a second
    QVERIFY(f.model.addFile("/a/big1.bin", std::vector<uint8_t>(200 * 1024, 1)));
    QVERIFY(f.model.addFile("/a/big2.bin", std::vector<uint8_t>(10 * 1024, 2)));
    f.startOnPhone();
    f.loadPhone();
    f.touch(f.other + "/big1.bin", "old bytes");
    f.showPhone(Side::Left, "/a/");
    f.showPc(Side::Right, f.other);
    f.select(Side::Left, {"big1.bin", "big2.bin"});
    f.workers->setShowDialog(true);
    QStringList shown;
    WaitDialogCanceller canceller(shown, bytesMoved);
    f.dispatch(ids::kCopy);

    QVERIFY2(!shown.isEmpty(), "the dialog showed its progress");
    QVERIFY2(shown.last().startsWith("file 1 of 2  /a/big1.bin  "), qPrintable(shown.last()));
    QVERIFY2(shown.last().endsWith(" of 210.0 KB in all)"), qPrintable(shown.last()));
    QCOMPARE(f.readFile(f.other + "/big1.bin"), std::string("old bytes"));
    QVERIFY2(!fs::exists(f.other + "/big2.bin"), "the row after the cancelled one is skipped");
    QVERIFY(f.logged("Copy cancelled: /a/big1.bin was stopped, 1 more file(s) skipped."));
    QVERIFY(f.logLines().filter("Download of /a/big1.bin failed (cancelled by the user)").size() ==
            1);

    // The next copy runs in full.
    f.workers->setShowDialog(false);
    f.select(Side::Left, {"big2.bin"});
    f.dispatch(ids::kCopy);
    QCOMPARE(fs::file_size(f.other + "/big2.bin"), uintmax_t{10 * 1024});
}

void TestTransfers::cancelRemovesThePartialUploadFromThePhone() {
    TransferFixture f;
    f.linkLatencyMs = 5;
    f.startOnPhone();
    f.loadPhone();
    f.touch(f.home + "/up.bin", std::string(200 * 1024, 'u'));
    f.showPc(Side::Left, f.home);
    f.showPhone(Side::Right, "/a/");
    f.select(Side::Left, {"up.bin"});
    f.workers->setShowDialog(true);
    QStringList shown;
    WaitDialogCanceller canceller(shown, bytesMoved);
    f.dispatch(ids::kCopy);

    QVERIFY2(!shown.isEmpty() && shown.last().startsWith("/a/up.bin  "),
             qPrintable(shown.join("|")));
    QVERIFY(!f.model.fileBytes("/a/up.bin"));
    QVERIFY(
        f.logged("Upload of /a/up.bin failed: cancelled by the user; the partial file was "
                 "removed from the phone"));
    QVERIFY(!f.names(Side::Right).contains("up.bin"));
}

}  // namespace mdk::test

QTEST_MAIN(mdk::test::TestTransfers)
#include "tst_transfers.moc"
