#include "gui/panes/file_commands.h"

#include <sys/stat.h>

#include <QFile>
#include <filesystem>
#include <system_error>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "gui/dialogs/name_dialogs.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_host.h"
#include "gui/panes/pane_list.h"
#include "gui/panes/worker_runner.h"
#include "p2k/file_transfer.h"
#include "p2k/transport.h"
#include "panes/pc_listing.h"
#include "panes/pc_panes.h"
#include "panes/phone_rows.h"
#include "panes/phone_source.h"
#include "platform/folder_removal.h"

namespace mdk {

namespace {

// The value phone folders are created and removed with.
constexpr uint32_t kFolderValue = 4;

}  // namespace

FileCommands::FileCommands(AppContext& context, PaneHost& host, WorkerRunner& workers,
                           PhoneSource& phone)
    : context_(context),
      host_(host),
      workers_(workers),
      phone_(phone),
      transfers_(context, host, workers, phone) {
    askName_ = [this] { return NewFolderDialog::ask(&host_.hostWindow()); };
    reconnect_ = [this] { context_.log.logLine("Re-Connect: no device connection yet."); };
    trash_ = [](const std::string& path) {
        return QFile::moveToTrash(QString::fromStdString(path));
    };
}

void FileCommands::install() {
    using namespace ids;
    host_.setCommandHandler(kCopy, [this] { transfers_.copy(); });
    host_.setCommandHandler(kDelete, [this] { deleteSelection(); });
    host_.setCommandHandler(kNewFolder, [this] { newFolder(); });
    host_.setCommandHandler(kMenuReconnect, [this] { reconnect(); });
    host_.setCommandHandler(kRestart, [this] { restartPhone(); });
    host_.setCommandHandler(kMenuRestartPhone, [this] { restartPhone(); });
    host_.setCommandHandler(kMenuAtMode, [this] { switchToAtMode(); });
    host_.setAttributeWriter([this](const std::string& path, uint32_t value, uint32_t word) {
        writeAttributes(path, value, word);
    });
}

// ---- Delete -----------------------------------------------------------------------------

void FileCommands::deleteSelection() {
    const Side side = context_.panes.active();
    const LocationKind kind = context_.panes.kind(side);
    if (kind != LocationKind::Pc && workers_.refuseIfBusy("Delete")) return;
    PaneList* lists[] = {host_.pane(Side::Left).widgets().list,
                         host_.pane(Side::Right).widgets().list};
    for (const PaneRow& row : transfers_.selectedRows()) {
        const PromptAnswer answer =
            context_.prompter.ask({context_.log.message(55), deleteQuestion(kind, row),
                                   PromptButtons::YesNo, PromptIcon::Question});
        if (answer != PromptAnswer::Yes) continue;
        for (PaneList* list : lists) list->hide();
        deleteRow(side, kind, row);
        for (PaneList* list : lists) list->show();
    }
    if (kind == LocationKind::PhoneVolume) {
        showPhoneRows(side);
        return;
    }
    if (kind != LocationKind::Pc) return;
    host_.pcPanes().listPcFolder(side);
    host_.pane(side).sortRenumberFocus();
    const Side other = otherSide(side);
    if (context_.panes.kind(other) == LocationKind::Pc &&
        context_.panes.pcPath(other) == context_.panes.pcPath(side)) {
        host_.pcPanes().listPcFolder(other);
        host_.pane(other).sortRenumberFocus();
    }
}

void FileCommands::deleteRow(Side side, LocationKind kind, const PaneRow& row) {
    if (kind == LocationKind::PhoneVolume) {
        deletePhoneRow(side, row);
        return;
    }
    if (kind != LocationKind::Pc) return;  // seems are not deleted
    const std::string path = childPath(context_.panes.pcPath(side), row.name);
    context_.log.logLine(path);
    if (trash_(path)) return;
    deletePcRow(path, row.isFolder());
}

std::string FileCommands::deleteQuestion(LocationKind kind, const PaneRow& row) const {
    std::string text = context_.log.message(54) + row.name;
    if (kind != LocationKind::Pc) return text;
    return text + (row.isFolder() ? "\nThe folder goes to the trash with everything in it."
                                  : "\nThe file goes to the trash.");
}

void FileCommands::deletePcRow(const std::string& path, bool folder) {
    // No trash here: nothing goes for good without a question that says what goes. A link
    // to a folder loses only the link.
    std::error_code code;
    folder = folder && std::filesystem::is_directory(std::filesystem::symlink_status(path, code));
    std::string question = "There is no trash to move " + path + " to. Delete it for good?";
    if (folder) {
        const FolderContents contents = countFolderContents(path);
        question = "There is no trash to move the folder " + path +
                   " to. Delete it for good with the " + std::to_string(contents.files) +
                   " files it holds?";
    }
    if (context_.prompter.ask({context_.log.message(55), question, PromptButtons::YesNo,
                               PromptIcon::Warning}) != PromptAnswer::Yes) {
        context_.log.logLine("Not deleted: " + path);
        return;
    }
    std::string error;
    if (folder) {
        if (!removeFolderOnItsFileSystem(path, error)) {
            context_.log.logLine("Cannot delete all of " + path + ": " + error);
        }
        return;
    }
    if (!std::filesystem::remove(path, code)) {
        context_.log.logLine("Cannot delete " + path + ": " + code.message());
    }
}

void FileCommands::deletePhoneRow(Side side, const PaneRow& row) {
    const std::string path = context_.panes.phoneFolder(side) + row.name;
    context_.log.logMessage(33, path);
    CommandSet& commands = context_.commands;
    const int result = row.isFolder() ? commands.phoneRemoveFolder(path, kFolderValue)
                                      : commands.phoneDeleteFile(path);
    // The listing loses the row only when the phone really removed it.
    if (result == 0) {
        context_.catalogue.markCatalogueRecord(path);
    } else {
        context_.log.logLine("Not deleted: " + path);
    }
    context_.catalogue.refreshPhoneStatus();
}

// ---- New folder -------------------------------------------------------------------------

void FileCommands::newFolder() {
    const Side side = context_.panes.active();
    const LocationKind kind = context_.panes.kind(side);
    if (kind == LocationKind::SeemFolder) return;
    if (kind == LocationKind::PhoneVolume && workers_.refuseIfBusy("New folder")) return;
    const auto name = askName_();
    if (!name) return;  // Cancel ends the command
    if (!usableFileName(*name)) {
        context_.log.logLine("Not a folder name: " + *name);
        return;
    }
    if (kind == LocationKind::Pc) {
        newPcFolder(side, *name);
    } else {
        newPhoneFolder(side, *name);
    }
}

void FileCommands::newPcFolder(Side side, const std::string& name) {
    const std::string path = childPath(context_.panes.pcPath(side), name);
    context_.log.logLine(path);
    if (::mkdir(path.c_str(), 0777) != 0) context_.log.logLine("Cannot create " + path);
    host_.pcPanes().listPcFolder(side);
    host_.pane(side).sortRenumberFocus();
}

void FileCommands::newPhoneFolder(Side side, const std::string& name) {
    const std::string path = context_.panes.phoneFolder(side) + name;
    context_.log.logLine(path);
    const auto placeholder = createPhoneFolder(context_.commands, path);
    context_.catalogue.refreshPhoneStatus();
    if (placeholder) {
        context_.catalogue.appendCatalogueRecord(*placeholder, 1, kUploadedAttributeWord);
    } else {
        context_.log.logLine("Cannot create the phone folder " + path);
    }
    showPhoneRows(side);
}

void FileCommands::showPhoneRows(Side side) {
    phone_.showPhoneFolder(side);
    host_.pane(side).sortRenumberFocus();
}

// ---- the phone as a whole ---------------------------------------------------------------

void FileCommands::reconnect() {
    if (workers_.refuseIfBusy("Re-Connect")) return;
    reconnect_();
}

void FileCommands::switchToAtMode() {
    if (workers_.refuseIfBusy("Switch to AT mode")) return;
    PhoneSession session(context_.commands.transport());
    context_.commands.switchToAtMode();
}

void FileCommands::restartPhone() {
    if (workers_.refuseIfBusy("Restart phone")) return;
    context_.commands.phoneRestart();
}

void FileCommands::writeAttributes(const std::string& path, uint32_t value,
                                   uint32_t catalogueWord) {
    if (workers_.refuseIfBusy("Attributes")) return;
    CommandSet& commands = context_.commands;
    bool changed = false;
    {
        PhoneSession session(commands.transport());
        const bool opened = commands.phoneOpenFile(path, value) == 0;
        changed = opened && commands.phoneCloseFile() == 0;
    }
    if (!changed) {
        context_.log.logLine("Attributes of " + path + " not changed.");
        return;
    }
    context_.catalogue.setCatalogueAttributes(path, static_cast<uint8_t>(value & 0xFF),
                                              catalogueWord);
}

}  // namespace mdk
