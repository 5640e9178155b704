// The main window's start-up sequence, its timers and its close sequence.
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QTimer>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "base/message_ids.h"
#include "base/messages.h"
#include "config/config_file.h"
#include "gui/controls/ani_gif.h"
#include "gui/controls/pictures.h"
#include "gui/controls/status_bar.h"
#include "gui/panes/pane_controller.h"
#include "gui/window/accelerators.h"
#include "gui/window/log_list.h"
#include "gui/window/main_window.h"
#include "gui/window/window_bridge.h"
#include "panes/drive_entries.h"

namespace mdk {

namespace {

constexpr int kSplashMs = 2800;
constexpr int kUpdateCheckMs = 1000;
// Texts of location entries 0 to 4 until a phone is attached.
constexpr int kStartupEntryMessages[kPhoneEntryCount] = {116, 117, 118, 119, 115};
// The longest folder text the configuration keeps (the field holds its zero too).
constexpr size_t kStoredPathMax = 254;

// Column 2 of a PC row: the user's short date, then " HH:mm".
std::string localDateText(std::time_t time) {
    const QDateTime when = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(time));
    std::tm local{};
    ::localtime_r(&time, &local);
    return QLocale::system().toString(when.date(), QLocale::ShortFormat).toStdString() +
           timeOfDayText(local);
}

}  // namespace

void MainWindow::showSplash() {
    splash_ =
        new AniGif(context_.prompter, AniGif::kCentre, "#" + QString::number(kSplashAnimation));
    splash_->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    splash_->setObjectName(QString::number(ids::kSplash));
    splash_->setBackground(QColor(0, 0, 51));
    splash_->setGeometry(geometry());
    if (services_.startTimers) {
        splash_->show();
    } else {
        splash_->stop();
    }
}

void MainWindow::startUp() {
    const QSize initial = defaultWindowSize();
    resize(initial.width() - kFrameWidth, initial.height() - kNonClientHeight);
    showSplash();
    // The program folder is the context's (the executable's folder); the USBLAN command
    // lines are built by the device connection when its watch starts.
    context_.log.setFilePath(context_.programFile(".log"));
    context_.log.deleteFile();
    if (loadMessages(context_.messages, context_.files.dataFolder(), context_.log,
                     context_.prompter) != 0) {
        startFailed_ = true;
        hideStartupPicture();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    context_.log.logLine(context_.log.message(msg::kStarted) + context_.programFolder);
    if (::chdir(context_.programFolder.c_str()) != 0) {
        context_.log.logLine("Cannot enter the program folder " + context_.programFolder);
    }
    applyCaptions();
    if (!loadSettings()) return;
    context_.seemLists.loadSeemList(context_.files.readFolderOf("Seem.lst"), context_.prompter);
    context_.seemLists.loadSeemCategories(context_.files.dataFolder(), context_.prompter);

    accelerators_ =
        std::make_unique<AcceleratorFilter>(this, [this](int id) { dispatchCommand(id); });
    qApp->installEventFilter(accelerators_.get());
    setWindowIcon(programIcon());
    bridge_->showDefaultStatus();
    applyFonts();
    applyTooltips();

    if (services_.writeAssociations) services_.writeAssociations();
    if (!services_.commandLineArgument.empty()) {
        // Package mode: the program ends once the package has run.
        startWithArgument();
        return;
    }
    fillLocations();
    openPanes();
    context_.log.createFile();
    if (services_.startLinkWatch) services_.startLinkWatch(*this);

    timerSplash_ = new QTimer(this);
    timerSplash_->setSingleShot(true);
    connect(timerSplash_, &QTimer::timeout, this, [this] { onTimer(ids::kTimerSplash); });
    timerUpdate_ = new QTimer(this);
    timerUpdate_->setSingleShot(true);
    connect(timerUpdate_, &QTimer::timeout, this, [this] { onTimer(ids::kTimerUpdateCheck); });
    if (services_.startTimers) {
        timerSplash_->start(kSplashMs);
        timerUpdate_->start(kUpdateCheckMs);
    }
    layoutControls();
    startedUp_ = true;
}

bool MainWindow::loadSettings() {
    configFile_ = std::make_unique<ConfigFile>(context_.programFile(".config"));
    const ConfigLoadResult result = configFile_->load(context_.config, context_.prompter, *this);
    context_.runSettings.takeFrom(context_.config);
    // A corrupted file asked for a restart: this instance closes without going on.
    if (result == ConfigLoadResult::Corrupted) return false;
    configLoaded_ = true;
    placementSaved_ = result == ConfigLoadResult::Loaded;
    context_.log.setPackets(context_.config.logPackets != 0);
    return true;
}

void MainWindow::fillLocations() {
    std::array<std::string, kPhoneEntryCount> startupTexts;
    for (size_t i = 0; i < kPhoneEntryCount; ++i) {
        startupTexts[i] = context_.log.message(kStartupEntryMessages[i]);
    }
    context_.panes.setStartupPhoneTexts(startupTexts);
    const auto drives = services_.driveEntries
                            ? services_.driveEntries()
                            : systemDriveEntries([this](int n) { return context_.log.message(n); });
    for (Side side : {Side::Left, Side::Right}) {
        pc_.fillLocations(side, drives, context_.config.favouriteFolder);
    }
}

void MainWindow::openPanes() {
    PaneSet& panes = context_.panes;
    panes.setPhoneFolder(Side::Left, "/");
    panes.setPhoneFolder(Side::Right, "/");
    panes.nameSortMode = 3;
    pc_.setDateFormatter(localDateText);
    const ConfigRecord& config = context_.config;
    const std::pair<Side, std::pair<int32_t, std::string>> order[] = {
        {Side::Right, {config.rightSource, config.rightPath}},
        {Side::Left, {config.leftSource, config.leftPath}},
    };
    for (const auto& [side, saved] : order) {
        PaneController& controller = pane(side);
        controller.setupColumns();
        pc_.startPane(side, static_cast<uint32_t>(saved.first), saved.second);
        panes.focusIndex[static_cast<size_t>(sideIndex(side))] = 0;
        controller.refillCombo();
        controller.showPath();
        controller.showRows();
        controller.renumberAndFocus();
    }
    panes.activePane = 0;
    paneNotified(Side::Left);
}

void MainWindow::onTimer(int timerId) {
    if (timerId == ids::kTimerSplash) {
        timerSplash_->stop();
        hideStartupPicture();
        restoreWindowPlacement();
        layoutControls();
    } else if (timerId == ids::kTimerUpdateCheck) {
        timerUpdate_->stop();
        if (context_.config.checkRelease) checkForUpdate();
    }
}

void MainWindow::saveSettings() {
    if (!configLoaded_ || !configFile_) return;
    ConfigRecord& config = context_.config;
    // A folder text that does not fit the field is not stored cut (a cut path can name
    // another folder); the pane then opens on its location at the next start.
    auto stored = [](const QString& text) {
        const std::string path = text.toStdString();
        return path.size() > kStoredPathMax ? std::string() : path;
    };
    config.leftPath = stored(pane(Side::Left).widgets().path->text());
    config.rightPath = stored(pane(Side::Right).widgets().path->text());
    config.leftSource = static_cast<int32_t>(context_.panes.locationIndex(Side::Left));
    config.rightSource = static_cast<int32_t>(context_.panes.locationIndex(Side::Right));
    storeWindowRect();
    context_.runSettings.writeInto(config);
    configFile_->save(config);
}

}  // namespace mdk
