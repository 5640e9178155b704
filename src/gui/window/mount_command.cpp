#include "gui/window/mount_command.h"

#include <QAction>
#include <QEvent>
#include <QThread>
#include <filesystem>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/worker_runner.h"
#include "gui/window/main_window.h"
#include "panes/drive_entries.h"
#include "platform/safe_file.h"

namespace mdk {
namespace {

constexpr const char* kTitle = "Mount phone as folder";
constexpr int kEndWaitMs = 5000;  // for the child after fusermount3 -u, when the window closes
constexpr int kEndPollMs = 50;

bool isMountPoint(const std::string& folder) {
    const auto table = parseMountInfo(readTextFile("/proc/self/mountinfo").value_or(""));
    for (const MountPoint& mount : table) {
        if (mount.mountPoint == folder) return true;
    }
    return false;
}

}  // namespace

MountCommand::MountCommand(AppContext& context, MainWindow& window, WorkerRunner& workers,
                           Hooks hooks)
    : context_(context), window_(window), workers_(workers), hooks_(std::move(hooks)) {
    chooseFolder_ = [this](const std::string& title, const std::string& start) {
        return chooseFolderWithDialog(&window_, title, start);
    };
}

MountCommand::~MountCommand() {
    unmountForClose();
}

void MountCommand::install() {
    window_.setCommandHandler(ids::kMenuMount, [this] { mount(); });
    window_.setCommandHandler(ids::kMenuUnmount, [this] { unmount(); });
    window_.installEventFilter(this);
    updateMenu();
}

bool MountCommand::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Close) unmountForClose();
    return false;
}

void MountCommand::mount() {
    if (child_.running() || workers_.refuseIfBusy(kTitle)) return;
    const std::string start = folder_.empty() ? homeFolder() + "/Phone" : folder_;
    const auto chosen = chooseFolder_(kTitle, start);
    if (!chosen || chosen->empty()) return;
    if (!makeFolderIfMissing(context_.prompter, kTitle, *chosen)) return;
    std::error_code error;
    const auto canonical = std::filesystem::canonical(*chosen, error);
    if (error) {
        context_.log.logLine("Cannot mount on " + *chosen + ": " + error.message());
        return;
    }
    folder_ = canonical.string();
    lastError_.clear();
    unmountAsked_ = false;
    if (hooks_.releaseLink) hooks_.releaseLink();
    context_.log.logLine("Mounting the phone on " + folder_);
    std::vector<std::string> arguments{hooks_.cliPath};
    if (!hooks_.address.empty()) arguments.insert(arguments.end(), {"--phone", hooks_.address});
    arguments.insert(arguments.end(), {"mount", folder_});
    // The watcher thread only posts: lines and the end are handled on the GUI thread.
    WatchedProcess::Events events;
    events.line = [this](const std::string& line) {
        QMetaObject::invokeMethod(
            this, [this, line] { childLine(line); }, Qt::QueuedConnection);
    };
    events.ended = [this](int code) {
        QMetaObject::invokeMethod(
            this, [this, code] { childEnded(code); }, Qt::QueuedConnection);
    };
    std::string startError;
    if (!child_.start(arguments, std::move(events), startError)) {
        context_.log.logLine("Cannot mount the phone: " + startError);
        if (hooks_.resumeLink) hooks_.resumeLink();
        return;
    }
    updateMenu();
}

void MountCommand::childLine(const std::string& line) {
    context_.log.logLine(line);
    if (line.rfind("ERROR: ", 0) == 0) lastError_ = line.substr(7);
    if (!mounted_ && child_.running() && isMountPoint(folder_)) {
        mounted_ = true;
        showMountedFolder();
    }
}

void MountCommand::childEnded(int exitCode) {
    const bool asked = unmountAsked_;
    mounted_ = false;
    unmountAsked_ = false;
    if (asked && exitCode == 0) {
        context_.log.logLine("The phone is unmounted from " + folder_);
    } else {
        const std::string reason =
            lastError_.empty() ? "exit code " + std::to_string(exitCode) : lastError_;
        context_.log.logLine("The mount on " + folder_ + " ended: " + reason);
    }
    updateMenu();
    if (closing_) return;
    relistMountFolder();
    if (hooks_.resumeLink) hooks_.resumeLink();
}

// The pane opposite the phone pane; with no phone pane (or two), the one not active.
void MountCommand::showMountedFolder() {
    const PaneSet& panes = context_.panes;
    const bool leftPc = panes.kind(Side::Left) == LocationKind::Pc;
    const bool rightPc = panes.kind(Side::Right) == LocationKind::Pc;
    shownIn_ = leftPc != rightPc ? (leftPc ? Side::Left : Side::Right) : otherSide(panes.active());
    PaneController& pane = window_.pane(shownIn_);
    if (panes.kind(shownIn_) != LocationKind::Pc) pane.chooseLocation(kFallbackEntry);
    window_.pcPanes().startPane(shownIn_, panes.locationIndex(shownIn_), folder_);
    pane.showPath();
    pane.showRows();
    pane.sortRenumberFocus();
}

// A pane left inside the mount lists the bare folder again.
void MountCommand::relistMountFolder() {
    const PaneSet& panes = context_.panes;
    if (panes.kind(shownIn_) != LocationKind::Pc || !pathWithin(panes.pcPath(shownIn_), folder_))
        return;
    PaneController& pane = window_.pane(shownIn_);
    window_.pcPanes().startPane(shownIn_, panes.locationIndex(shownIn_), folder_);
    pane.showPath();
    pane.showRows();
    pane.sortRenumberFocus();
}

void MountCommand::unmount() {
    if (!child_.running()) return;
    unmountAsked_ = true;
    if (!runFusermount(false)) unmountAsked_ = false;
}

// fusermount3 -u (lazy: -uz, for a folder still in use); its complaint goes to the log.
bool MountCommand::runFusermount(bool lazy) {
    WatchedProcess fusermount;
    std::vector<std::string> lines;
    int code = -1;
    std::string error;
    const bool started = fusermount.start(
        {"fusermount3", lazy ? "-uz" : "-u", folder_},
        {[&lines](const std::string& l) { lines.push_back(l); }, [&code](int c) { code = c; }},
        error);
    fusermount.wait();
    if (!started) lines.push_back(error);
    for (const std::string& line : lines) context_.log.logLine(line);
    if (code != 0) context_.log.logLine("Cannot unmount " + folder_);
    return code == 0;
}

// The window closes: the mount ends with it, the link is not taken up again.
void MountCommand::unmountForClose() {
    closing_ = true;
    if (!child_.running()) return;
    unmountAsked_ = true;
    if (!runFusermount(false)) runFusermount(true);
    for (int waited = 0; waited < kEndWaitMs && child_.running(); waited += kEndPollMs) {
        QThread::msleep(kEndPollMs);
    }
    child_.terminate();  // still running: libfuse unmounts on SIGTERM
    child_.wait();
}

void MountCommand::updateMenu() {
    const bool running = child_.running();
    if (QAction* item = window_.menuAction(ids::kMenuMount)) item->setEnabled(!running);
    if (QAction* item = window_.menuAction(ids::kMenuUnmount)) item->setEnabled(running);
}

}  // namespace mdk
