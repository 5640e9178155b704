#pragma once
#include <memory>

namespace mdk {

class AppContext;
class MainWindow;
class DeviceConnection;
class PhonePane;
class WorkerRunner;

// The phone side of the main window: the one worker runner every phone command shares
// and the phone pane (volumes, folders, the seem folder, drops, View and Edit). Created
// once per window; registers itself as the window's phone source and command handlers.
class PhoneUi {
public:
    PhoneUi(AppContext& context, MainWindow& window);
    ~PhoneUi();
    PhoneUi(const PhoneUi&) = delete;
    PhoneUi& operator=(const PhoneUi&) = delete;

    // The attach passes of a volume choice and a re-read go through the connection once
    // the link watch has created it; without one, only the attach routine runs.
    void setConnection(DeviceConnection* connection);

    WorkerRunner& workers();
    PhonePane& phonePane();

private:
    MainWindow& window_;
    std::unique_ptr<WorkerRunner> workers_;
    std::unique_ptr<PhonePane> pane_;
};

}  // namespace mdk
