// The small dialogs: new folder, copy target, attributes, wait and About.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>

#include "gui/controls/hyperlink.h"
#include "gui/dialogs/about_dialog.h"
#include "gui/dialogs/attributes_dialog.h"
#include "gui/dialogs/name_dialogs.h"
#include "gui/dialogs/wait_dialog.h"
#include "transfers_fixture.h"

using namespace mdk;
using namespace mdk::test;

namespace {

// Answers the next modal dialog by clicking one of its buttons.
void clickWhenShown(int buttonId, std::function<void(QWidget*)> before = {}) {
    QTimer::singleShot(0, [buttonId, before] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        if (before) before(dialog);
        child<QPushButton>(dialog, buttonId)->click();
    });
}

struct Written {
    std::string path;
    uint32_t value = 0;
    uint32_t word = 0;
    int calls = 0;
};

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void waitDialogClosesOnTheFirstTickAfterTheWorkerIsDone();
    void waitDialogClosesAtOnceByTheCloseBoxAndIgnoresCommands();
    void newFolderDialogGivesTheNameOnlyOnOk();
    void newFolderCancelCreatesNothing();
    void newFolderOkCreatesTheFolderInTheActivePane();
    void copyTargetCancelLeavesNoTarget();
    void attributesDialogOpensWithTheRowsBits();
    void attributesOkSendsTheTypedValue();
    void attributesRefuseATextThatIsNotHexadecimal();
    void aboutDialogShowsItsTextsAndLinks();
};

void DialogsTest::waitDialogClosesOnTheFirstTickAfterTheWorkerIsDone() {
    std::atomic<bool> done{false};
    WaitDialog dialog([&] { return done.load(); });
    QCOMPARE(dialog.windowTitle(), QString("Please wait until operation complete!"));
    QCOMPARE(dialog.pollTimer()->interval(), 100);
    dialog.show();
    QVERIFY(dialog.pollTimer()->isActive());
    dialog.poll();
    dialog.poll();
    QVERIFY(dialog.isVisible());
    done = true;
    dialog.poll();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.pollTimer()->isActive());
    QVERIFY(!child<QLabel>(&dialog, 1702)->isVisible());
    QCOMPARE(child<QLabel>(&dialog, 1703)->text(), QString("filenames loaded."));
}

void DialogsTest::waitDialogClosesAtOnceByTheCloseBoxAndIgnoresCommands() {
    bool done = false;
    WaitDialog dialog([&] { return done; });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    dialog.close();  // the worker is not done: closing does not wait for it
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.pollTimer()->isActive());
}

void DialogsTest::newFolderDialogGivesTheNameOnlyOnOk() {
    clickWhenShown(1101, [](QWidget* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Marrowdeck"));
        QCOMPARE(dialog->focusWidget(), child<QLineEdit>(dialog, 1103));
        child<QLineEdit>(dialog, 1103)->setText("photos");
    });
    QCOMPARE(NewFolderDialog::ask(nullptr), std::optional<std::string>("photos"));
    clickWhenShown(1104, [](QWidget* dialog) { child<QLineEdit>(dialog, 1103)->setText("x"); });
    QCOMPARE(NewFolderDialog::ask(nullptr), std::nullopt);
    NewFolderDialog limited;
    QCOMPARE(child<QLineEdit>(&limited, 1103)->maxLength(), 254);
}

// The window's file commands, which New Folder belongs to, over a phone side that lists
// the catalogue.
struct FileCommandsOf {
    explicit FileCommandsOf(GuiFixture& f)
        : workers(f.context->log, f.window.get()),
          phone(*f.context),
          commands(*f.context, *f.window, workers, phone) {
        f.window->setPhoneSource(&phone);
        commands.install();
    }
    WorkerRunner workers;
    CataloguePhone phone;
    FileCommands commands;
};

void DialogsTest::newFolderCancelCreatesNothing() {
    GuiFixture f;
    MainWindow& w = f.start();
    FileCommandsOf installed(f);
    const auto before =
        QDir(QString::fromStdString(f.home)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    clickWhenShown(1104, [](QWidget* dialog) { child<QLineEdit>(dialog, 1103)->setText("ghost"); });
    w.dispatchCommand(ids::kNewFolder);
    QCOMPARE(
        QDir(QString::fromStdString(f.home)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
        before);
}

void DialogsTest::newFolderOkCreatesTheFolderInTheActivePane() {
    GuiFixture f;
    f.config.rightPath = f.other;
    f.config.rightSource = 7;
    MainWindow& w = f.start();
    FileCommandsOf installed(f);
    emit f.list(Side::Right)->notified();
    clickWhenShown(1101, [](QWidget* dialog) { child<QLineEdit>(dialog, 1103)->setText("made"); });
    w.dispatchCommand(ids::kMenuNewFolder);
    QVERIFY(QFileInfo(QString::fromStdString(f.other + "/made")).isDir());
    QVERIFY(f.names(Side::Right).contains("made"));
}

void DialogsTest::copyTargetCancelLeavesNoTarget() {
    clickWhenShown(1304, [](QWidget* dialog) {
        QCOMPARE(child<QLabel>(dialog, 1306)->text(), QString("song.mp3"));
        QCOMPARE(child<QLineEdit>(dialog, 1302)->text(), QString("/a/mobile/audio/"));
        child<QLineEdit>(dialog, 1302)->setText("/a/elsewhere/");
    });
    QCOMPARE(CopyTargetDialog::ask(nullptr, "song.mp3", "/a/mobile/audio/"), std::nullopt);
    clickWhenShown(1303, [](QWidget* dialog) { child<QLineEdit>(dialog, 1302)->setText("/b/x/"); });
    QCOMPARE(CopyTargetDialog::ask(nullptr, "song.mp3", "/a/mobile/audio/"),
             std::optional<std::string>("/b/x/"));
}

void DialogsTest::attributesDialogOpensWithTheRowsBits() {
    AttributeState state;
    ScriptedPrompter prompter;
    AttributesDialog dialog(AttributeText{"07", "0004"}, "ring.mid", "P2k:/a/mobile/", state, {},
                            prompter);
    QCOMPARE(dialog.windowTitle(), QString("Marrowdeck, setting attributes"));
    QCOMPARE(child<QLineEdit>(&dialog, 1403)->text(), QString("0004"));
    QCOMPARE(child<QLabel>(&dialog, 1411)->text(), QString("07"));
    QCOMPARE(child<QLabel>(&dialog, 1415)->text(), QString("ring.mid"));
    QCOMPARE(state.catalogueWord, 0x07000400u);
    const std::pair<int, bool> ticks[] = {
        {1405, false}, {1406, false}, {1407, true}, {1408, false}, {1409, false}};
    for (auto [id, ticked] : ticks) QCOMPARE(child<QCheckBox>(&dialog, id)->isChecked(), ticked);
    QCOMPARE(child<QCheckBox>(&dialog, 1407)->text(),
             QString("System, survive Master reset/clear"));
    QVERIFY(child<QPushButton>(&dialog, 1413)->isHidden());
    child<QCheckBox>(&dialog, 1405)->click();
    QCOMPARE(child<QLineEdit>(&dialog, 1403)->text(), QString("0005"));
    child<QCheckBox>(&dialog, 1408)->click();
    QCOMPARE(child<QLineEdit>(&dialog, 1403)->text(), QString("0025"));
    QCOMPARE(dialog.phonePath(), std::string("/a/mobile/ring.mid"));
}

void DialogsTest::attributesOkSendsTheTypedValue() {
    AttributeState state;
    ScriptedPrompter prompter;
    Written written;
    AttributeWriter writer = [&](const std::string& path, uint32_t value, uint32_t word) {
        written = {path, value, word, written.calls + 1};
    };
    AttributesDialog dialog(AttributeText{"07", "0004"}, "ring.mid", "P2k:/a/mobile/", state,
                            writer, prompter);
    child<QLineEdit>(&dialog, 1403)->setText("0021");
    child<QPushButton>(&dialog, 1401)->click();
    QCOMPARE(written.calls, 1);
    QCOMPARE(written.value, 0x21u);
    QCOMPARE(written.word, 0x07000400u);
    QCOMPARE(written.path, std::string("/a/mobile/ring.mid"));
    QCOMPARE(state.value, 0x21u);
    AttributesDialog cancelled(AttributeText{"07", "0004"}, "x", "P2k:/a/", state, writer,
                               prompter);
    child<QPushButton>(&cancelled, 1404)->click();
    QCOMPARE(written.calls, 1);
}

void DialogsTest::attributesRefuseATextThatIsNotHexadecimal() {
    AttributeState state;
    ScriptedPrompter prompter;
    int calls = 0;
    AttributesDialog dialog(
        AttributeText{"07", "0004"}, "a", "P2k:/a/", state,
        [&](const std::string&, uint32_t, uint32_t) { ++calls; }, prompter);
    dialog.show();
    for (const char* bad : {"", "00G1", "123456789"}) {
        child<QLineEdit>(&dialog, 1403)->setText(bad);
        child<QPushButton>(&dialog, 1401)->click();
        QVERIFY(dialog.isVisible());
    }
    QCOMPARE(calls, 0);
    QCOMPARE(prompter.shown().size(), size_t(3));
}

void DialogsTest::aboutDialogShowsItsTextsAndLinks() {
    AboutDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Marrowdeck"));
    const std::pair<int, QString> labels[] = {
        {1204, "Author:"},
        {1206, "Credits:"},
        {1207, "Homepage:"},
        {1202, "Forum:"},
        {1205, "Marrowdeck: a file manager for Motorola P2k phones."}};
    for (const auto& [id, text] : labels) QCOMPARE(child<QLabel>(&dialog, id)->text(), text);
    auto* mail = child<HyperLink>(&dialog, 1212);
    QCOMPARE(mail->target(), QString("mailto:") + AboutDialog::kAuthorMail +
                                 "?subject=About%20Marrowdeck%20V6.0.0"
                                 "&body=I%20run%20Marrowdeck%2C%20and%20I%20think%20...");
    QCOMPARE(child<HyperLink>(&dialog, 1211)->target(), QString(AboutDialog::kHomePage));
    QCOMPARE(child<HyperLink>(&dialog, 1215)->target(), QString(AboutDialog::kForum));
    for (int id : {1211, 1212, 1215}) {
        auto* link = child<HyperLink>(&dialog, id);
        QVERIFY(link->underline());
        QCOMPARE(link->currentColour(), QColor(0, 0, 255));
    }
    // The background is the pattern of picture 503.
    QVERIFY(!dialog.palette().brush(QPalette::Window).texture().isNull());
    QVERIFY(dialog.findChildren<QLabel*>().size() >= 9);
    bool version = false;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        version |= label->text() == "Version: 6.0.0";
    QVERIFY(version);
    child<QPushButton>(&dialog, 1203)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
