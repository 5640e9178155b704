// The two places where worker threads meet the GUI thread: the worker runner (a job on its
// thread, the wait dialog, the job's ending handed back to the GUI thread) and the log list
// (lines from any thread). Small on purpose: the ThreadSanitizer build runs this test too.
#include <QApplication>
#include <QtTest>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/event_log.h"
#include "base/messages.h"
#include "gui/dialogs/wait_dialog.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/log_list.h"

using namespace mdk;

namespace {

// The wait dialog the runner shows, once it is up.
WaitDialog* openWaitDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<WaitDialog*>(widget);
        if (dialog && dialog->isVisible()) return dialog;
    }
    return nullptr;
}

}  // namespace

class WorkerThreadsTest : public QObject {
    Q_OBJECT
private slots:
    void jobResultsReachTheGuiThreadAfterTheDialog();
    void dialogClosedEarlyHandsTheEndOverLater();
    void linesFromSeveralWorkersKeepEachWorkersOrder();
};

void WorkerThreadsTest::jobResultsReachTheGuiThreadAfterTheDialog() {
    MessageTable messages;
    EventLog log(messages);
    QWidget parent;
    WorkerRunner runner(log, &parent);
    std::vector<int> produced;  // written by the worker only, read after it has ended
    std::thread::id afterJobThread;
    size_t seenAfterJob = 0;
    QVERIFY(runner.run(
        "Read",
        [&] {
            for (int i = 0; i < 1000; ++i) produced.push_back(i);
        },
        [&] {
            afterJobThread = std::this_thread::get_id();
            seenAfterJob = produced.size();
        }));
    QCOMPARE(seenAfterJob, size_t(1000));
    QVERIFY(afterJobThread == std::this_thread::get_id());
    QVERIFY(!runner.busy());
}

void WorkerThreadsTest::dialogClosedEarlyHandsTheEndOverLater() {
    MessageTable messages;
    EventLog log(messages);
    LogList list;
    log.setView(&list);
    QWidget parent;
    WorkerRunner runner(log, &parent);
    std::atomic<bool> release{false};
    std::string result;  // the worker's, read by afterJob on the GUI thread
    bool afterJobRan = false;
    QTimer::singleShot(150, [] {
        if (WaitDialog* dialog = openWaitDialog()) dialog->reject();  // the close box
    });
    QVERIFY(runner.run(
        "Download",
        [&] {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            result = "file read";
        },
        [&] { afterJobRan = result == "file read"; }));
    // The dialog is gone and the worker still runs: new phone commands are refused.
    QVERIFY(runner.busy());
    QVERIFY(!afterJobRan);
    QVERIFY(!runner.run("Upload", [] {}));
    QCOMPARE(list.lines().last(), QString("A phone operation is still running: Upload refused."));
    QSignalSpy finished(&runner, &WorkerRunner::jobFinished);
    release = true;
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(afterJobRan);
    QVERIFY(!runner.busy());
    // The next job runs as usual.
    bool secondRan = false;
    QVERIFY(runner.run(
        "Upload", [] {}, [&] { secondRan = true; }));
    QVERIFY(secondRan);
}

void WorkerThreadsTest::linesFromSeveralWorkersKeepEachWorkersOrder() {
    MessageTable messages;
    EventLog log(messages);
    LogList list;
    log.setView(&list);
    constexpr int kLines = 300;
    std::vector<std::thread> workers;
    for (const char* name : {"a", "b", "c"}) {
        workers.emplace_back([&log, name] {
            for (int i = 0; i < kLines; ++i) log.logLine(std::string(name) + std::to_string(i));
        });
    }
    for (int i = 0; i < kLines; ++i) log.logLine("gui" + std::to_string(i));
    for (std::thread& worker : workers) worker.join();
    QTRY_COMPARE(list.lines().size(), 4 * kLines);
    // Lines of different threads interleave; each thread's own come in its order.
    for (const QString name : {"a", "b", "c", "gui"}) {
        int next = 0;
        for (const QString& line : list.lines()) {
            if (line == name + QString::number(next)) ++next;
        }
        QCOMPARE(next, kLines);
    }
}

QTEST_MAIN(WorkerThreadsTest)
#include "tst_worker_threads.moc"
