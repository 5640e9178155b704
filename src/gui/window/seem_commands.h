#pragma once
#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "gui/dialogs/seem_manager_dialog.h"

namespace mdk {

class AppContext;
class MainWindow;
class WorkerRunner;

// The main window's seem commands: "&Discover numbers" (the scan on the worker runner
// behind the wait dialog), "&Old dialog" (the seem manager 1800), and F6, button 1004,
// "F6 - &SeemFunc" and "&Functions" (the "Seem Functions" dialog 1850), and "Compare
// seems…". Refused while a worker still runs.
class SeemCommands {
public:
    // Runs a modal dialog (tests answer it instead).
    using DialogRunner = std::function<void(QDialog&)>;
    // The folder the user picks; nullopt on Cancel.
    using FolderChooser = std::function<std::optional<std::string>(const std::string& title)>;

    SeemCommands(AppContext& context, MainWindow& window, WorkerRunner& workers);

    // Replaces the window's handlers of the commands above and enables button 1004.
    void install();

    void discoverNumbers();
    void seemManager();
    void seemFunctions();
    void compareSeems();

    void setFileChooser(SeemFileChooser chooser) { chooseFile_ = std::move(chooser); }
    void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

private:
    bool linkOpen() const;
    void finishDiscovery(const std::vector<uint16_t>& found);

    AppContext& context_;
    MainWindow& window_;
    WorkerRunner& workers_;
    SeemFileChooser chooseFile_;
    FolderChooser chooseFolder_;
    DialogRunner runDialog_;
};

}  // namespace mdk
