#include "gui/window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "config/config_file.h"
#include "gui/controls/ani_gif.h"
#include "gui/controls/status_bar.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_list.h"
#include "gui/window/accelerators.h"
#include "gui/window/log_list.h"
#include "gui/window/window_bridge.h"

namespace mdk {

MainWindow::MainWindow(AppContext& context, MainWindowServices services, QWidget* parent)
    : QMainWindow(parent),
      context_(context),
      services_(std::move(services)),
      pc_(context.panes, context.log) {
    setObjectName(QString::number(ids::kMainWindow));
    setWindowTitle(kCaption);
    if (!services_.shellOpen) services_.shellOpen = [](const std::string&) {};
    createControls();
    createMenus();
    registerHandlers();
    bridge_ = std::make_unique<WindowBridge>(*this, context_);
    context_.log.setView(log_);
    context_.panes.setListener(this);
    if (services_.buildPhoneSide) services_.buildPhoneSide(*this);
    startUp();
}

MainWindow::~MainWindow() {
    context_.panes.setListener(nullptr);
    context_.log.setView(nullptr);
    if (accelerators_) qApp->removeEventFilter(accelerators_.get());
    delete splash_;
}

void MainWindow::setCommandHandler(int commandId, std::function<void()> handler) {
    handlers_[commandId] = std::move(handler);
}

QWidget* MainWindow::control(int id) const {
    auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

PaneController& MainWindow::pane(Side side) const {
    return *panes_[static_cast<size_t>(sideIndex(side))];
}

void MainWindow::setAttributeWriter(AttributeWriter writer) {
    attributeWriter_ = std::move(writer);
    // Attributes is a command once something can write them.
    if (attributeWriter_) {
        handlers_[ids::kAttributes] = [this] { attributesOfSelection(); };
    } else {
        handlers_.erase(ids::kAttributes);
    }
}

void MainWindow::setPhoneSource(PhoneSource* source) {
    phone_ = source;
    for (PaneController* controller : panes_) controller->setPhoneSource(phone_);
}

ProgressSink& MainWindow::progressSink() {
    return *progress_;
}

DeviceView& MainWindow::deviceView() {
    return *bridge_;
}

PhoneView& MainWindow::phoneView() {
    return *bridge_;
}

QAction* MainWindow::menuAction(int id) const {
    auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::postStatusText(int part, const std::string& text) {
    QMetaObject::invokeMethod(
        this,
        [this, part, text = QString::fromStdString(text)] { status_->setPartText(part, text); },
        Qt::AutoConnection);
}

void MainWindow::hideStartupPicture() {
    if (splash_) {
        splash_->stop();
        splash_->hide();
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The start-up picture stays above the window until timer 2001 hides it.
    if (splash_ && splash_->isVisible()) splash_->raise();
}

void MainWindow::restartApplication() {
    restartRequested_ = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::locationsChanged(Side side) {
    QMetaObject::invokeMethod(
        this, [this, side] { pane(side).refillCombo(); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        saveSettings();
        if (services_.closeLink) services_.closeLink();
        if (timerSplash_) timerSplash_->stop();
        if (timerUpdate_) timerUpdate_->stop();
        hideStartupPicture();
    }
    event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
    // An activated window gives the focus to the active pane's list.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && startedUp_) {
        pane(context_.panes.active()).widgets().list->setFocus(Qt::ActiveWindowFocusReason);
    }
    QMainWindow::changeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_) return splitterEvent(event);
    if (event->type() == QEvent::MouseMove) {
        if (watched == log_ || watched == log_->viewport()) hoverLog(true);
        PaneList* left = pane(Side::Left).widgets().list;
        if (watched == left || watched == left->viewport()) hoverLog(false);
    }
    if (event->type() == QEvent::FocusOut) {
        // A path field shows its pane's location again once it loses the focus.
        for (PaneController* controller : panes_) {
            if (watched == controller->widgets().path) controller->showPath();
        }
    }
    if (event->type() == QEvent::ContextMenu) {
        for (PaneController* controller : panes_) {
            if (watched == controller->widgets().list->viewport()) {
                commandPopup_->popup(QCursor::pos());
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace mdk
