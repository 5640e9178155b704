#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "backup/phone_backup.h"
#include "backup/phone_restore.h"
#include "gui/dialogs/folder_chooser.h"

namespace mdk {

class AppContext;
class MainWindow;
class WorkerRunner;

// The menu items "Backup phone…" and "Restore phone…": a folder chooser, then the run on
// the window's worker runner behind the wait dialog. A restore first puts the files back
// and reads which seem records differ; they are written only after the user says yes,
// and only onto a phone of the backup's model.
class BackupCommands {
public:
    using FolderChooser = mdk::FolderChooser;

    BackupCommands(AppContext& context, MainWindow& window, WorkerRunner& workers);

    // Installs the two menu handlers.
    void install();
    void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }

    void backUpPhone();
    void restorePhone();

    // Where the chooser starts: the last backup folder of this run, else the home folder.
    const std::string& startFolder() const { return lastFolder_; }

private:
    struct Run;
    // The chooser, then for a backup a folder that does not exist is made after a question.
    std::optional<std::string> chooseFolder(const std::string& title, bool makeMissing);
    BackupPhone phone();
    std::shared_ptr<Run> newRun();
    // The job on the worker behind the wait dialog, with the run's progress line and Cancel.
    void runWatched(const std::string& command, const std::shared_ptr<Run>& run,
                    std::function<void()> job, std::function<void()> afterJob);
    void restoreSeems(const std::string& folder, const std::vector<std::string>& names);
    void showResult(const std::string& title, const std::string& text,
                    const std::vector<std::string>& failures);

    AppContext& context_;
    MainWindow& window_;
    WorkerRunner& workers_;
    FolderChooser chooseFolder_;
    std::string lastFolder_;
};

}  // namespace mdk
