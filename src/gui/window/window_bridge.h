#pragma once
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <mutex>
#include <string>
#include <vector>

#include "device/device_view.h"
#include "p2k/catalogue.h"
#include "p2k/command_set.h"
#include "panes/pane_types.h"

namespace mdk {

class MainWindow;
class AppContext;

// The progress bar 1014 for phone operations; safe from any thread. Changes are queued and
// applied on the GUI thread in order, one posted flush at a time; steps in a row are one
// change, so a worker stepping once per record does not flood the GUI thread.
class ProgressBarSink final : public ProgressSink {
public:
    explicit ProgressBarSink(QProgressBar* bar) : bar_(bar) {}
    void setRange(int low, int high) override;
    void setPosition(int position) override;
    void step() override;

private:
    struct Change {
        enum Kind { Range, Position, Steps } kind;
        int first;
        int second;
    };
    void queue(Change change);
    void flush();

    QPointer<QProgressBar> bar_;
    std::mutex mutex_;
    std::vector<Change> pending_;
    bool flushPosted_ = false;
};

// What the device connection and the catalogue do to the main window: status bar,
// location lists, buttons. Called from the watcher and worker threads as well as the GUI
// thread; every change is posted to the GUI thread and nobody waits for it.
class WindowBridge final : public DeviceView, public PhoneView {
public:
    WindowBridge(MainWindow& window, AppContext& context);

    // DeviceView and PhoneView
    void setStatusText(int part, const std::string& text) override;
    // DeviceView
    void phoneInterfaceUp() override;
    void phoneInterfaceDown() override;
    void refreshDriveEntries(const std::string& mountPoint) override;
    void showPhoneVolumes(const std::vector<std::string>& entries) override;
    void replaceFirstLocation(const std::string& text) override;
    void resetProgress() override;
    void closeMainWindow() override;
    // PhoneView
    void setPhoneLocations(const std::vector<VolumeEntry>& entries) override;
    std::string leftLocationText() override;

    // Status-bar parts 3, 1, 2 and 0 show messages 77 to 80 (start, interface down).
    void showDefaultStatus();

private:
    void post(std::function<void()> change);
    void setEntryIcons(uint32_t first, uint32_t last, EntryIcon icon);

    MainWindow& window_;
    AppContext& context_;
};

}  // namespace mdk
