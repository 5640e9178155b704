#pragma once
#include <functional>
#include <string>

namespace mdk {

class AppContext;
class MainWindow;
class WorkerRunner;

// Help -> "Diagnose connection…": the connection report (devices, nodes, udev rule, modem
// ports, network adapters) built on the worker behind the wait dialog, with a probe that
// writes nothing through the window's own link when one is open (never a second client).
// The report is shown in DiagnoseDialog.
class DiagnoseCommand {
public:
    // Shows the finished report; the dialog by default, tests take the text.
    using Shower = std::function<void(const std::string& report)>;

    DiagnoseCommand(AppContext& context, MainWindow& window, WorkerRunner& workers,
                    std::string linkAddress);

    // Installs the menu handler.
    void install();
    void diagnose();
    // The root of /sys, /dev, /etc and /usr ("/"); tests give a fixture tree.
    void setRoot(std::string root) { root_ = std::move(root); }
    void setShower(Shower shower) { show_ = std::move(shower); }

private:
    AppContext& context_;
    MainWindow& window_;
    WorkerRunner& workers_;
    std::string address_;
    std::string root_ = "/";
    Shower show_;
};

}  // namespace mdk
