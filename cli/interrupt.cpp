#include "cli/interrupt.h"

#include "cli/session.h"
#include "p2k/command_set.h"

namespace mdk::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted = true;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    interrupted = false;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous_);
}

InterruptCatcher::~InterruptCatcher() {
    ::sigaction(SIGINT, &previous_, nullptr);
}

const std::atomic<bool>* InterruptCatcher::flag() const {
    return &interrupted;
}

TransferRun::TransferRun(Session& session, size_t files, uint64_t bytes)
    : session_(session), watch_(session.clock(), interrupt_.flag()) {
    watch_.beginRun(files, bytes);
    ConsoleView& view = session_.view();
    view.setTransferActive(true);
    watch_.setObserver([&view](const TransferSnapshot& state) { view.showTransfer(state); });
    session_.commands().setTransferWatch(&watch_);
}

TransferRun::~TransferRun() {
    session_.commands().setTransferWatch(nullptr);
    session_.view().setTransferActive(false);
    session_.view().finishProgress();
}

}  // namespace mdk::cli
