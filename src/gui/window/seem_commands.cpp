#include "gui/window/seem_commands.h"

#include <QFileDialog>
#include <memory>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "gui/dialogs/seem_compare_dialog.h"
#include "gui/dialogs/seem_functions_dialog.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/main_window.h"
#include "seem/seem_discovery.h"

namespace mdk {

SeemCommands::SeemCommands(AppContext& context, MainWindow& window, WorkerRunner& workers)
    : context_(context), window_(window), workers_(workers) {
    chooseFile_ = seemFileDialogs(&window_);
    runDialog_ = [](QDialog& dialog) { dialog.exec(); };
    chooseFolder_ = [this](const std::string& title) -> std::optional<std::string> {
        const QString folder =
            QFileDialog::getExistingDirectory(&window_, QString::fromStdString(title));
        if (folder.isEmpty()) return std::nullopt;
        return folder.toStdString();
    };
}

void SeemCommands::install() {
    using namespace ids;
    window_.setCommandHandler(kMenuDiscoverNumbers, [this] { discoverNumbers(); });
    window_.setCommandHandler(kMenuOldSeemDialog, [this] { seemManager(); });
    window_.setCommandHandler(kSeemFunc, [this] { seemFunctions(); });
    window_.setCommandHandler(kMenuSeemFunctions, [this] { seemFunctions(); });
    window_.setCommandHandler(kMenuCompareSeems, [this] { compareSeems(); });
    if (QWidget* button = window_.control(kSeemFunc)) button->setEnabled(true);
}

bool SeemCommands::linkOpen() const {
    return context_.driver.linkHandle() != 0;
}

void SeemCommands::discoverNumbers() {
    if (workers_.refuseIfBusy("Discover numbers")) return;
    if (!linkOpen()) {
        context_.log.logLine("Discover numbers: no phone connected; the seem list is kept.");
        return;
    }
    context_.log.showLine(context_.log.message(kMsgDiscoveryHeader));
    auto found = std::make_shared<std::vector<uint16_t>>();
    ProgressSink* progress = &window_.progressSink();
    workers_.run(
        "Discover numbers",
        [this, found, progress] {
            *found = discoverSeems(context_.commands, context_.driver, progress);
        },
        [this, found] { finishDiscovery(*found); });
}

void SeemCommands::finishDiscovery(const std::vector<uint16_t>& found) {
    std::string error;
    if (!writeSeemList(context_.files.writablePathOf(SeemLists::kSeemListFile), found, error)) {
        context_.log.logLine(error);
        return;
    }
    context_.seemLists.loadSeemList(context_.files.readFolderOf(SeemLists::kSeemListFile),
                                    context_.prompter);
}

void SeemCommands::seemManager() {
    if (workers_.refuseIfBusy("Seem manager")) return;
    SeemManagerDialog dialog(context_.commands, context_.prompter, chooseFile_, &window_);
    runDialog_(dialog);
}

void SeemCommands::seemFunctions() {
    if (workers_.refuseIfBusy("Seem functions")) return;
    SeemFunctionsDialog dialog(
        context_.commands, context_.files.dataFolder(), [this] { return linkOpen(); },
        context_.prompter, &window_);
    runDialog_(dialog);
}

void SeemCommands::compareSeems() {
    if (workers_.refuseIfBusy("Compare seems")) return;
    SeemCompareDialog dialog(context_, chooseFolder_, runDialog_, &window_);
    runDialog_(dialog);
}

}  // namespace mdk
