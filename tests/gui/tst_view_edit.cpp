// View and Edit on phone rows: the downloaded copy, the editor and the write-back.
#include "app/control_ids.h"
#include "phone_gui_fixture.h"

namespace fs = std::filesystem;

using namespace mdk;
using namespace mdk::test;

class ViewEditTest : public QObject {
    Q_OBJECT
private slots:
    void editWritesTheChangedFileBack();
    void editAnsweredNoWritesNothing();
    void failedDownloadOpensNothing();
    void viewOpensTheDownloadedCopy();
    void editWritesBackToTheFileItDownloaded();
    void editKeepsTheFileAttributes();
    void viewersAreTriedInTurn_data();
    void viewersAreTriedInTurn();
};

namespace {

// The right pane at /a/mobile/other/ with row name focused and the right pane active.
void openOther(PhoneGuiFixture& f, const QString& name) {
    f.pane(Side::Right).chooseLocation(0);
    for (const char* folder : {"a", "mobile", "other"}) f.activate(Side::Right, folder);
    f.context->panes.activePane = 1;
    f.pane(Side::Right).focusRow(int(f.names(Side::Right).indexOf(name)));
}

// Answers Yes to the write-back question after the user moved the pane to /a/mobile/.
class MovingPrompter final : public Prompter {
public:
    explicit MovingPrompter(PaneSet& panes) : panes_(panes) {}
    PromptAnswer ask(const Prompt&) override {
        panes_.setPhoneFolder(Side::Right, "/a/mobile/");
        panes_.setPathText(Side::Right, "P2k:/a/mobile/");
        return PromptAnswer::Yes;
    }

private:
    PaneSet& panes_;
};

// PATH holds only the folder of the test's own programs.
class OwnPath {
public:
    explicit OwnPath(const std::string& folder) : saved_(qgetenv("PATH")) {
        qputenv("PATH", QByteArray::fromStdString(folder));
    }
    ~OwnPath() { qputenv("PATH", saved_); }

private:
    QByteArray saved_;
};

}  // namespace

void ViewEditTest::editWritesBackToTheFileItDownloaded() {
    PhoneGuiFixture f;
    QVERIFY(f.model.addFile("/a/mobile/odd_size.bin", {9, 9, 9}));
    MainWindow& w = f.startWithPhone();
    openOther(f, "odd_size.bin");
    MovingPrompter moving(f.context->panes);
    f.context->prompter.setTarget(&moving);
    w.dispatchCommand(ids::kEdit);
    QVERIFY(f.editorRan());
    const auto edited = f.model.fileBytes("/a/mobile/other/odd_size.bin");
    QCOMPARE(std::string(edited->begin(), edited->end()), std::string(kEditedText));
    QCOMPARE(f.model.fileBytes("/a/mobile/odd_size.bin"),
             std::optional(std::vector<uint8_t>{9, 9, 9}));
}

void ViewEditTest::editKeepsTheFileAttributes() {
    PhoneGuiFixture f;
    QVERIFY(f.model.addFile("/a/mobile/other/locked.bin", {1, 2}, 0x07000500));
    MainWindow& w = f.startWithPhone();
    openOther(f, "locked.bin");
    const std::string shown = f.row(Side::Right, "locked.bin")->detailText;
    QCOMPARE(shown.substr(shown.size() - 4), std::string("0005"));
    f.prompter.queueAnswer(PromptAnswer::Yes);
    w.dispatchCommand(ids::kEdit);
    QVERIFY(f.editorRan());
    bool found = false;
    for (const auto& entry : f.model.files()) {
        if (entry.path != "/a/mobile/other/locked.bin") continue;
        found = true;
        QCOMPARE(entry.attributes, 0x07000500u);
        QCOMPARE(entry.size, uint32_t(strlen(kEditedText)));
    }
    QVERIFY(found);
    QCOMPARE(f.row(Side::Right, "locked.bin")->detailText, shown);
}

void ViewEditTest::viewersAreTriedInTurn_data() {
    QTest::addColumn<bool>("desktopOpener");
    QTest::addColumn<bool>("lister");
    QTest::addColumn<QString>("started");
    QTest::newRow("desktop default first") << true << true << "xdg-open";
    QTest::newRow("then lister") << false << true << "lister";
    QTest::newRow("then the text editor") << false << false << "texteditor";
}

void ViewEditTest::viewersAreTriedInTurn() {
    QFETCH(bool, desktopOpener);
    QFETCH(bool, lister);
    QFETCH(QString, started);
    PhoneGuiFixture f;
    QTemporaryDir binDir;
    const std::string bin = str(binDir.path());
    OwnPath path(bin);
    // Each program writes its own name into started.log.
    const std::string log = bin + "/started.log";
    for (const char* name : {"xdg-open", "texteditor"}) {
        if (std::string(name) == "xdg-open" && !desktopOpener) continue;
        GuiFixture::touch(bin + "/" + name,
                          "#!/bin/sh\necho " + std::string(name) + " >> \"" + log + "\"\n");
        fs::permissions(bin + "/" + name, fs::perms::owner_all);
    }
    fs::remove(f.programFolder + "/lister");
    if (lister) {
        GuiFixture::touch(f.programFolder + "/lister",
                          "#!/bin/sh\necho lister >> \"" + log + "\"\n");
        fs::permissions(f.programFolder + "/lister", fs::perms::owner_all);
    }
    GuiFixture::touch(f.programFolder + "/.linux-settings", "textEditor=texteditor\n");
    MainWindow& w = f.startWithPhone();
    QCOMPARE(f.phonePane().editors().textEditor, std::string("texteditor"));
    openOther(f, "two_blocks.bin");
    w.dispatchCommand(ids::kView);
    QTRY_COMPARE(QString::fromStdString(GuiFixture::readFile(log)), started + "\n");
}

void ViewEditTest::editWritesTheChangedFileBack() {
    PhoneGuiFixture f;
    MainWindow& w = f.startWithPhone();
    openOther(f, "odd_size.bin");
    f.prompter.queueAnswer(PromptAnswer::Yes);
    w.dispatchCommand(ids::kEdit);
    QVERIFY(f.editorRan());
    QCOMPARE(f.promptTexts().back(),
             std::string("Warning, data changed|File data changed, do you want to write to the "
                         "phone?"));
    const auto stored = f.model.fileBytes("/a/mobile/other/odd_size.bin");
    QVERIFY(stored);
    QCOMPARE(std::string(stored->begin(), stored->end()), std::string(kEditedText));
    // The listing shows the new size at once.
    QCOMPARE(f.row(Side::Right, "odd_size.bin")->sizeText, std::to_string(strlen(kEditedText)));
}

void ViewEditTest::editAnsweredNoWritesNothing() {
    PhoneGuiFixture f;
    MainWindow& w = f.startWithPhone();
    const auto original = f.model.fileBytes("/a/mobile/other/block.bin");
    openOther(f, "block.bin");
    f.prompter.queueAnswer(PromptAnswer::No);
    w.dispatchCommand(ids::kEdit);
    QVERIFY(f.editorRan());
    QCOMPARE(f.model.fileBytes("/a/mobile/other/block.bin"), original);
}

void ViewEditTest::failedDownloadOpensNothing() {
    PhoneGuiFixture f;
    MainWindow& w = f.startWithPhone();
    const auto original = f.model.fileBytes("/a/mobile/other/odd_size.bin");
    openOther(f, "odd_size.bin");
    const size_t promptsBefore = f.prompter.shown().size();
    f.link->failing = true;
    w.dispatchCommand(ids::kEdit);
    w.dispatchCommand(ids::kView);
    f.activate(Side::Right, "odd_size.bin");
    QVERIFY(!f.editorRan());
    QVERIFY(!f.viewerRan());
    QCOMPARE(f.prompter.shown().size(), promptsBefore);
    QVERIFY(!QFile::exists(QString::fromStdString(f.programFolder + "/Temp/odd_size.bin")));
    f.link->failing = false;
    QCOMPARE(f.model.fileBytes("/a/mobile/other/odd_size.bin"), original);
    QTRY_VERIFY(
        f.logLines().contains("Download failed, nothing opened: /a/mobile/other/odd_size.bin"));
}

void ViewEditTest::viewOpensTheDownloadedCopy() {
    PhoneGuiFixture f;
    MainWindow& w = f.startWithPhone();
    openOther(f, "two_blocks.bin");
    w.dispatchCommand(ids::kView);
    const std::string copy = f.programFolder + "/Temp/two_blocks.bin";
    QCOMPARE(QByteArray::fromStdString(GuiFixture::readFile(copy)).size(), 2048);
    // The viewer is started, not waited for.
    QTRY_VERIFY(f.viewerRan());
    QTRY_COMPARE(QString::fromStdString(GuiFixture::readFile(f.programFolder + "/ran.log")),
                 QString::fromStdString(copy + "\n"));
    QVERIFY(!f.editorRan());
}

QTEST_MAIN(ViewEditTest)
#include "tst_view_edit.moc"
