#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/dialogs/folder_chooser.h"
#include "panes/pane_types.h"
#include "platform/watched_process.h"

namespace mdk {

class AppContext;
class MainWindow;
class WorkerRunner;

// File > "Mount phone as folder…" and "Unmount": the phone as an ordinary folder for every
// other program, shown in the pane opposite the phone pane.
//
// The mount runs as a child process, marrowdeck-cli mount, rather than on threads of the
// window's own process: the file system then lives exactly as long as that process, so a
// crash of either side never leaves a folder whose requests hang; libfuse's signal handling
// and its blocking loop stay out of the GUI; and the mount works just as the command-line
// tool's does. The window gives up its own link first (one client per phone: the child
// holds the phone's lock) and takes it up again when the child ends, however it ends.
class MountCommand final : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::string cliPath;  // marrowdeck-cli
        std::string address;  // the window's phone address, for --phone
        std::function<void()> releaseLink;
        std::function<void()> resumeLink;
    };

    MountCommand(AppContext& context, MainWindow& window, WorkerRunner& workers, Hooks hooks);
    // Unmounts a mount still running.
    ~MountCommand() override;

    // Installs the two menu handlers and the unmount on closing the window.
    void install();
    void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }

    void mount();
    // fusermount3 -u; the child then ends and the link comes back.
    void unmount();

    bool mounted() const { return mounted_; }
    bool running() const { return child_.running(); }
    int childProcessId() const { return child_.processId(); }
    const std::string& folder() const { return folder_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void childLine(const std::string& line);
    void childEnded(int exitCode);
    void showMountedFolder();
    void relistMountFolder();
    void updateMenu();
    bool runFusermount(bool lazy);
    void unmountForClose();

    AppContext& context_;
    MainWindow& window_;
    WorkerRunner& workers_;
    Hooks hooks_;
    FolderChooser chooseFolder_;
    WatchedProcess child_;
    std::string folder_;
    std::string lastError_;  // the child's last "ERROR:" line
    bool mounted_ = false;
    bool unmountAsked_ = false;
    bool closing_ = false;
    Side shownIn_ = Side::Right;
};

}  // namespace mdk
