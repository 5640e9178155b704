// The options dialog, and the start with a package or skin pack argument.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "app/options.h"
#include "gui/dialogs/options_dialog.h"
#include "gui_fixture.h"

using namespace mdk;
using namespace mdk::test;

namespace {

std::string message(int number) {
    return "M" + std::to_string(number);
}

struct Accepted {
    options::Choice choice;
    int32_t modeAtOpening = -1;
    int calls = 0;
};

OptionsDialog::AcceptHandler recordInto(Accepted& accepted) {
    return [&accepted](const options::Choice& choice, int32_t mode) {
        accepted.choice = choice;
        accepted.modeAtOpening = mode;
        ++accepted.calls;
    };
}

// Acts on the next modal dialog once it is shown.
void whenShown(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        action(dialog);
    });
}

}  // namespace

class OptionsTest : public QObject {
    Q_OBJECT
private slots:
    void controlsShowTheRecord();
    void checkBoxesAndTuningChangeTheRecordAtTheClick();
    void sliderAtTheTopMeansNoLimit();
    void cancelAfterAModeClickKeepsTheLiveMode();
    void okHandsOverTheEditsAndTheWorkingValues();
    void choosingUsblanModeRestartsTheProgramInThatMode();
    void okWithTheSameModeDoesNotRestart();
    void optionsStartFromTheRunningValues();
    void aClickChangesTheRunningValueAtOnce();
    void optionsAreRefusedWhileAWorkerRuns();
    void upperCaseSkinPackEndingRunsThePackageDialog();
    void skinPackArgumentShowsTheBoxAndEndsTheStart();
};

void OptionsTest::controlsShowTheRecord() {
    ConfigRecord config;
    config.noviceAlerts = 0;
    config.commandSet = 1;
    config.searchPattern = "/a/*.mp3";
    config.comPort = "COM4";
    config.connectionMode = 2;
    Accepted accepted;
    OptionsDialog dialog(config, message, recordInto(accepted));
    QCOMPARE(dialog.windowTitle(), QString("Marrowdeck options"));
    QVERIFY(child<QCheckBox>(&dialog, 1560)->isChecked());     // ticked when alerts are off
    QVERIFY(child<QRadioButton>(&dialog, 1513)->isChecked());  // safe 3G is value 1
    QVERIFY(!child<QRadioButton>(&dialog, 1512)->isChecked());
    QVERIFY(child<QRadioButton>(&dialog, 1516)->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, 1561)->isChecked());
    QCOMPARE(child<QLineEdit>(&dialog, 1654)->text(), QString("/*.mp3"));
    QCOMPARE(child<QLineEdit>(&dialog, 1655)->text(), QString("COM4"));
    QCOMPARE(child<QLineEdit>(&dialog, 1656)->text(), QString("8"));
    QCOMPARE(child<QLineEdit>(&dialog, 1508)->text(), QString("at+mode=13"));
    for (int hidden : {1501, 1503, 1510, 1560}) {
        QVERIFY2(child<QWidget>(&dialog, hidden)->isHidden(), qPrintable(QString::number(hidden)));
    }
    const std::pair<int, const char*> tips[] = {{1511, "M106"}, {1512, "M107"}, {1513, "M108"},
                                                {1514, "M109"}, {1566, "M110"}, {1562, "M111"},
                                                {1561, "M112"}, {1560, "M113"}, {1565, "M114"}};
    for (const auto& [id, tip] : tips)
        QCOMPARE(child<QWidget>(&dialog, id)->toolTip(), QString(tip));
}

void OptionsTest::checkBoxesAndTuningChangeTheRecordAtTheClick() {
    ConfigRecord config;
    Accepted accepted;
    {
        OptionsDialog dialog(config, message, recordInto(accepted));
        dialog.show();
        child<QCheckBox>(&dialog, 1565)->click();
        QCOMPARE(config.logPackets, 1);
        child<QRadioButton>(&dialog, 1513)->click();
        QCOMPARE(config.commandSet, 1);
        child<QRadioButton>(&dialog, 1511)->click();
        QCOMPARE(config.commandSet, 0);
        child<QCheckBox>(&dialog, 1563)->click();
        QCOMPARE(config.useFilter, 1);
        child<QPushButton>(&dialog, 1507)->click();
    }
    QCOMPARE(accepted.calls, 0);
    QCOMPARE(config.logPackets, 1);  // clicks stay whatever button ends the dialog
    QCOMPARE(config.commandSet, 0);
}

void OptionsTest::sliderAtTheTopMeansNoLimit() {
    ConfigRecord config;
    Accepted accepted;
    OptionsDialog dialog(config, message, recordInto(accepted));
    auto* slider = child<QSlider>(&dialog, 1501);
    auto* label = child<QLabel>(&dialog, 1503);
    QCOMPARE(slider->minimum(), 10);
    QCOMPARE(slider->value(), 510);
    QCOMPARE(label->text(), QString("M81"));
    QCOMPARE(dialog.workingLimit(), -1);
    slider->setValue(10);
    QCOMPARE(label->text(), QString("10"));
    QCOMPARE(dialog.workingLimit(), 10);
    slider->setValue(510);
    QCOMPARE(dialog.workingLimit(), -1);
}

void OptionsTest::cancelAfterAModeClickKeepsTheLiveMode() {
    ConfigRecord config;
    Accepted accepted;
    {
        OptionsDialog dialog(config, message, recordInto(accepted));
        dialog.show();
        child<QRadioButton>(&dialog, 1521)->click();
        QCOMPARE(dialog.workingMode(), 3);
        QCOMPARE(config.connectionMode, 0);
        child<QPushButton>(&dialog, 1507)->click();
    }
    {
        OptionsDialog dialog(config, message, recordInto(accepted));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        child<QRadioButton>(&dialog, 1504)->click();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(config.connectionMode, 0);
    QCOMPARE(accepted.calls, 0);
}

void OptionsTest::okHandsOverTheEditsAndTheWorkingValues() {
    ConfigRecord config;
    config.connectionMode = 1;
    Accepted accepted;
    OptionsDialog dialog(config, message, recordInto(accepted));
    dialog.show();
    child<QRadioButton>(&dialog, 1502)->click();
    child<QLineEdit>(&dialog, 1655)->setText("COM12");
    child<QLineEdit>(&dialog, 1656)->setText("12");
    child<QLineEdit>(&dialog, 1517)->setText("192.168.16.2");
    child<QSlider>(&dialog, 1501)->setValue(60);
    child<QPushButton>(&dialog, 1506)->click();
    QCOMPARE(accepted.calls, 1);
    QCOMPARE(accepted.modeAtOpening, 1);
    QCOMPARE(accepted.choice.mode, 0);
    QCOMPARE(accepted.choice.fileCountLimit, 60);
    QCOMPARE(accepted.choice.edits.comPort, std::string("COM12"));
    QCOMPARE(accepted.choice.edits.interfaceIndex, std::string("12"));
    QCOMPARE(accepted.choice.edits.usblanIp, std::string("192.168.16.2"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void OptionsTest::choosingUsblanModeRestartsTheProgramInThatMode() {
    GuiFixture f;
    MainWindow& w = f.start();
    const size_t before = f.prompter.shown().size();  // the start-up's own boxes
    whenShown([](QWidget* dialog) {
        QCOMPARE(dialog->objectName(), QString("1500"));
        child<QRadioButton>(dialog, 1521)->click();
        child<QPushButton>(dialog, 1506)->click();
    });
    w.dispatchCommand(ids::kMenuOptions);
    const auto shown = f.prompter.shown();
    QCOMPARE(shown.size(), before + 1);
    QCOMPARE(shown.back().title, std::string("Warning !"));
    QCOMPARE(shown.back().text, std::string("Mode changed, application will restart now."));
    QVERIFY(w.restartRequested());
    w.close();
    // The close saved the new mode for the restarted program.
    ConfigRecord saved;
    QCOMPARE(ConfigFile(f.programFolder + "/.config").load(saved, f.prompter, w),
             ConfigLoadResult::Loaded);
    QCOMPARE(saved.connectionMode, 3);
    QCOMPARE(saved.searchPattern, std::string("/a/*"));
    QVERIFY(!f.logLines().filter("not built yet").filter("Options").size());
}

void OptionsTest::okWithTheSameModeDoesNotRestart() {
    GuiFixture f;
    MainWindow& w = f.start();
    const size_t before = f.prompter.shown().size();
    whenShown([](QWidget* dialog) { child<QPushButton>(dialog, 1506)->click(); });
    w.dispatchCommand(ids::kMenuOptions);
    QCOMPARE(f.prompter.shown().size(), before);
    QVERIFY(!w.restartRequested());
}

void OptionsTest::optionsStartFromTheRunningValues() {
    GuiFixture f;
    f.config.useFilter = 1;
    f.config.searchPattern = "/a/*.mp3";
    MainWindow& w = f.start();
    f.context->runSettings.change([](RunValues& values) {  // as an attach does
        values.useFilter = 0;
        values.searchPattern = "/c/*.*";
    });
    bool shownOff = false;
    whenShown([&](QWidget* dialog) {
        shownOff = !child<QCheckBox>(dialog, 1563)->isChecked();
        QCOMPARE(child<QLineEdit>(dialog, 1654)->text(), QString("/*.*"));
        child<QPushButton>(dialog, 1506)->click();
    });
    w.dispatchCommand(ids::kMenuOptions);
    QVERIFY(shownOff);
    // OK kept what runs: the filter stays off, in the program and in the record.
    QCOMPARE(f.context->runSettings.read().useFilter, 0);
    QCOMPARE(f.context->config.useFilter, 0);
    w.close();
    ConfigRecord saved;
    QCOMPARE(ConfigFile(f.programFolder + "/.config").load(saved, f.prompter, w),
             ConfigLoadResult::Loaded);
    QCOMPARE(saved.useFilter, 0);
}

void OptionsTest::aClickChangesTheRunningValueAtOnce() {
    GuiFixture f;
    f.config.useFilter = 0;
    f.config.forceP2k05 = 0;
    MainWindow& w = f.start();
    std::vector<int32_t> seen;
    whenShown([&](QWidget* dialog) {
        child<QCheckBox>(dialog, 1563)->click();
        seen.push_back(f.context->runSettings.read().useFilter);
        child<QCheckBox>(dialog, 1514)->click();
        seen.push_back(f.context->runSettings.read().forceP2k05);
        child<QPushButton>(dialog, 1507)->click();  // Cancel: the clicks stay in effect
    });
    w.dispatchCommand(ids::kMenuOptions);
    QCOMPARE(seen, (std::vector<int32_t>{1, 1}));
    QCOMPARE(f.context->runSettings.read().useFilter, 1);
    QCOMPARE(f.context->runSettings.read().forceP2k05, 1);
    w.close();
    ConfigRecord saved;
    QCOMPARE(ConfigFile(f.programFolder + "/.config").load(saved, f.prompter, w),
             ConfigLoadResult::Loaded);
    QCOMPARE(saved.useFilter, 1);  // what is saved is what ran
    QCOMPARE(saved.forceP2k05, 1);
}

void OptionsTest::optionsAreRefusedWhileAWorkerRuns() {
    GuiFixture f;
    f.writeConfig();
    f.context = std::make_unique<AppContext>(f.programFolder, f.clock);
    f.context->prompter.setTarget(&f.prompter);
    MainWindowServices services = f.services();
    services.workerRunning = [] { return true; };
    f.window = std::make_unique<MainWindow>(*f.context, services);
    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialogShown = true;
            dialog->close();
        }
    });
    f.window->dispatchCommand(ids::kMenuOptions);
    QCoreApplication::processEvents();
    QVERIFY(!dialogShown);
    QCOMPARE(f.logLines().filter("A phone operation is still running: Options refused.").size(), 1);
}

void OptionsTest::upperCaseSkinPackEndingRunsThePackageDialog() {
    GuiFixture f;
    f.argument = "/tmp/skins/pack.S4M";
    f.writeConfig();
    f.context = std::make_unique<AppContext>(f.programFolder, f.clock);
    f.context->prompter.setTarget(&f.prompter);
    std::vector<std::string> calls;
    MainWindowServices services = f.services();
    services.writeAssociations = [&] { calls.push_back("associations"); };
    services.runPackage = [&](MainWindow&, const std::string& path) {
        calls.push_back("package " + path);
        return PackageRunResult::Ended;
    };
    MainWindow w(*f.context, services);
    QVERIFY(!w.startedUp());
    QCOMPARE(calls, (std::vector<std::string>{"associations", "package /tmp/skins/pack.S4M"}));
    // No link: the stop box follows, the last box of the start.
    const auto shown = f.prompter.shown();
    QVERIFY(!shown.empty());
    QCOMPARE(shown.back().icon, PromptIcon::Error);
    QCOMPARE(shown.back().title, std::string("M89"));
    QCOMPARE(
        std::count_if(shown.begin(), shown.end(), [](const Prompt& p) { return p.title == "M89"; }),
        1);
}

void OptionsTest::skinPackArgumentShowsTheBoxAndEndsTheStart() {
    GuiFixture f;
    f.argument = "/tmp/skins/pack.s4m";
    bool ran = false;
    f.writeConfig();
    f.context = std::make_unique<AppContext>(f.programFolder, f.clock);
    f.context->prompter.setTarget(&f.prompter);
    MainWindowServices services = f.services();
    services.runPackage = [&](MainWindow&, const std::string&) {
        ran = true;
        return PackageRunResult::Ended;
    };
    MainWindow w(*f.context, services);
    QVERIFY(!w.startedUp());
    QVERIFY(!ran);
    QVERIFY(!f.prompter.shown().empty());
    QCOMPARE(f.prompter.shown().back().title, std::string("M89"));
    QCOMPARE(f.prompter.shown().back().icon, PromptIcon::Information);
}

QTEST_MAIN(OptionsTest)
#include "tst_options.moc"
