// Start-up sequence, controls of the main window, timers and the close sequence.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/controls/ani_gif.h"
#include "gui/controls/status_bar.h"
#include "gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void logShowsTheStartUpSteps_inOrder();
    void logFileHoldsOnlyLinesAfterItWasCreatedAnew();
    void everyTemplateControlExistsWithItsId();
    void captionsStatusAndTooltipsComeFromMessages();
    void missingMessageFileStopsWithoutTouchingTheConfiguration();
    void savedLocationBelowFiveOpensEntrySix();
    void splashTimerRestoresTheSavedPlacement();
    void exitAndF10BothSaveTheConfiguration_data();
    void exitAndF10BothSaveTheConfiguration();
    void overlongFolderIsNotStoredCut();
};

void StartupTest::logShowsTheStartUpSteps_inOrder() {
    GuiFixture f;
    f.config.leftPath = "";  // the left pane enters its location, which logs its text
    MainWindow& w = f.start();
    QCOMPARE(w.exitCode(0), 0);  // a start that went through ends with the loop's code
    QCOMPARE(w.exitCode(3), 3);
    const QStringList lines = f.logLines();
    const QStringList expected = {
        QString::fromStdString(f.programFolder + "/Messages.lng"),
        QString::fromStdString("M42" + f.programFolder),
        QString::fromStdString(f.home),  // entry 6: the left pane's location
        "link watch started",
    };
    int at = -1;
    for (const QString& line : expected) {
        const int found = lines.indexOf(line, at + 1);
        QVERIFY2(found > at,
                 qPrintable("missing or out of order: " + line + "\n" + lines.join("\n")));
        at = found;
    }
    QVERIFY(f.window->startedUp());
}

void StartupTest::logFileHoldsOnlyLinesAfterItWasCreatedAnew() {
    GuiFixture f;
    GuiFixture::touch(f.programFolder + "/.log", "old run\r\n");
    f.start();
    const std::string file = GuiFixture::readFile(f.programFolder + "/.log");
    QVERIFY(file.find("old run") == std::string::npos);
    QVERIFY(file.find("M42") == std::string::npos);  // logged before the file existed
    QVERIFY(file.find("link watch started\r\n") != std::string::npos);
    QVERIFY(f.logLines().contains(QString::fromStdString("M42" + f.programFolder)));
}

void StartupTest::everyTemplateControlExistsWithItsId() {
    GuiFixture f;
    MainWindow& w = f.start();
    QCOMPARE(w.windowTitle(),
             QString("Marrowdeck V-6.0.0   ---  P2k, P2k05,  USBLAN  ---  GSM, CDMA  ---"));
    for (int id = 1001; id <= 1029; ++id) {
        QWidget* widget = w.control(id);
        QVERIFY2(widget, qPrintable(QString::number(id)));
        QCOMPARE(widget->objectName(), QString::number(id));
        QCOMPARE(widget->property("controlId").toInt(), id);
    }
    for (int hidden : {1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024, 1028, 1029}) {
        QVERIFY(w.control(hidden)->isHidden());
    }
    QVERIFY(QApplication::topLevelWidgets().size() >= 2);
    // The splash is the animated picture control playing resource 555.
    AniGif* splash = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "1030") splash = qobject_cast<AniGif*>(top);
    }
    QVERIFY(splash);
    QVERIFY(splash->frameCount() > 1);
}

void StartupTest::captionsStatusAndTooltipsComeFromMessages() {
    GuiFixture f;
    MainWindow& w = f.start();
    const std::pair<int, QString> captions[] = {
        {1012, "M90"}, {1013, "M90"}, {1007, "M91"}, {1026, "M92"}, {1008, "M93"},
        {1010, "M94"}, {1004, "M95"}, {1027, "M96"}, {1009, "M97"}, {1011, "M98"},
    };
    for (const auto& [id, text] : captions) {
        QCOMPARE(static_cast<QPushButton*>(w.control(id))->text(), text);
    }
    QTest::qWait(0);  // status texts are posted
    auto* status = static_cast<PartStatusBar*>(w.control(1025));
    QCOMPARE(status->partCount(), 4);
    QCOMPARE(status->partText(3), QString("M77"));
    QCOMPARE(status->partText(1), QString("M78"));
    QCOMPARE(status->partText(2), QString("M79"));
    QCOMPARE(status->partText(0), QString("M80"));
    QCOMPARE(w.control(1001)->toolTip(), QString("M70"));
    QCOMPARE(w.control(1015)->toolTip(), QString("M71"));
    QCOMPARE(w.control(1029)->toolTip(), QString("M116"));
}

void StartupTest::missingMessageFileStopsWithoutTouchingTheConfiguration() {
    GuiFixture f;
    f.config.leftPath = f.other;
    f.writeConfig();
    const std::string before = GuiFixture::readFile(f.programFolder + "/.config");
    QFile::remove(QString::fromStdString(f.programFolder + "/Messages.lng"));
    MainWindow& w = f.start(false);
    QVERIFY(!w.startedUp());
    QCOMPARE(w.exitCode(0), 1);  // a failed start ends the process with code 1
    const auto shown = f.prompter.shown();
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(QString::fromStdString(shown[0].text),
             QString("Message file not found Will exit now."));
    w.close();
    QCOMPARE(GuiFixture::readFile(f.programFolder + "/.config"), before);
}

void StartupTest::savedLocationBelowFiveOpensEntrySix() {
    GuiFixture f;
    f.config.leftSource = 2;
    f.config.rightSource = 4;
    f.config.leftPath = "";
    f.config.rightPath = "";
    f.start();
    for (Side side : {Side::Left, Side::Right}) {
        QCOMPARE(f.context->panes.locationIndex(side), 6u);
        QCOMPARE(f.context->panes.pcPath(side), f.home);
        QCOMPARE(f.context->panes.phoneFolder(side), std::string("/"));
        QCOMPARE(f.pane(side).widgets().combo->currentIndex(), 6);
    }
    QCOMPARE(f.context->panes.nameSortMode.load(), 3);
}

void StartupTest::splashTimerRestoresTheSavedPlacement() {
    GuiFixture f;
    f.config.windowLeft = 40;
    f.config.windowTop = 30;
    f.config.windowRight = 40 + 700;
    f.config.windowBottom = 30 + 500;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.onTimer(ids::kTimerSplash);
    QCOMPARE(w.frameGeometry().size(), QSize(700, 500));
    QCOMPARE(w.frameGeometry().topLeft(), QPoint(40, 30));
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "1030") QVERIFY(!top->isVisible());
    }
}

void StartupTest::exitAndF10BothSaveTheConfiguration_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("E&xit") << true;
    QTest::newRow("F10") << false;
}

void StartupTest::exitAndF10BothSaveTheConfiguration() {
    QFETCH(bool, byMenu);
    GuiFixture f;
    f.config.leftPath = f.home;
    f.config.rightPath = f.other;
    MainWindow& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QFile::remove(QString::fromStdString(f.programFolder + "/.config"));
    if (byMenu) {
        w.menuAction(ids::kMenuExit)->trigger();
    } else {
        QTest::keyClick(f.list(Side::Left), Qt::Key_F10);
    }
    QVERIFY(!w.isVisible());
    ConfigRecord saved;
    ScriptedPrompter quiet;
    struct NoRestart : AppControl {
        void restartApplication() override {}
    } control;
    QCOMPARE(ConfigFile(f.programFolder + "/.config").load(saved, quiet, control),
             ConfigLoadResult::Loaded);
    QCOMPARE(saved.leftPath, f.home);
    QCOMPARE(saved.rightPath, f.other);
    QCOMPARE(saved.windowRight - saved.windowLeft, w.frameGeometry().width());
}

void StartupTest::overlongFolderIsNotStoredCut() {
    GuiFixture f;
    std::string deep = f.other;
    while (deep.size() < 300) {
        deep += "/abcdefghijklmnopqrstuvwxyz0123456789";
        QVERIFY(QDir().mkpath(QString::fromStdString(deep)));
    }
    f.config.rightPath = f.other;
    MainWindow& w = f.start();
    f.context->panes.setPcPath(Side::Right, deep);
    f.context->panes.setPathText(Side::Right, deep);
    f.pane(Side::Right).showPath();
    w.close();
    ConfigRecord saved;
    ScriptedPrompter quiet;
    struct NoRestart : AppControl {
        void restartApplication() override {}
    } control;
    ConfigFile(f.programFolder + "/.config").load(saved, quiet, control);
    QCOMPARE(saved.rightPath, std::string());
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
