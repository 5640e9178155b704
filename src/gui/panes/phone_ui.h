#pragma once
#include <functional>
#include <memory>
#include <string>

namespace mdk {

class AppContext;
class PaneHost;
class DeviceConnection;
class PhonePane;
class WorkerRunner;
class ViewEdit;
struct LinuxSettings;

// The phone side of the main window: the one worker runner every phone command shares
// and the phone pane (volumes, folders, the seem folder, drops, View and Edit). Created
// once per window; registers the phone pane as the window's phone source and installs View and
// Edit.
class PhoneUi {
public:
    // The editors come from the Linux settings, read once at start-up.
    PhoneUi(AppContext& context, PaneHost& host, const LinuxSettings& settings);
    ~PhoneUi();
    PhoneUi(const PhoneUi&) = delete;
    PhoneUi& operator=(const PhoneUi&) = delete;

    // The attach passes of a volume choice and a re-read go through the connection once
    // the link watch has created it; without one, only the attach routine runs.
    void setConnection(DeviceConnection* connection);

    // How View and Edit open a PC folder (the desktop's default program).
    void setFolderOpener(std::function<void(const std::string&)> opener);

    WorkerRunner& workers();
    PhonePane& phonePane();
    ViewEdit& viewEdit();

private:
    PaneHost& host_;
    std::unique_ptr<WorkerRunner> workers_;
    std::unique_ptr<PhonePane> pane_;
    std::unique_ptr<ViewEdit> viewEdit_;
};

}  // namespace mdk
