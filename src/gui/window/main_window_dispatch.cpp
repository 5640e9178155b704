// Command dispatch: menu items, buttons and accelerators; command availability; the
// commands the main window carries out itself.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "app/dispatch_tables.h"
#include "gui/dialogs/about_dialog.h"
#include "gui/dialogs/attributes_dialog.h"
#include "gui/dialogs/usb_tester_dialog.h"
#include "gui/panes/location_combo.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_list.h"
#include "gui/panes/pane_rows_model.h"
#include "gui/window/main_window.h"

namespace mdk {

using namespace ids;

void MainWindow::registerHandlers() {
    // View, Edit, Copy, Delete, New Folder and Re-Connect are installed by the phone side
    // and the file commands (setCommandHandler), Attributes with its writer.
    handlers_[kTesterKey] = [this] {
        if (context_.driver.linkHandle() > 1) openUsbTester();
    };
    handlers_[kRestart] = [this] { context_.commands.phoneRestart(); };
    handlers_[kMenuRestartPhone] = handlers_[kRestart];
    handlers_[kMenuAtMode] = [this] { context_.commands.switchToAtMode(); };
    handlers_[kMenuAddFavourite] = [this] { addFavourite(); };
    handlers_[kMenuDeleteFavourite] = [this] { deleteFavourite(); };
    handlers_[kMenuRestartApp] = [this] { restartApplication(); };
    handlers_[kMenuExit] = [this] { close(); };
    handlers_[kExitKey] = [this] { close(); };
    handlers_[kMenuAbout] = [this] { showAbout(); };
    handlers_[kMenuOptions] = [this] { showOptions(); };
    handlers_[kLeftReread] = [this] { pane(Side::Left).reread(); };
    handlers_[kRightReread] = [this] { pane(Side::Right).reread(); };
    handlers_[kRereadKey] = [this] { rereadActive(); };
    handlers_[kSwitchPaneKey] = [this] { switchPane(); };
    handlers_[kLeftComboKey] = [this] { openLocationList(Side::Left); };
    handlers_[kRightComboKey] = [this] { openLocationList(Side::Right); };
    handlers_[kParentKey] = [this] { goParent(); };
    handlers_[kMarkRowKey] = [this] { markRow(); };
}

void MainWindow::dispatchCommand(int id) {
    const int command = buttonForMenuItem(id).value_or(id);
    emit commandDispatched(command);
    auto handler = handlers_.find(command);
    if (handler != handlers_.end() && handler->second) handler->second();
}

void MainWindow::paneNotified(Side side) {
    context_.panes.activePane = sideIndex(side);
    if (!paneSwitch_) applyAvailability(side);
}

void MainWindow::applyAvailability(Side side) {
    pane(side).widgets().path->setEnabled(true);
    pane(otherSide(side)).widgets().path->setEnabled(false);
    const Availability table = commandAvailability(side, context_.panes.kind(side));
    for (int id : table.enable) control(id)->setEnabled(true);
    for (int id : table.disable) control(id)->setEnabled(false);
    for (int position : table.popupEnable)
        popupItems_[static_cast<size_t>(position)]->setEnabled(true);
    for (int position : table.popupGrey)
        popupItems_[static_cast<size_t>(position)]->setEnabled(false);
}

void MainWindow::switchPane() {
    paneSwitch_ = true;
    const bool leftHasFocus = pane(Side::Left).widgets().list->hasFocus();
    const Side target = leftHasFocus ? Side::Right : Side::Left;
    context_.panes.activePane = sideIndex(target);
    pane(target).widgets().list->setFocus(Qt::TabFocusReason);
    pane(target).widgets().path->setEnabled(true);
    pane(otherSide(target)).widgets().path->setEnabled(false);
}

void MainWindow::openLocationList(Side side) {
    LocationCombo* combo = pane(side).widgets().combo;
    combo->setFocus();
    combo->showPopup();
}

void MainWindow::goParent() {
    pane(context_.panes.active()).goParent();
}

void MainWindow::markRow() {
    PaneController& left = pane(Side::Left);
    if (left.widgets().list->hasFocus()) left.markRowAndAdvance();
}

void MainWindow::rereadActive() {
    const Side side = context_.panes.active();
    dispatchCommand(side == Side::Left ? kLeftReread : kRightReread);
}

void MainWindow::attributesOfSelection() {
    const Side side = context_.panes.active();
    if (context_.panes.kind(side) != LocationKind::PhoneVolume) return;
    PaneController& controller = pane(side);
    // The rows are taken first: each dialog is followed by a new listing.
    std::vector<PaneRow> chosen;
    for (int row : controller.selectedRows()) {
        const auto& rows = context_.panes.rows(side);
        if (row >= 0 && static_cast<size_t>(row) < rows.size()) {
            chosen.push_back(rows[static_cast<size_t>(row)]);
        }
    }
    for (const PaneRow& row : chosen) {
        AttributesDialog dialog(
            attributeParts(row.attributes, context_.runSettings.read().usblanP2k05()), row.name,
            context_.panes.pathText(side), attributes_, attributeWriter_, context_.prompter, this);
        dialog.exec();
        if (phone_) phone_->showPhoneFolder(side);
        controller.sortRenumberFocus();
    }
}

void MainWindow::addFavourite() {
    if (!pcPanes().addFavourite(context_.config)) {
        context_.prompter.ask({"Warning",
                               "This folder path is too long to keep as a favourite folder.",
                               PromptButtons::Ok, PromptIcon::Warning});
    }
}

void MainWindow::deleteFavourite() {
    pcPanes().deleteFavourite(context_.config);
}

void MainWindow::showAbout() {
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::openUsbTester() {
    UsbTesterDialog dialog(
        {context_.driver, context_.transport, context_.log, context_.prompter, context_.usbTester,
         context_.config.interfaceIndex, services_.workerRunning},
        this);
    dialog.exec();
}

void MainWindow::dropFiles(Side side, const QStringList& files) {
    // The files are handled last first, as the drop lists them in reverse.
    PaneList* lists[] = {pane(Side::Left).widgets().list, pane(Side::Right).widgets().list};
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        for (PaneList* list : lists) list->hide();
        const std::string file = files[i].toStdString();
        switch (pcPanes().dropFileOnPane(side, file)) {
            case DropOutcome::CopiedToPc:
                pane(side).showRows();
                pane(side).sortRenumberFocus();
                break;
            case DropOutcome::ToPhone:
                if (phone_) phone_->dropOnPhone(side, file);
                pane(side).sortRenumberFocus();
                break;
            case DropOutcome::Ignored:
                break;
        }
        for (PaneList* list : lists) list->show();
    }
    pane(side).widgets().list->setFocus();
}

}  // namespace mdk
