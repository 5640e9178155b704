// The phone pane over the simulated phone: volumes, folders, the seem folder and drops.
#include "app/control_ids.h"
#include "phone_gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

class PhonePaneTest : public QObject {
    Q_OBJECT
private slots:
    void rootHasNoParentRowAndOneLevelDownHas();
    void childNamesFoldCaseAndRootlessPaths();
    void volumeComesFromTheChosenEntry();
    void emptyVolumeClearsThePcRows();
    void withoutLinkThePaneTurnsBackIntoAPcPane();
    void seemFolderListsRecordsUntilTheFirstFailure();
    void seemRecordEditedAndWrittenBack();
    void record255OpensButIsNotWritten();
    void failedSeemReadStartsNoEditor();
    void dropUploadsAndListsAtOnce();
    void dropOfAFolderIsSkipped();
    void editorsAreTheSettingsHandedAtStartUp();
};

void PhonePaneTest::rootHasNoParentRowAndOneLevelDownHas() {
    PhoneGuiFixture f;
    MainWindow& w = f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    QCOMPARE(f.context->panes.pathText(Side::Right), std::string("P2k:/"));
    QVERIFY(!f.names(Side::Right).contains(".."));
    QVERIFY(f.names(Side::Right).contains("a"));
    f.activate(Side::Right, "a");
    QCOMPARE(f.context->panes.pathText(Side::Right), std::string("P2k:/a/"));
    // Many files below /a/mobile/ give one folder row.
    QCOMPARE(f.names(Side::Right), QStringList({"..", "mobile"}));
    QCOMPARE(f.row(Side::Right, "mobile")->sizeText, std::string("< DIR >"));
    f.activate(Side::Right, "mobile");
    f.activate(Side::Right, "other");
    const PaneRow* file = f.row(Side::Right, "odd_size.bin");
    QVERIFY(file);
    QCOMPARE(file->sizeText, std::string("2500"));
    QCOMPARE(file->detailText.size(), size_t(10));
    f.activate(Side::Right, "..");
    QCOMPARE(f.context->panes.phoneFolder(Side::Right), std::string("/a/mobile/"));
    QCOMPARE(w.pane(Side::Right).model()->rowCount(), int(f.rows(Side::Right).size()));
}

void PhonePaneTest::childNamesFoldCaseAndRootlessPaths() {
    PhoneGuiFixture f;
    f.model.clearFiles();
    f.model.addVolume("/a", 1 << 20);
    f.model.addFile("/a/Music/one.mp3", {1});
    f.model.addFile("/a/music/two.mp3", {2});
    f.model.addFile("/a/mobile/audio/x.mp3", {3});
    f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    f.activate(Side::Right, "a");
    QStringList names = f.names(Side::Right);
    QCOMPARE(names.size(), 3);  // "..", one of Music/music, mobile
    QVERIFY(names.contains("mobile"));
    QCOMPARE(names.filter("music", Qt::CaseInsensitive).size(), 1);
    // A path without its leading "/" lies below the root.
    QVERIFY(f.context->catalogue.appendCatalogueRecord("loose/z.txt", 5, 0x07000400));
    f.activate(Side::Right, "..");
    QVERIFY(f.names(Side::Right).contains("loose"));
    QVERIFY(f.names(Side::Right).contains("a"));
}

void PhonePaneTest::volumeComesFromTheChosenEntry() {
    PhoneGuiFixture f;
    f.startWithPhone();
    // The left pane shows a PC folder; the right pane chooses "/c".
    QCOMPARE(f.context->panes.kind(Side::Left), LocationKind::Pc);
    f.pane(Side::Right).chooseLocation(2);
    QCOMPARE(f.context->catalogue.currentVolume(), std::string("/c"));
    QCOMPARE(f.names(Side::Right), QStringList({"c"}));
    QCOMPARE(f.context->panes.locationIndex(Side::Right), 2u);
}

void PhonePaneTest::emptyVolumeClearsThePcRows() {
    PhoneGuiFixture f;
    f.model.clearFiles();
    f.model.addVolume("/a", 1 << 20);
    f.model.addVolume("/b", 1 << 20);
    GuiFixture::touch(f.home + "/pc-file.txt");
    f.startWithPhone();
    QVERIFY(f.names(Side::Right).contains("pc-file.txt"));
    f.pane(Side::Right).chooseLocation(1);
    QCOMPARE(f.context->panes.pathText(Side::Right), std::string("P2k:/"));
    QCOMPARE(f.names(Side::Right), QStringList());
}

void PhonePaneTest::withoutLinkThePaneTurnsBackIntoAPcPane() {
    PhoneGuiFixture f;
    GuiFixture::touch(f.home + "/pc-file.txt");
    f.start();
    PhoneUi ui(*f.context, *f.window, f.linuxSettings());
    ui.workers().setShowDialog(false);
    f.pane(Side::Right).chooseLocation(0);
    QCOMPARE(f.context->panes.locationIndex(Side::Right), kFallbackEntry);
    QVERIFY(f.names(Side::Right).contains("pc-file.txt"));
}

void PhonePaneTest::seemFolderListsRecordsUntilTheFirstFailure() {
    PhoneGuiFixture f;
    f.startWithPhone();
    f.pane(Side::Right).chooseLocation(kSeemEntry);
    QCOMPARE(f.context->panes.pathText(Side::Right), std::string("P2k:/seems/"));
    QCOMPARE(f.names(Side::Right), QStringList({"0032", "0104"}));
    QCOMPARE(f.row(Side::Right, "0032")->sizeText, std::string("< SEEM >"));
    f.activate(Side::Right, "0032");
    QCOMPARE(f.context->panes.pathText(Side::Right), std::string("P2k:/seems/0032"));
    QCOMPARE(f.names(Side::Right),
             QStringList({"..", "0032_0001.seem", "0032_0002.seem", "0032_0003.seem"}));
    QCOMPARE(f.row(Side::Right, "0032_0003.seem")->sizeText, std::string("100"));
    f.activate(Side::Right, "..");
    QCOMPARE(f.names(Side::Right), QStringList({"0032", "0104"}));
    QVERIFY(f.context->panes.seemFolderShown);
}

void PhonePaneTest::seemRecordEditedAndWrittenBack() {
    PhoneGuiFixture f;
    f.startWithPhone();
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.phonePane().editSeemRecord("0032_0002.seem");
    QVERIFY(f.editorRan());
    const auto texts = f.promptTexts();
    QVERIFY(!texts.empty());
    QCOMPARE(texts.back(), std::string("Warning, data changed|Seem data changed, do you want to "
                                       "write to the phone?"));
    // The record keeps its length (16): the file's 15 bytes, then the record's own last byte.
    const auto data = f.model.seem(0x32, 2);
    QCOMPARE(data.size(), size_t(16));
    QCOMPARE(std::string(data.begin(), data.begin() + 15), std::string(kEditedText));
}

void PhonePaneTest::record255OpensButIsNotWritten() {
    PhoneGuiFixture f;
    const std::vector<uint8_t> original{1, 2, 3, 4};
    f.model.setSeem(0x32, 0xFF, original);
    f.startWithPhone();
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.phonePane().editSeemRecord("0032_00FF.seem");
    QVERIFY(f.editorRan());
    QCOMPARE(f.promptTexts().back(),
             std::string("Warning|Invalid seem filename Must be: xxxx_yyyy.seem"));
    QCOMPARE(f.model.seem(0x32, 0xFF), original);
}

void PhonePaneTest::failedSeemReadStartsNoEditor() {
    PhoneGuiFixture f;
    f.startWithPhone();
    const size_t promptsBefore = f.prompter.shown().size();
    f.link->failing = true;
    f.phonePane().editSeemRecord("0032_0001.seem");
    QVERIFY(!f.editorRan());
    QCOMPARE(f.prompter.shown().size(), promptsBefore);
    QTRY_VERIFY(f.logLines().contains("Seem read failed, nothing to edit: 0032_0001.seem"));
}

void PhonePaneTest::dropUploadsAndListsAtOnce() {
    PhoneGuiFixture f;
    f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    for (const char* folder : {"a", "mobile", "picture"}) f.activate(Side::Right, folder);
    const size_t searches = f.model.commandCount(CommandSet::kFileSystem);
    const std::string source = f.home + "/dropped.bin";
    GuiFixture::touch(source, std::string(2500, 'q'));
    emit f.pane(Side::Right).filesDropped(Side::Right, {QString::fromStdString(source)});
    const auto stored = f.model.fileBytes("/a/mobile/picture/dropped.bin");
    QVERIFY(stored);
    QCOMPARE(stored->size(), size_t(2500));
    const PaneRow* row = f.row(Side::Right, "dropped.bin");
    QVERIFY(row);
    QCOMPARE(row->sizeText, std::string("2500"));
    QCOMPARE(row->detailText, std::string("07    0004"));
    QVERIFY(f.context->catalogue.catalogueLoaded());
    QVERIFY(f.model.commandCount(CommandSet::kFileSystem) > searches);
}

void PhonePaneTest::dropOfAFolderIsSkipped() {
    PhoneGuiFixture f;
    f.startWithPhone();
    f.pane(Side::Right).chooseLocation(0);
    f.activate(Side::Right, "a");
    QDir(QString::fromStdString(f.home)).mkdir("folder");
    const std::string source = f.home + "/folder";
    emit f.pane(Side::Right).filesDropped(Side::Right, {QString::fromStdString(source)});
    QVERIFY(!f.model.fileBytes("/a/folder"));
    QVERIFY(!f.row(Side::Right, "folder"));
    QTRY_VERIFY(!f.logLines().filter("Skipped " + QString::fromStdString(source)).isEmpty());
}

QTEST_MAIN(PhonePaneTest)
// The Linux settings are read once, at start-up, and handed to the phone side: it does
// not read the file or the environment again.
void PhonePaneTest::editorsAreTheSettingsHandedAtStartUp() {
    PhoneGuiFixture f;
    MainWindow& w = f.start();
    GuiFixture::touch(f.context->files.configFolder() + "/.linux-settings",
                      "textEditor=/from/the/file\n");
    LinuxSettings handed;
    handed.hexEditor = "/handed/hex";
    handed.textEditor = "/handed/text";
    PhoneUi ui(*f.context, w, handed);
    QCOMPARE(ui.phonePane().editors().hexEditor, std::string("/handed/hex"));
    QCOMPARE(ui.phonePane().editors().textEditor, std::string("/handed/text"));
}

#include "tst_phone_pane.moc"
