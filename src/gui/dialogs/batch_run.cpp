#include "gui/dialogs/batch_run.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>

#include "app/app_context.h"
#include "gui/dialogs/wait_dialog.h"
#include "platform/process_runner.h"

namespace mdk {
namespace {

constexpr int kCancelledMark = 999;
// How long Execute waits for an attach that is under way (the probe, identity, volumes).
constexpr qint64 kAttachWaitMs = 30000;
// How often a wait for a worker's end looks at its done flag.
constexpr int kDonePollMs = 20;

// Runs the GUI thread's events until flag is set (at once when it is set already).
void waitUntil(const std::atomic<bool>& flag) {
    if (flag.load()) return;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (flag.load()) loop.quit();
    });
    poll.start(kDonePollMs);
    loop.exec();
}

// The link of the program run: linkHandle, and over USB the end of the attach routine.
class WindowBatchLink final : public BatchLink {
public:
    WindowBatchLink(AppContext& context, QWidget* dialogParent, bool showWaitDialog)
        : context_(context), dialogParent_(dialogParent), showWaitDialog_(showWaitDialog) {}

    bool linkReady() override {
        if (context_.config.mode() != ConnectionMode::P2k) {
            return context_.driver.linkHandle() != 0;
        }
        QElapsedTimer waited;
        waited.start();
        while (attachUnderWay() && waited.elapsed() < kAttachWaitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        return context_.driver.linkHandle() != 0 && context_.link.phoneAttached;
    }

    void runTransfer(const std::function<void()>& body) override {
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread worker([&body, done] {
            try {
                body();
            } catch (const std::exception&) {
                // The body's result stays at its failure value; the line reports it.
            }
            *done = true;
        });
        if (showWaitDialog_) {
            WaitDialog wait([done] { return done->load(); }, dialogParent_);
            wait.exec();
        }
        // Closed early or not, the line's buffers live until the worker has ended. The
        // wait runs the event loop, so the batch dialog keeps painting meanwhile.
        waitUntil(*done);
        worker.join();
    }

private:
    bool attachUnderWay() const {
        return context_.driver.linkHandle() != 0 && !context_.link.phoneAttached;
    }

    AppContext& context_;
    QWidget* dialogParent_;
    bool showWaitDialog_;
};

bool waitingForUsblan(AppContext& context) {
    return context.config.mode() == ConnectionMode::P2k05OverUsblan &&
           context.driver.linkHandle() == 0;
}

}  // namespace

BatchRunResult runBatchPackage(AppContext& context, const std::string& packagePath,
                               const BatchRunHooks& hooks, QWidget* parent) {
    if (hooks.hideStartupPicture) hooks.hideStartupPicture();
    const std::vector<std::string> lines =
        readPackageFile(packagePath).value_or(std::vector<std::string>{});

    BatchRunResult result;
    PosixCommandRunner runner;
    BatchDialog::Hooks dialogHooks;
    dialogHooks.startLinkWatch = hooks.startLinkWatch;
    dialogHooks.cancelled = [&context] { context.link.phoneConnected = kCancelledMark; };
    std::unique_ptr<BatchDialog> dialog;
    dialogHooks.execute = [&](const std::vector<std::string>& listLines) {
        WindowBatchLink link(context, dialog.get(), hooks.showWaitDialog);
        BatchEngine engine({context.commands, context.catalogue, context.runSettings, context.log,
                            runner, context.clock, link},
                           packageFolder(packagePath));
        result.report = engine.run(listLines, hooks.relistRightPane);
    };
    dialog = std::make_unique<BatchDialog>(packagePath, lines, waitingForUsblan(context),
                                           std::move(dialogHooks), parent);
    dialog->exec();
    result.outcome = dialog->outcome();
    return result;
}

}  // namespace mdk
