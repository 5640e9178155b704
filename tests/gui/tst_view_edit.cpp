// View and Edit on phone rows: the downloaded copy, the editor and the write-back.
#include "app/control_ids.h"
#include "phone_gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

class ViewEditTest : public QObject {
    Q_OBJECT
private slots:
    void editWritesTheChangedFileBack();
    void editAnsweredNoWritesNothing();
    void failedDownloadOpensNothing();
    void viewOpensTheDownloadedCopy();
};

namespace {

// The right pane at /a/mobile/other/ with row name focused and the right pane active.
void openOther(PhoneGuiFixture& f, const QString& name) {
    f.pane(Side::Right).chooseLocation(0);
    for (const char* folder : {"a", "mobile", "other"}) f.activate(Side::Right, folder);
    f.context->panes.activePane = 1;
    f.pane(Side::Right).focusRow(int(f.names(Side::Right).indexOf(name)));
}

}  // namespace

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
    QCOMPARE(f.row(Side::Right, "odd_size.bin")->size, std::to_string(strlen(kEditedText)));
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
