// Dialog 1600 and the start with a package: the list, Execute running the package on the
// simulated phone behind the wait dialog, Cancel and the close box, and the link test.
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>

#include "app/app_context.h"
#include "base/clock.h"
#include "gui/dialogs/batch_dialog.h"
#include "gui/dialogs/batch_run.h"
#include "gui/dialogs/wait_dialog.h"
#include "p2k/catalogue.h"
#include "sim/phone_model.h"
#include "sim/sample_phone.h"
#include "sim/sim_link.h"
#include "sim/sim_phone.h"

namespace mdk::test {
namespace {

std::string str(const QString& text) {
    return text.toStdString();
}

// A program context on a throw-away folder with the sample phone attached, and a package
// folder holding skin.bmp.
struct BatchGuiFixture {
    BatchGuiFixture() : phone(model), context(str(programDir.path()), clock) {
        sim::loadSamplePhone(model);
        context.driver.setLink(std::make_shared<sim::SimLink>(phone));
        packageFolder = str(packageDir.path());
        std::ofstream(packageFolder + "/skin.bmp", std::ios::binary) << "SKIN-BYTES";
    }
    std::string writePackage(const std::string& text) {
        const std::string path = packageFolder + "/night.mrdk";
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    BatchRunHooks hooks() {
        BatchRunHooks h;
        h.startLinkWatch = [this] { ++watchStarts; };
        h.relistRightPane = [this] {
            ++relists;
            // The run's limit (3, counted up by each record the run adds) is still in force.
            runningWhileRelisting = context.runSettings.read().fileCountLimit >= 3;
        };
        return h;
    }

    QTemporaryDir programDir;
    QTemporaryDir packageDir;
    std::string packageFolder;
    ManualClock clock;
    sim::PhoneModel model;
    sim::SimPhone phone;
    AppContext context;
    int watchStarts = 0;
    int relists = 0;
    bool runningWhileRelisting = false;
};

// A link whose requests wait while its gate is shut (at most a few seconds, so that a
// GUI thread blocked on the worker cannot hang the test for good).
class GatedLink final : public DriverLink {
public:
    explicit GatedLink(sim::SimPhone& phone) : link_(phone) {}
    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override {
        std::unique_lock lock(mutex_);
        waited_ = true;
        opened_.wait_for(lock, std::chrono::seconds(5), [this] { return open_; });
        lock.unlock();
        return link_.request(code, input, capacity, output, waitMs);
    }
    bool isOpen() const override { return link_.isOpen(); }
    void close() override { link_.close(); }
    std::string devicePath() const override { return link_.devicePath(); }
    bool waitForRemoval() override { return link_.waitForRemoval(); }
    void stopWaiting() override { link_.stopWaiting(); }

    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    bool workerWaiting() {
        std::lock_guard lock(mutex_);
        return waited_ && !open_;
    }

private:
    sim::SimLink link_;
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
    bool waited_ = false;
};

BatchDialog* openDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<BatchDialog*>(widget); dialog && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

// Presses a button of the batch dialog once it is shown.
void pressWhenShown(const QString& id) {
    QTimer::singleShot(0, [id] {
        BatchDialog* dialog = openDialog();
        if (!dialog) return pressWhenShown(id);
        dialog->findChild<QPushButton*>(id)->click();
    });
}

QStringList listTexts(QWidget* dialog) {
    QStringList lines;
    auto* list = dialog->findChild<QListWidget*>("1603");
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
}

}  // namespace

class BatchDialogTest : public QObject {
    Q_OBJECT
private slots:
    void listShowsPathSeparatorAndLines();
    void listWaitsForTheUsblanLinkInModeThree();
    void executeRunsThePackageOnThePhone();
    void closingTheWaitDialogEarlyKeepsTheBatchDialogAlive();
    void cancelMarksTheRunAndRunsNothing();
    void closeBoxClosesWithoutTheMark();
    void executeWithoutALinkRunsNothing();
    void executeWaitsForAnAttachUnderWay();
    void shellLinesAskOnceBeforeTheFirstWithNoAsTheDefault();
};

void BatchDialogTest::listShowsPathSeparatorAndLines() {
    int starts = 0;
    BatchDialog::Hooks hooks;
    hooks.startLinkWatch = [&] { ++starts; };
    BatchDialog dialog("/p/night.mrdk", {"Night skin", "cp skin.bmp"}, false, hooks);
    QCOMPARE(dialog.windowTitle(), QString("Marrowdeck :  execute mrdk batch file"));
    QCOMPARE(listTexts(&dialog),
             (QStringList{"/p/night.mrdk", "----------------------", "Night skin", "cp skin.bmp"}));
    auto* execute = dialog.findChild<QPushButton*>("1601");
    QVERIFY(execute->isDefault());
    QCOMPARE(dialog.findChild<QPushButton*>("1602")->text(), QString("Cancel"));
    dialog.show();
    dialog.hide();
    dialog.show();
    QCOMPARE(starts, 1);  // the watch starts once, when the dialog first shows
}

void BatchDialogTest::listWaitsForTheUsblanLinkInModeThree() {
    BatchDialog dialog("/p/x.mrdk", {"cp a"}, true, {});
    QCOMPARE(listTexts(&dialog),
             (QStringList{"/p/x.mrdk", "----------------------",
                          "Please wait until connection established.(Phone beeps.)",
                          "----------------------", "cp a"}));
}

void BatchDialogTest::executeRunsThePackageOnThePhone() {
    BatchGuiFixture f;
    f.context.link.phoneAttached = true;
    f.context.runSettings.change([](RunValues& values) { values.fileCountLimit = -1; });
    const std::string path =
        f.writePackage("cp skin.bmp\r\nto /a/mobile/skins/night.bmp\r\nds 0032 0001\r\n");
    pressWhenShown("1601");
    BatchRunResult result = runBatchPackage(f.context, path, f.hooks(), nullptr);
    QCOMPARE(int(result.outcome), int(BatchDialog::Outcome::Executed));
    QVERIFY2(result.report.succeeded(),
             result.report.failures.empty() ? "" : result.report.failures[0].c_str());
    QCOMPARE(result.report.commandsRun, 3);
    auto bytes = f.model.fileBytes("/a/mobile/skins/night.bmp");
    QVERIFY(bytes);
    QCOMPARE(std::string(bytes->begin(), bytes->end()), std::string("SKIN-BYTES"));
    QVERIFY(QFile::exists(QString::fromStdString(f.packageFolder + "/0032_0001.seem")));
    QCOMPARE(f.watchStarts, 1);
    QCOMPARE(f.relists, 1);
    QVERIFY(f.runningWhileRelisting);
    QCOMPARE(f.context.runSettings.read().fileCountLimit, -1);
    QCOMPARE(f.context.config.fileCountLimit, -1);
    QVERIFY(f.context.link.phoneConnected != 999);
}

void BatchDialogTest::closingTheWaitDialogEarlyKeepsTheBatchDialogAlive() {
    BatchGuiFixture f;
    auto link = std::make_shared<GatedLink>(f.phone);
    f.context.driver.setLink(link);
    f.context.link.phoneAttached = true;
    const std::string path = f.writePackage("cp skin.bmp\r\nto /a/mobile/skins/gated.bmp\r\n");
    BatchRunHooks hooks = f.hooks();
    hooks.showWaitDialog = true;
    // Closes the wait dialog while the upload waits at the gate, then counts the GUI
    // thread's ticks; the gate opens only after a few of them.
    int ticksWhileWaiting = 0;
    bool waitClosed = false;
    bool dialogShownMeanwhile = false;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!waitClosed) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* wait = qobject_cast<WaitDialog*>(widget);
                if (wait && wait->isVisible() && link->workerWaiting()) {
                    wait->close();
                    waitClosed = true;
                }
            }
            return;
        }
        if (!link->workerWaiting()) return;
        ++ticksWhileWaiting;
        if (BatchDialog* dialog = openDialog()) {
            dialogShownMeanwhile = true;
            dialog->close();  // ignored while the lines run
        }
        if (ticksWhileWaiting >= 3) link->open();
    });
    tick.start(10);
    pressWhenShown("1601");
    BatchRunResult result = runBatchPackage(f.context, path, hooks, nullptr);
    link->open();
    QVERIFY(waitClosed);
    QVERIFY(ticksWhileWaiting >= 3);  // the GUI thread ran while the worker was busy
    QVERIFY(dialogShownMeanwhile);
    QCOMPARE(int(result.outcome), int(BatchDialog::Outcome::Executed));
    QVERIFY(result.report.succeeded());
    auto bytes = f.model.fileBytes("/a/mobile/skins/gated.bmp");
    QVERIFY(bytes);
    QCOMPARE(std::string(bytes->begin(), bytes->end()), std::string("SKIN-BYTES"));
}

void BatchDialogTest::cancelMarksTheRunAndRunsNothing() {
    BatchGuiFixture f;
    f.context.link.phoneAttached = true;
    const std::string path = f.writePackage("cp skin.bmp\r\nto /a/mobile/skins/cancel.bmp\r\n");
    pressWhenShown("1602");
    BatchRunResult result = runBatchPackage(f.context, path, f.hooks(), nullptr);
    QCOMPARE(int(result.outcome), int(BatchDialog::Outcome::Cancelled));
    QCOMPARE(f.context.link.phoneConnected.load(), 999);
    QVERIFY(!f.model.fileBytes("/a/mobile/skins/cancel.bmp"));
    QCOMPARE(f.relists, 0);
}

void BatchDialogTest::closeBoxClosesWithoutTheMark() {
    BatchGuiFixture f;
    const std::string path = f.writePackage("cp skin.bmp\r\nto /a/mobile/skins/closed.bmp\r\n");
    QTimer::singleShot(0, [] {
        if (BatchDialog* dialog = openDialog()) dialog->close();
    });
    BatchRunResult result = runBatchPackage(f.context, path, f.hooks(), nullptr);
    QCOMPARE(int(result.outcome), int(BatchDialog::Outcome::Closed));
    QVERIFY(f.context.link.phoneConnected != 999);
    QVERIFY(!f.model.fileBytes("/a/mobile/skins/closed.bmp"));
}

void BatchDialogTest::executeWithoutALinkRunsNothing() {
    BatchGuiFixture f;
    f.context.driver.clearLink();
    const std::string path = f.writePackage("cp skin.bmp\r\nto /a/mobile/skins/none.bmp\r\n");
    pressWhenShown("1601");
    BatchRunResult result = runBatchPackage(f.context, path, f.hooks(), nullptr);
    QCOMPARE(int(result.outcome), int(BatchDialog::Outcome::Executed));
    QVERIFY(result.report.linkFailed);
    QCOMPARE(result.report.commandsRun, 0);
    QVERIFY(!f.model.fileBytes("/a/mobile/skins/none.bmp"));
    QCOMPARE(f.relists, 1);  // the right pane is listed again in any case
}

void BatchDialogTest::executeWaitsForAnAttachUnderWay() {
    BatchGuiFixture f;
    f.context.link.phoneAttached = false;  // the interface is open, its attach still runs
    const std::string path = f.writePackage("cp skin.bmp\r\nto /a/mobile/skins/later.bmp\r\n");
    pressWhenShown("1601");
    QTimer::singleShot(50, [&f] { f.context.link.phoneAttached = true; });
    BatchRunResult result = runBatchPackage(f.context, path, f.hooks(), nullptr);
    QVERIFY(result.report.succeeded());
    QVERIFY(f.model.fileBytes("/a/mobile/skins/later.bmp"));
}

// The first shell line asks once, listing the package's shell commands; the default No
// runs none of them, Yes runs them all in the package folder.
void BatchDialogTest::shellLinesAskOnceBeforeTheFirstWithNoAsTheDefault() {
    BatchGuiFixture f;
    f.context.link.phoneAttached = true;
    ScriptedPrompter prompter;
    f.context.prompter.setTarget(&prompter);
    const std::string path = f.writePackage(
        "cp skin.bmp\r\n## touch one.txt\r\nto /a/mobile/skins/s.bmp\r\n"
        "## touch two.txt\r\n");
    pressWhenShown("1601");
    BatchRunResult result = runBatchPackage(f.context, path, f.hooks(), nullptr);
    QCOMPARE(prompter.shown().size(), size_t(1));
    QCOMPARE(prompter.shown()[0].text,
             std::string("This package runs 2 shell commands:\n\ntouch one.txt\ntouch two.txt"
                         "\n\nRun them?"));
    QVERIFY(prompter.shown()[0].defaultNo);
    QCOMPARE(result.report.failures.size(), size_t(2));
    QVERIFY(f.model.fileBytes("/a/mobile/skins/s.bmp"));  // the other lines run
    const QString one = QString::fromStdString(f.packageFolder + "/one.txt");
    const QString two = QString::fromStdString(f.packageFolder + "/two.txt");
    QTest::qWait(200);
    QVERIFY(!QFile::exists(one) && !QFile::exists(two));

    prompter.queueAnswer(PromptAnswer::Yes);
    pressWhenShown("1601");
    result = runBatchPackage(f.context, path, f.hooks(), nullptr);
    QCOMPARE(prompter.shown().size(), size_t(2));
    QVERIFY(result.report.succeeded());
    QTRY_VERIFY(QFile::exists(one) && QFile::exists(two));
    f.context.prompter.setTarget(nullptr);
}

}  // namespace mdk::test

QTEST_MAIN(mdk::test::BatchDialogTest)
#include "tst_batch_dialog.moc"
