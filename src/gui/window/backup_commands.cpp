#include "gui/window/backup_commands.h"

#include <mutex>
#include <sstream>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "gui/dialogs/folder_chooser.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/main_window.h"
#include "p2k/transfer_watch.h"
#include "panes/drive_entries.h"

namespace mdk {
namespace {

constexpr size_t kFailuresShown = 10;

// Progress of a run on the worker thread, handed to the window's progress bar (it posts
// to the GUI thread) and kept as the wait dialog's line. The status bar keeps its own
// texts (volume, model): progress never goes there.
class WindowProgress final : public RunObserver {
public:
    explicit WindowProgress(ProgressSink& bar) : bar_(bar) {}
    void progress(const RunProgress& state) override {
        if (state.count != count_) {
            count_ = state.count;
            bar_.setRange(0, static_cast<int>(state.count));
        }
        bar_.setPosition(static_cast<int>(state.index));
        std::lock_guard lock(mutex_);
        line_ = state.phase + "  " + progressText(state);
    }
    std::string line() const {
        std::lock_guard lock(mutex_);
        return line_;
    }

private:
    ProgressSink& bar_;
    size_t count_ = 0;
    mutable std::mutex mutex_;
    std::string line_;
};

// The text without its lines that begin with prefix.
std::string withoutLines(const std::string& text, const std::string& prefix) {
    std::string out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0) out += line + "\n";
    }
    return out;
}

// The file at hand moves block by block.
std::string withFileBytes(const std::string& line, const TransferSnapshot& file) {
    if (file.fileIndex == 0 || file.fileDone >= file.fileSize) return line;
    return line + "  " + byteCountText(file.fileDone) + " of " + byteCountText(file.fileSize);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The three steps of a restore from the window: the files; which seem records differ
// (read, nothing written); the seem records, once the user has said yes to them.
enum class Part { Files, SeemCheck, Seems };

RestoreOptions restoreOptions(const std::string& folder, Part part) {
    RestoreOptions options;
    options.folder = folder;
    options.files = part == Part::Files;
    options.seems = part != Part::Files;
    options.dryRun = part == Part::SeemCheck;
    if (part == Part::Seems) {
        options.confirmSeems = [](const std::vector<std::string>&) { return true; };
    }
    return options;
}

}  // namespace

// What a run's job and its after-job share; lives until both have ended. The dialog's
// Cancel sets cancel: the run stops between two files, and the watch on the command set
// stops the file at hand between two blocks.
struct BackupCommands::Run {
    std::atomic<bool> cancel{false};
    std::unique_ptr<WindowProgress> progress;
    std::unique_ptr<TransferWatch> watch;
    BackupSummary backup;
    RestoreReport restore;
    RestoreReport seemCheck;
};

BackupCommands::BackupCommands(AppContext& context, MainWindow& window, WorkerRunner& workers)
    : context_(context), window_(window), workers_(workers), lastFolder_(homeFolder()) {
    chooseFolder_ = [this](const std::string& title, const std::string& start) {
        return chooseFolderWithDialog(&window_, title, start);
    };
}

std::optional<std::string> BackupCommands::chooseFolder(const std::string& title,
                                                        bool makeMissing) {
    auto folder = chooseFolder_(title, lastFolder_);
    if (!folder || folder->empty()) return std::nullopt;
    if (makeMissing && !makeFolderIfMissing(context_.prompter, title, *folder)) return std::nullopt;
    lastFolder_ = *folder;
    return folder;
}

void BackupCommands::install() {
    window_.setCommandHandler(ids::kMenuBackupPhone, [this] { backUpPhone(); });
    window_.setCommandHandler(ids::kMenuRestorePhone, [this] { restorePhone(); });
}

BackupPhone BackupCommands::phone() {
    return {context_.commands, context_.catalogue, context_.runSettings, context_.clock};
}

std::shared_ptr<BackupCommands::Run> BackupCommands::newRun() {
    auto run = std::make_shared<Run>();
    run->progress = std::make_unique<WindowProgress>(window_.progressSink());
    run->watch = std::make_unique<TransferWatch>(context_.clock, &run->cancel);
    return run;
}

void BackupCommands::runWatched(const std::string& command, const std::shared_ptr<Run>& run,
                                std::function<void()> job, std::function<void()> afterJob) {
    CommandSet& commands = context_.commands;
    workers_.run(command,
                 [&commands, run, job = std::move(job)] {
                     commands.setTransferWatch(run->watch.get());
                     job();
                     commands.setTransferWatch(nullptr);
                 },
                 std::move(afterJob),
                 {[run] { return withFileBytes(run->progress->line(), run->watch->snapshot()); },
                  [run] { run->cancel = true; }});
}

void BackupCommands::backUpPhone() {
    if (workers_.refuseIfBusy("Backup phone")) return;
    auto folder = chooseFolder("Backup phone: choose the backup folder", true);
    if (!folder) return;
    auto run = newRun();
    BackupOptions options{*folder, seemListNumbers(context_.seemLists)};
    context_.log.logLine("Backup of the phone into " + *folder);
    runWatched(
        "Backup phone", run,
        [this, run, options] {
            BackupPhone p = phone();
            run->backup = runBackup(p, options, {&run->cancel, run->progress.get()});
        },
        [this, run] {
            const BackupSummary& s = run->backup;
            showResult("Backup phone", s.error.empty() ? summaryText(s) : s.error + "\n",
                       s.failures);
        });
}

void BackupCommands::restorePhone() {
    if (workers_.refuseIfBusy("Restore phone")) return;
    auto folder = chooseFolder("Restore phone: choose the backup folder", false);
    if (!folder) return;
    auto run = newRun();
    const std::string dir = *folder;
    context_.log.logLine("Restore of the phone from " + dir);
    runWatched(
        "Restore phone", run,
        [this, run, dir] {
            BackupPhone p = phone();
            const RunControl control{&run->cancel, run->progress.get()};
            run->restore = restoreBackup(p, restoreOptions(dir, Part::Files), control);
            if (!run->restore.error.empty()) return;
            // Which seem records differ: read now, written only after the user's yes.
            run->seemCheck = restoreBackup(p, restoreOptions(dir, Part::SeemCheck), control);
        },
        [this, run, dir] {
            const RestoreReport& r = run->restore;
            if (!r.error.empty()) return showResult("Restore phone", r.error + "\n", {});
            std::vector<std::string> failures = r.failures;
            const RestoreReport& seems = run->seemCheck;
            failures.insert(failures.end(), seems.failures.begin(), seems.failures.end());
            std::string text = withoutLines(restoreText(r, false), "Seem records:");
            if (!seems.seemsRefused.empty()) text += seems.seemsRefused + "\n";
            showResult("Restore phone", text, failures);
            if (!seems.seemsWritten.empty() && seems.seemsRefused.empty()) {
                restoreSeems(dir, seems.seemsWritten);
            }
        });
}

void BackupCommands::restoreSeems(const std::string& folder,
                                  const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) list += "\n" + name;
    const PromptAnswer answer = context_.prompter.ask(
        {"Restore phone",
         std::to_string(names.size()) +
             " seem record(s) of the phone differ from the backup. Write them?" + list,
         PromptButtons::YesNo, PromptIcon::Question});
    if (answer != PromptAnswer::Yes) {
        context_.log.logLine("Seems not written.");
        return;
    }
    auto run = newRun();
    runWatched(
        "Restore phone", run,
        [this, run, folder] {
            BackupPhone p = phone();
            run->restore = restoreBackup(p, restoreOptions(folder, Part::Seems),
                                         {&run->cancel, run->progress.get()});
        },
        [this, run] {
            const RestoreReport& r = run->restore;
            showResult(
                "Restore phone",
                r.error.empty() ? withoutLines(restoreText(r, false), "Files:") : r.error + "\n",
                r.failures);
        });
}

void BackupCommands::showResult(const std::string& title, const std::string& text,
                                const std::vector<std::string>& failures) {
    for (const auto& line : linesOf(text)) context_.log.logLine(line);
    for (const auto& failure : failures) context_.log.logLine("Failed: " + failure);
    std::string shown = text;
    for (size_t i = 0; i < failures.size() && i < kFailuresShown; ++i) {
        shown += "Failed: " + failures[i] + "\n";
    }
    if (failures.size() > kFailuresShown) {
        shown +=
            "... and " + std::to_string(failures.size() - kFailuresShown) + " more (see the log)\n";
    }
    context_.prompter.ask({title, shown, PromptButtons::Ok,
                           failures.empty() ? PromptIcon::Information : PromptIcon::Warning});
}

}  // namespace mdk
