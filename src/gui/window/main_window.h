#pragma once
#include <QMainWindow>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/package_start.h"
#include "app/window_layout.h"
#include "base/app_control.h"
#include "gui/panes/pane_host.h"
#include "panes/attribute_logic.h"
#include "panes/pane_set.h"
#include "panes/pane_types.h"
#include "panes/pc_panes.h"
#include "panes/phone_source.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace mdk {

class AniGif;
class AppContext;
class MainWindow;
class ConfigFile;
class LogList;
class PartStatusBar;
class PaneController;
class PaneList;
class ProgressBarSink;
class AcceleratorFilter;
class WindowBridge;
class DeviceView;
class PhoneView;
class ProgressSink;
class CompanionControl;

// What the main window needs from outside the context. Every hook has a default, so a
// test can leave them out.
struct MainWindowServices {
    // Starts watching for the phone (start-up step 18); the window is the device
    // connection's view and application control.
    std::function<void(MainWindow&)> startLinkWatch;
    // The close actions of the connection mode (unmount, end the FTP mount, close the
    // socket), run by the close sequence.
    std::function<void()> closeLink;
    // Opens a file or folder with the desktop's default program.
    std::function<void(const std::string&)> shellOpen;
    // The drive entries of the location lists (default: this machine's mount table).
    std::function<std::vector<LocationEntry>()> driveEntries;
    // The program's command-line argument (a package or skin pack), empty when none.
    std::string commandLineArgument;
    // True while a worker thread runs a phone operation (default: never).
    std::function<bool()> workerRunning;
    // Start timers 2001 and 2002 and show the splash; tests drive onTimer themselves.
    bool startTimers = true;
    // Writes the desktop's file associations (every start, before the argument is looked
    // at); failures are silent. None in tests.
    std::function<void()> writeAssociations;
    // Runs the package dialog on a package path (the start with an argument); the program
    // ends after it. Without one the package counts as cancelled.
    std::function<PackageRunResult(MainWindow&, const std::string&)> runPackage;
    // The companion program's autostart, set up by the options' OK; none: left alone.
    CompanionControl* companion = nullptr;
    // The update server ("http://host:port"), and the browser for its download link.
    std::string updateServer;
    std::function<void(const std::string&)> openLink;
    // Builds the phone side (the phone source and the commands that go with it) on the
    // window before its start-up runs, so that start-up, a package start and every
    // command find it there. Tests that need no phone side leave it out.
    std::function<void(MainWindow&)> buildPhoneSide;
};

// The main window (template 1000): runs the start-up sequence, owns menus, buttons,
// accelerators, status bar and both panes, dispatches every command, lays out its
// controls, and saves the configuration when it closes. Controls carry their template
// ids as object names ("1002" is the left list).
class MainWindow final : public QMainWindow,
                         public AppControl,
                         public PaneListener,
                         public PaneHost {
    Q_OBJECT
public:
    static constexpr const char* kCaption =
        "Marrowdeck V-6.0.0   ---  P2k, P2k05,  USBLAN  ---  GSM, CDMA  ---";

    MainWindow(AppContext& context, MainWindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // False when the start-up stopped early (no message file, a corrupted configuration):
    // the window is then closing and the program ends.
    bool startedUp() const { return startedUp_; }
    // Set by restartApplication: start the program anew once this instance has ended.
    bool restartRequested() const { return restartRequested_; }
    // The process's exit code, given the message loop's: 1 when the start failed (the
    // message file is missing), so that a launcher or a script can tell.
    int exitCode(int loopCode) const { return startFailed_ ? 1 : loopCode; }
    // The first window's size (window rectangle): every button and column shown at the
    // default font, within the screen's available area.
    QSize defaultWindowSize() const;

    // PaneHost: for the phone pane, transfers, View and Edit and file commands.
    void setCommandHandler(int commandId, std::function<void()> handler) override;
    PaneController& pane(Side side) const override;
    PcPanes& pcPanes() override { return pc_; }
    void setPhoneSource(PhoneSource* source) override;
    ProgressSink& progressSink() override;
    int rememberedColumn0() const override { return rememberedColumn0_; }
    void setAttributeWriter(AttributeWriter writer) override;
    QWidget& hostWindow() override { return *this; }

    // A control of the template by id (nullptr when there is none).
    QWidget* control(int id) const;
    DeviceView& deviceView();
    PhoneView& phoneView();
    AttributeState& attributeState() { return attributes_; }
    // The "&Command" popup (also the panes' context menu) and its items by position.
    QMenu* commandPopup() const { return commandPopup_; }
    QAction* menuAction(int id) const;
    // Sets a status-bar part; safe from any thread.
    void postStatusText(int part, const std::string& text);
    bool paneSwitchFlag() const { return paneSwitch_; }

    // AppControl
    void hideStartupPicture() override;
    void restartApplication() override;
    // PaneListener: location entries changed (any thread).
    void locationsChanged(Side side) override;

public slots:
    // A command id from a menu item, a button or an accelerator.
    void dispatchCommand(int id);
    // Timers 2001 (splash away, window placement) and 2002 (update check).
    void onTimer(int timerId);
    // A pane's list reported something: that pane becomes active, the availability
    // tables apply (unless the pane switch flag is set).
    void paneNotified(mdk::Side side);
    // The right pane listed again from its own location (the end of a splitter drag).
    void relistRightPane();

signals:
    // Every dispatched command, after menu items were turned into their buttons' ids.
    void commandDispatched(int id);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Controls and menus (main_window_controls.cpp).
    void createControls();
    void createPane(Side side);
    void createButtons();
    void createMenus();
    void applyFonts();
    void applyCaptions();
    void applyTooltips();
    void registerControl(QWidget* widget, int id);
    // Start-up and close (main_window_startup.cpp).
    void startUp();
    bool loadSettings();
    void showSplash();
    void fillLocations();
    void openPanes();
    void saveSettings();
    // Dispatch (main_window_dispatch.cpp).
    void registerHandlers();
    void applyAvailability(Side side);
    void switchPane();
    void openLocationList(Side side);
    void goParent();
    void markRow();
    void rereadActive();
    void attributesOfSelection();
    void addFavourite();
    void deleteFavourite();
    void showAbout();
    // Options, the start with an argument and the update check (main_window_shell.cpp).
    void showOptions();
    void startWithArgument();
    void checkForUpdate();
    void openUsbTester();
    void dropFiles(Side side, const QStringList& files);
    // Layout (main_window_layout.cpp).
    void layoutControls();
    void applyPlacements(const Placements& placements);
    Placements currentPlacements() const;
    void applyColumnWidths(std::optional<int> left, std::optional<int> right);
    void restoreWindowPlacement();
    void storeWindowRect();
    bool splitterEvent(QEvent* event);
    void hoverLog(bool raised);

    AppContext& context_;
    MainWindowServices services_;
    PcPanes pc_;
    PhoneSource* phone_ = nullptr;
    std::unique_ptr<ConfigFile> configFile_;
    std::unique_ptr<ProgressBarSink> progress_;
    std::unique_ptr<WindowBridge> bridge_;
    std::unique_ptr<AcceleratorFilter> accelerators_;
    AttributeState attributes_;
    AttributeWriter attributeWriter_;

    QWidget* client_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::array<PaneController*, 2> panes_{};
    LogList* log_ = nullptr;
    PartStatusBar* status_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    AniGif* splash_ = nullptr;
    QMenu* commandPopup_ = nullptr;
    std::vector<QAction*> popupItems_;
    std::map<int, QAction*> actions_;
    std::map<int, std::function<void()>> handlers_;
    QTimer* timerSplash_ = nullptr;
    QTimer* timerUpdate_ = nullptr;

    HoverGeometry hover_;
    int rememberedColumn0_ = 140;
    bool paneSwitch_ = false;
    bool startedUp_ = false;
    bool startFailed_ = false;
    bool placementSaved_ = false;  // the configuration file held the window's placement
    bool configLoaded_ = false;
    bool closing_ = false;
    bool restartRequested_ = false;
};

}  // namespace mdk
