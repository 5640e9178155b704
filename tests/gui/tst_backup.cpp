// The menu items "Backup phone…" and "Restore phone…" on the simulated phone: the folder
// chooser, the run on the worker runner, the result box, and seems written only after yes.
#include <fstream>

#include "gui/controls/status_bar.h"
#include "gui/window/backup_commands.h"
#include "panes/drive_entries.h"
#include "transfers_fixture.h"

namespace mdk::test {
namespace fs = std::filesystem;

class TestBackup : public QObject {
    Q_OBJECT
private slots:
    void backUpThenRestoreFilesAndSeemsAfterYes();
    void seemsStayWhenTheAnswerIsNo();
    void cancellingTheFolderChooserDoesNothing();
    void cancelStopsTheBackupInsideAFile();
    void waitLineMovesWithinAFileAndTheStatusBarKeepsItsTexts();
    void chooserStartsInTheLastBackupFolderElseHome();
    void aTypedFolderThatIsMissingIsMadeAfterAQuestion();
};

namespace {

// A phone with three files and a seem of two records, the seem list naming it, and the
// backup commands installed with a chooser that answers folder.
struct BackupFixture : TransferFixture {
    explicit BackupFixture(std::optional<std::string> chosen, uint32_t latencyMs = 0) {
        linkLatencyMs = latencyMs;
        QVERIFY(model.addFile("/a/mobile/one.txt", bytesOf("one"), 0x07000400));
        QVERIFY(model.addFile("/a/mobile/pic/two.jpg", bytesOf("two two"), 0x0E000500));
        QVERIFY(model.addFile("/c/three.bin", bytesOf("3"), 0x07000400));
        model.setSeem(0x0032, 1, {1, 2, 3, 4});
        model.setSeem(0x0032, 2, {5, 6});
        startOnPhone();
        std::ofstream(programFolder + "/Seem.lst") << "0032\n0117\n";
        context->seemLists.loadSeemList(programFolder, context->prompter);
        backup = std::make_unique<BackupCommands>(*context, *window, *workers);
        backup->setFolderChooser(
            [this, chosen](const std::string& title, const std::string& start) {
                titles.push_back(title);
                starts.push_back(start);
                return chosen;
            });
        backup->install();
    }
    ~BackupFixture() { backup.reset(); }
    std::string folder() const { return other + "/backup"; }
    // The chooser answers folder(), made beforehand as the dialog's "new folder" does.
    void chooseMadeFolder() {
        backup->setFolderChooser([this](const std::string&, const std::string& start) {
            starts.push_back(start);
            fs::create_directories(folder());
            return folder();
        });
    }

    std::unique_ptr<BackupCommands> backup;
    std::vector<std::string> titles;
    std::vector<std::string> starts;
};

}  // namespace

void TestBackup::backUpThenRestoreFilesAndSeemsAfterYes() {
    BackupFixture f(std::string{});
    f.chooseMadeFolder();
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuBackupPhone);
    auto shown = f.prompts();
    QCOMPARE(shown.size(), size_t{1});
    QCOMPARE(shown[0].title, std::string("Backup phone"));
    QVERIFY2(shown[0].text.find("Files: 3 new, 0 changed") != std::string::npos,
             shown[0].text.c_str());
    QVERIFY(fs::exists(f.folder() + "/manifest.json"));
    QVERIFY(fs::exists(f.folder() + "/files/a/mobile/pic/two.jpg"));
    QVERIFY(fs::exists(f.folder() + "/seems/0032_0002.seem"));

    QCOMPARE(f.context->commands.phoneDeleteFile("/a/mobile/pic/two.jpg"), 0);
    f.model.setSeem(0x0032, 2, {9, 9});
    f.prompter.queueAnswer(PromptAnswer::Ok);   // files restored
    f.prompter.queueAnswer(PromptAnswer::Yes);  // write the seem record that differs
    f.prompter.queueAnswer(PromptAnswer::Ok);   // seems written
    f.dispatch(ids::kMenuRestorePhone);
    shown = f.prompts();
    QCOMPARE(shown.size(), size_t{4});
    QVERIFY2(shown[1].text.find("uploaded /a/mobile/pic/two.jpg") != std::string::npos,
             shown[1].text.c_str());
    QCOMPARE(shown[2].buttons, PromptButtons::YesNo);
    QVERIFY2(shown[2].text.find("0032_0002.seem") != std::string::npos, shown[2].text.c_str());
    QVERIFY2(shown[3].text.find("wrote seem 0032_0002.seem") != std::string::npos,
             shown[3].text.c_str());
    QCOMPARE(f.model.fileBytes("/a/mobile/pic/two.jpg"), std::optional(f.bytesOf("two two")));
    for (const auto& entry : f.model.files()) {
        if (entry.path == "/a/mobile/pic/two.jpg") QCOMPARE(entry.attributes, 0x0E000500u);
    }
    QCOMPARE(f.model.seem(0x0032, 2), (std::vector<uint8_t>{5, 6}));
}

void TestBackup::seemsStayWhenTheAnswerIsNo() {
    BackupFixture f(std::string{});
    f.chooseMadeFolder();
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuBackupPhone);
    f.model.setSeem(0x0032, 1, {7, 7, 7, 7});
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.prompter.queueAnswer(PromptAnswer::No);
    f.dispatch(ids::kMenuRestorePhone);
    QCOMPARE(f.prompts().size(), size_t{3});
    QCOMPARE(f.model.seem(0x0032, 1), (std::vector<uint8_t>{7, 7, 7, 7}));
    QVERIFY(f.logged("Seems not written."));
}

void TestBackup::cancellingTheFolderChooserDoesNothing() {
    BackupFixture f(std::nullopt);
    f.dispatch(ids::kMenuBackupPhone);
    f.dispatch(ids::kMenuRestorePhone);
    QCOMPARE(f.titles.size(), size_t{2});
    QVERIFY(f.prompts().empty());
    QVERIFY(!fs::exists(f.folder()));
}

void TestBackup::cancelStopsTheBackupInsideAFile() {
    BackupFixture f(std::string{}, 5);  // 200 blocks take a second
    QVERIFY(f.model.addFile("/a/big.bin", std::vector<uint8_t>(200 * 1024, 1), 0x07000400));
    f.chooseMadeFolder();
    f.workers->setShowDialog(true);
    QStringList shown;
    WaitDialogCanceller canceller(shown, [](const QString& line) {
        return line.startsWith("Files") && line.contains("/a/big.bin");
    });
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuBackupPhone);

    QVERIFY2(!shown.isEmpty(), "the dialog showed the run's progress");
    const auto prompts = f.prompts();
    QCOMPARE(prompts.size(), size_t{1});
    QVERIFY2(prompts[0].text.find("Stopped: cancelled.") != std::string::npos,
             prompts[0].text.c_str());
    QVERIFY2(prompts[0].text.find("Failed") == std::string::npos, prompts[0].text.c_str());
    QVERIFY(!fs::exists(f.folder() + "/files/a/big.bin"));
    std::ifstream manifest(f.folder() + "/manifest.json");
    const std::string text((std::istreambuf_iterator<char>(manifest)), {});
    QVERIFY2(text.find("/a/big.bin") == std::string::npos, "the stopped file is not listed");
}

void TestBackup::waitLineMovesWithinAFileAndTheStatusBarKeepsItsTexts() {
    BackupFixture f(std::string{}, 5);  // 200 blocks take a second
    QVERIFY(f.model.addFile("/a/big.bin", std::vector<uint8_t>(200 * 1024, 1), 0x07000400));
    f.chooseMadeFolder();
    f.workers->setShowDialog(true);
    auto* status = f.window->findChild<PartStatusBar*>();
    QVERIFY(status);
    QStringList before;
    for (int part = 0; part < status->partCount(); ++part) before << status->partText(part);
    QStringList shown;
    QStringList statusSeen;
    WaitDialogCanceller watcher(shown, [&](const QString&) {
        statusSeen << status->partText(1);
        return false;
    });
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuBackupPhone);
    QSet<QString> withinBig;
    for (const QString& line : shown) {
        if (line.contains("/a/big.bin") && line.contains(" of 200.0 KB")) withinBig << line;
    }
    QVERIFY2(withinBig.size() >= 2, qPrintable(shown.join("\n")));
    QVERIFY(!statusSeen.isEmpty());
    for (const QString& text : statusSeen) QCOMPARE(text, before.at(1));
    for (int part = 0; part < status->partCount(); ++part) {
        QCOMPARE(status->partText(part), before.at(part));
    }
}

void TestBackup::chooserStartsInTheLastBackupFolderElseHome() {
    BackupFixture f(std::nullopt);
    f.dispatch(ids::kMenuBackupPhone);  // cancelled: the start stays
    f.chooseMadeFolder();
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuBackupPhone);
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuRestorePhone);
    QCOMPARE(f.starts, (std::vector<std::string>{homeFolder(), homeFolder(), f.folder()}));
}

void TestBackup::aTypedFolderThatIsMissingIsMadeAfterAQuestion() {
    BackupFixture f(std::string{});
    const std::string typed = f.other + "/new/backup";
    f.backup->setFolderChooser([&](const std::string&, const std::string&) { return typed; });
    f.prompter.queueAnswer(PromptAnswer::No);
    f.dispatch(ids::kMenuBackupPhone);
    auto shown = f.prompts();
    QCOMPARE(shown.size(), size_t{1});
    QCOMPARE(shown[0].buttons, PromptButtons::YesNo);
    QVERIFY2(shown[0].text.find(typed) != std::string::npos, shown[0].text.c_str());
    QVERIFY(!fs::exists(typed));
    QVERIFY(!f.logged(QString::fromStdString("Backup of the phone into " + typed)));

    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuBackupPhone);
    shown = f.prompts();
    QCOMPARE(shown.size(), size_t{3});
    QVERIFY(fs::is_directory(typed));
    QVERIFY(fs::exists(typed + "/manifest.json"));

    // A folder that exists is taken without a question.
    f.prompter.queueAnswer(PromptAnswer::Ok);
    f.dispatch(ids::kMenuBackupPhone);
    shown = f.prompts();
    QCOMPARE(shown.size(), size_t{4});
    QCOMPARE(shown[3].title, std::string("Backup phone"));
    QCOMPARE(shown[3].buttons, PromptButtons::Ok);
}

}  // namespace mdk::test

QTEST_MAIN(mdk::test::TestBackup)
#include "tst_backup.moc"
