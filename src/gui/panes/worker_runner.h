#pragma once
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "gui/dialogs/wait_dialog.h"

class QWidget;

namespace mdk {

class EventLog;

// Runs one long phone operation at a time on a worker thread while the modal wait dialog
// (1700) is shown. The dialog may be closed before the worker ends; the operation's state
// then lives on until the worker has finished, and every new phone command is refused
// with a log line until then. Each run has its own done flag, so one worker's end never
// closes another's dialog.
class WorkerRunner final : public QObject {
    Q_OBJECT
public:
    WorkerRunner(EventLog& log, QWidget* dialogParent);
    ~WorkerRunner() override;

    // Starts job on the worker thread and shows the wait dialog until the job ends or the
    // user closes it. afterJob runs on the GUI thread once the job has ended: before run()
    // returns when the dialog closed on the job's end, later when it was closed early.
    // False, with a log line naming command, when a worker still runs. progress, when
    // given, puts the job's progress line and a Cancel button into the dialog.
    bool run(const std::string& command, std::function<void()> job,
             std::function<void()> afterJob = {}, WaitProgress progress = {});
    bool busy() const;
    // Logs and returns true when a worker still runs: phone commands call it first.
    bool refuseIfBusy(const std::string& command);
    // Tests run without the dialog: run() then waits for the job.
    void setShowDialog(bool show) { showDialog_ = show; }

signals:
    // A job's afterJob has run (also for jobs whose dialog was closed early).
    void jobFinished();

private:
    struct Job;
    void finish(const std::shared_ptr<Job>& job);

    EventLog& log_;
    QPointer<QWidget> dialogParent_;
    std::shared_ptr<Job> current_;
    std::thread thread_;
    bool showDialog_ = true;
};

}  // namespace mdk
