#include "cli/backup_commands.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "backup/phone_backup.h"
#include "backup/phone_restore.h"
#include "cli/interrupt.h"
#include "cli/session.h"
#include "seem/seem_discovery.h"

namespace mdk::cli {
namespace {

// One progress line on a terminal, rewritten in place; nothing when stderr is a file.
class ConsoleProgress final : public RunObserver {
public:
    ConsoleProgress() : tty_(::isatty(STDERR_FILENO)) {}
    ~ConsoleProgress() override {
        if (shown_) std::fprintf(stderr, "\n");
    }
    void progress(const RunProgress& state) override {
        if (!tty_) return;
        std::string line = visibleText(state.phase + "  " + progressText(state));
        if (line.size() > 100) line = line.substr(0, 97) + "...";
        std::fprintf(stderr, "\r%-100s", line.c_str());
        shown_ = true;
    }

private:
    bool tty_;
    bool shown_ = false;
};

// The file transfers of a run: their per-file bars stay off while the run draws its own
// line, and Ctrl+C stops a file between two blocks as well as the run between two files.
class RunTransfers {
public:
    RunTransfers(Session& s, const InterruptCatcher& interrupt)
        : commands_(s.commands()), was_(commands_.progress()), watch_(s.clock(), interrupt.flag()) {
        commands_.setProgress(nullptr);
        commands_.setTransferWatch(&watch_);
    }
    ~RunTransfers() {
        commands_.setTransferWatch(nullptr);
        commands_.setProgress(was_);
    }
    RunTransfers(const RunTransfers&) = delete;
    RunTransfers& operator=(const RunTransfers&) = delete;

private:
    CommandSet& commands_;
    ProgressSink* was_;
    TransferWatch watch_;
};

void printFailures(const std::vector<std::string>& lines) {
    for (const auto& line : lines) std::fprintf(stderr, "failed: %s\n", visibleText(line).c_str());
}

std::vector<uint16_t> seemNumbers(Session& s, bool discover) {
    AppContext& context = s.context();
    if (discover) {
        auto found = discoverSeems(s.commands(), context.driver, &s.view());
        if (found.empty()) throw CommandError{"seem discovery found no seem on the phone"};
        return found;
    }
    if (context.seemLists.loadSeemList(context.files.readFolderOf(SeemLists::kSeemListFile),
                                       context.prompter) != 0) {
        throw CommandError{"Seem list file not found"};
    }
    return seemListNumbers(context.seemLists);
}

void runVerify(Session& s, const std::string& folder) {
    InterruptCatcher interrupt;
    ConsoleProgress progress;
    RunTransfers transfers(s, interrupt);
    BackupPhone phone = phoneOf(s);
    const VerifyReport report = verifyBackup(phone, folder, {interrupt.flag(), &progress});
    if (!report.error.empty()) throw CommandError{report.error};
    for (const auto& line : report.differences) {
        std::printf("differs: %s\n", visibleText(line).c_str());
    }
    std::printf("%d matched, %zu differ\n", report.matched, report.differences.size());
    if (report.cancelled) throw CommandError{"cancelled"};
    if (!report.ok()) throw CommandError{"the phone does not match the backup in " + folder};
}

void runBackup(Session& s, const std::string& folder, bool discover, bool seemsOnly) {
    BackupOptions options{folder, seemNumbers(s, discover), seemsOnly};
    InterruptCatcher interrupt;
    ConsoleProgress progress;
    RunTransfers transfers(s, interrupt);
    BackupPhone phone = phoneOf(s);
    // The phone-session lock is held by the run; the per-phone lock across programs was
    // taken when the session opened its link and lasts until the program ends.
    const BackupSummary summary = runBackup(phone, options, {interrupt.flag(), &progress});
    if (summary.error.empty() || summary.files.added + summary.files.changed > 0) {
        std::printf("%s", summaryText(summary).c_str());
    }
    printFailures(summary.failures);
    if (!summary.error.empty()) throw CommandError{summary.error};
    if (summary.cancelled) throw CommandError{"cancelled; " + folder + " holds what was stored"};
    if (summary.linkLost) throw CommandError{"the phone stopped answering"};
    if (!summary.ok()) throw CommandError{"not everything was stored"};
}

}  // namespace

BackupPhone phoneOf(Session& s) {
    return {s.commands(), s.catalogue(), s.context().runSettings, s.context().clock};
}

void runBackupCommand(Session& s, const Invocation& invocation) {
    const std::string& folder = invocation.operands[0];
    const bool verify = invocation.has("--verify");
    const bool discover = invocation.has("--discover");
    const bool seemsOnly = invocation.has("--seems-only");
    if (verify && (discover || seemsOnly)) {
        throw CommandError{"--verify goes with neither --discover nor --seems-only"};
    }
    s.probe();
    verify ? runVerify(s, folder) : runBackup(s, folder, discover, seemsOnly);
}

void runRestoreCommand(Session& s, const Invocation& invocation) {
    RestoreOptions options;
    options.folder = invocation.operands[0];
    options.dryRun = invocation.has("--dry-run");
    options.forceModel = invocation.has("--force-model");
    const bool onlyFiles = invocation.has("--files");
    const bool onlySeems = invocation.has("--seems");
    const bool yes = invocation.has("--yes");
    // Neither or both: everything.
    options.files = onlyFiles || !onlySeems;
    options.seems = onlySeems || !onlyFiles;
    options.confirmSeems = [yes](const std::vector<std::string>&) { return yes; };

    s.probe();
    InterruptCatcher interrupt;
    ConsoleProgress progress;
    RunTransfers transfers(s, interrupt);
    BackupPhone phone = phoneOf(s);
    const RestoreReport report = restoreBackup(phone, options, {interrupt.flag(), &progress});
    if (!report.error.empty()) throw CommandError{report.error};
    std::printf("%s", visibleLines(restoreText(report, options.dryRun)).c_str());
    printFailures(report.failures);
    if (report.cancelled) throw CommandError{"cancelled"};
    if (report.otherModel) {
        throw CommandError{
            "the phone is not of the backup's model; --force-model writes its "
            "seems all the same"};
    }
    if (!report.seemsRefused.empty()) throw CommandError{"seems differ; give --yes to write them"};
    if (!report.ok()) throw CommandError{"not everything was restored"};
}

}  // namespace mdk::cli
