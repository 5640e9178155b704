#include "gui/panes/worker_runner.h"

#include <QMetaObject>

#include "base/event_log.h"

namespace mdk {

struct WorkerRunner::Job {
    std::atomic<bool> done{false};
    bool finished = false;  // afterJob has run (GUI thread only)
    std::function<void()> afterJob;
};

WorkerRunner::WorkerRunner(EventLog& log, QWidget* dialogParent)
    : log_(log), dialogParent_(dialogParent) {}

WorkerRunner::~WorkerRunner() {
    if (thread_.joinable()) thread_.join();
}

bool WorkerRunner::busy() const {
    return current_ && !current_->done;
}

bool WorkerRunner::refuseIfBusy(const std::string& command) {
    if (!busy()) return false;
    log_.logLine("A phone operation is still running: " + command + " refused.");
    return true;
}

bool WorkerRunner::run(const std::string& command, std::function<void()> job,
                       std::function<void()> afterJob, WaitProgress progress) {
    if (refuseIfBusy(command)) return false;
    if (thread_.joinable()) thread_.join();  // the previous worker has ended
    auto state = std::make_shared<Job>();
    state->afterJob = std::move(afterJob);
    current_ = state;
    thread_ = std::thread([this, state, job = std::move(job)] {
        job();
        state->done = true;
        QMetaObject::invokeMethod(
            this, [this, state] { finish(state); }, Qt::QueuedConnection);
    });
    if (showDialog_) {
        WaitDialog dialog([state] { return state->done.load(); }, dialogParent_,
                          std::move(progress));
        dialog.exec();
    } else {
        thread_.join();
    }
    if (state->done) finish(state);
    return true;
}

void WorkerRunner::finish(const std::shared_ptr<Job>& job) {
    if (job->finished) return;
    job->finished = true;
    if (job->afterJob) job->afterJob();
    emit jobFinished();
}

}  // namespace mdk
