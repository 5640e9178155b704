#pragma once
#include <functional>
#include <string>

#include "batch/batch_engine.h"
#include "gui/dialogs/batch_dialog.h"

class QWidget;

namespace mdk {

class AppContext;

// What the start with a package needs from the main window.
struct BatchRunHooks {
    // Starts the link watch of the configured mode without its once-only test (the device
    // connection's startLinkWatch(false)).
    std::function<void()> startLinkWatch;
    // Hides the main window's start-up picture.
    std::function<void()> hideStartupPicture;
    // Lists the right pane again from the catalogue, sorted and renumbered.
    std::function<void()> relistRightPane;
    // Tests run transfers without the wait dialog.
    bool showWaitDialog = true;
};

struct BatchRunResult {
    BatchDialog::Outcome outcome = BatchDialog::Outcome::Closed;
    // The report of the run (Execute only).
    BatchReport report;
};

// The start with a package: shows dialog 1600 on packagePath, owned by parent, and runs
// the package when the user presses Execute. The lines run only once a phone link is open
// and, over USB, its attach has finished; uploads and downloads run on a worker thread
// behind the wait dialog. Cancel sets phoneConnected to 999.
BatchRunResult runBatchPackage(AppContext& context, const std::string& packagePath,
                               const BatchRunHooks& hooks, QWidget* parent);

}  // namespace mdk
