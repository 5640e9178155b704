// Log lines, status texts and location entries coming from worker threads.
#include <QComboBox>
#include <QProgressBar>
#include <thread>

#include "app/dispatch_tables.h"
#include "device/device_view.h"
#include "gui/controls/status_bar.h"
#include "gui_fixture.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"

using namespace mdk;
using namespace mdk::test;

class ThreadsTest : public QObject {
    Q_OBJECT
private slots:
    void workerLogLinesArriveInOrder();
    void phoneVolumesFromTheWatcherReachBothCombos();
    void interfaceDownRestoresEntriesStatusAndButton();
    void progressStepsFromAWorker();
    void liveLineReplacedPerRecordLeavesItsLastText();
    void progressChangesKeepTheirOrderAcrossSteps();
};

void ThreadsTest::workerLogLinesArriveInOrder() {
    GuiFixture f;
    f.start();
    const int before = f.logLines().size();
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) f.context->log.logLine("line " + std::to_string(i));
        f.context->log.replaceLogLine("progress 100%");
    });
    worker.join();  // the worker never waited for the GUI thread
    f.context->log.logLine("from the GUI thread");
    QTRY_COMPARE(f.logLines().size(), before + 201);  // the progress line replaced line 199
    const QStringList lines = f.logLines().mid(before);
    QCOMPARE(lines.first(), QString("line 0"));
    QCOMPARE(lines.at(198), QString("line 198"));
    QCOMPARE(lines.at(199), QString("progress 100%"));
    QCOMPARE(lines.last(), QString("from the GUI thread"));
}

void ThreadsTest::phoneVolumesFromTheWatcherReachBothCombos() {
    GuiFixture f;
    MainWindow& w = f.start();
    std::thread watcher([&] {
        w.deviceView().showPhoneVolumes({"/a  V3", "/b", "/c", "/e  card", "Seems of V3"});
        w.phoneView().setStatusText(3, "Model: V3");
    });
    watcher.join();
    QTRY_COMPARE(f.pane(Side::Right).widgets().combo->itemText(3), QString("/e  card"));
    QCOMPARE(f.pane(Side::Left).widgets().combo->itemText(0), QString("/a  V3"));
    QCOMPARE(f.pane(Side::Left).widgets().combo->currentIndex(), 6);
    auto* status = static_cast<PartStatusBar*>(w.control(1025));
    QTRY_COMPARE(status->partText(3), QString("Model: V3"));
    // The attach routine gets the chosen phone volume (entry 0 by default), never the PC entry.
    QCOMPARE(w.phoneView().leftLocationText(), std::string("/a  V3"));
}

void ThreadsTest::interfaceDownRestoresEntriesStatusAndButton() {
    GuiFixture f;
    MainWindow& w = f.start();
    std::thread watcher([&] {
        w.deviceView().phoneInterfaceUp();
        w.deviceView().showPhoneVolumes({"/a", "/b", "/c", "/e", "S"});
    });
    watcher.join();
    // F6 comes on with the interface.
    QTRY_VERIFY(w.control(1004)->isEnabled());
    std::thread gone([&] {
        w.phoneView().setStatusText(3, "Model: V3");
        w.deviceView().phoneInterfaceDown();
    });
    gone.join();
    QTRY_VERIFY(!w.control(1004)->isEnabled());
    QTRY_COMPARE(f.pane(Side::Left).widgets().combo->itemText(0), QString("M116"));
    QCOMPARE(f.pane(Side::Right).widgets().combo->itemText(4), QString("M115"));
    auto* status = static_cast<PartStatusBar*>(w.control(1025));
    QCOMPARE(status->partText(3), QString("M77"));
}

void ThreadsTest::progressStepsFromAWorker() {
    GuiFixture f;
    MainWindow& w = f.start();
    std::thread worker([&] {
        w.progressSink().setRange(0, 5);
        w.progressSink().setPosition(0);
        for (int i = 0; i < 3; ++i) w.progressSink().step();
    });
    worker.join();
    auto* bar = static_cast<QProgressBar*>(w.control(1014));
    QTRY_COMPARE(bar->value(), 3);
    QCOMPARE(bar->maximum(), 5);
}

// A catalogue load replaces its live line once per record; the list ends as if every
// replacement had been applied in turn, and no earlier line is touched.
void ThreadsTest::liveLineReplacedPerRecordLeavesItsLastText() {
    GuiFixture f;
    f.start();
    const int before = f.logLines().size();
    std::thread worker([&] {
        f.context->log.logLine("65534 files found");
        f.context->log.logLine("65534 files found");
        for (int i = 0; i < 5000; ++i)
            f.context->log.replaceLogLine("/a/file_" + std::to_string(i));
        f.context->log.replaceLogLine("65534 files listed in 12 ms.");
        f.context->log.logLine("a problem");
        f.context->log.replaceLogLine("a problem, replaced");
    });
    worker.join();
    QTRY_COMPARE(f.logLines().size(), before + 3);
    QCOMPARE(
        f.logLines().mid(before),
        QStringList({"65534 files found", "65534 files listed in 12 ms.", "a problem, replaced"}));
}

// Steps in a row are applied together: a position set between them still counts from
// where it was set, and the bar stops at its maximum.
void ThreadsTest::progressChangesKeepTheirOrderAcrossSteps() {
    GuiFixture f;
    MainWindow& w = f.start();
    auto* bar = static_cast<QProgressBar*>(w.control(1014));
    std::thread worker([&] {
        ProgressSink& sink = w.progressSink();
        sink.setRange(0, 10);
        for (int i = 0; i < 4; ++i) sink.step();
        sink.setPosition(2);
        for (int i = 0; i < 3; ++i) sink.step();
    });
    worker.join();
    QTRY_COMPARE(bar->value(), 5);
    std::thread more([&] {
        for (int i = 0; i < 20; ++i) w.progressSink().step();
        w.progressSink().setRange(0, 40);
        w.progressSink().step();
    });
    more.join();
    QTRY_COMPARE(bar->maximum(), 40);
    QTRY_COMPARE(bar->value(), 11);
}

QTEST_MAIN(ThreadsTest)
#include "tst_threads.moc"
