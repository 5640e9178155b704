// The controls of template 1000 and the main menu.
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "app/dispatch_tables.h"
#include "gui/controls/fonts.h"
#include "gui/controls/picture_button.h"
#include "gui/controls/pictures.h"
#include "gui/controls/status_bar.h"
#include "gui/panes/location_combo.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_list.h"
#include "gui/window/log_list.h"
#include "gui/window/main_window.h"
#include "gui/window/window_bridge.h"

namespace mdk {

using namespace ids;

namespace {

// Picture buttons: id, first picture of the family, picture size.
struct ButtonFamily {
    int id;
    int firstPicture;
};
constexpr ButtonFamily kCommandButtons[] = {
    {kView, 4100},     {kEdit, 4800}, {kAttributes, 4200}, {kRestart, 4900},
    {kSeemFunc, 4400}, {kCopy, 4300}, {kNewFolder, 4500},  {kDelete, 4600},
};

// Hidden buttons that accelerators press.
constexpr int kHiddenButtons[] = {kExitKey,    kLeftComboKey, kRightComboKey, kSwitchPaneKey,
                                  kMarkRowKey, kRereadKey,    kParentKey,     kTesterKey};

// Button captions from the message file.
constexpr std::pair<int, int> kCaptions[] = {
    {kLeftReread, 90}, {kRightReread, 90}, {kView, 91}, {kEdit, 92},      {kAttributes, 93},
    {kRestart, 94},    {kSeemFunc, 95},    {kCopy, 96}, {kNewFolder, 97}, {kDelete, 98},
};

// Tooltip message by control.
constexpr std::pair<int, int> kTooltips[] = {
    {kLeftReread, 58}, {kRightReread, 59}, {kView, 60},      {kEdit, 61},     {kAttributes, 62},
    {kCopy, 63},       {kSeemFunc, 64},    {kNewFolder, 65}, {kDelete, 66},   {kRestart, 67},
    {kLeftCombo, 68},  {kRightCombo, 69},  {kEventLog, 70},  {kLeftPath, 71}, {kRightPath, 71},
    {kProgress, 72},   {kTesterKey, 116},
};

}  // namespace

void MainWindow::registerControl(QWidget* widget, int id) {
    widget->setObjectName(QString::number(id));
    widget->setProperty("controlId", id);
    controls_[id] = widget;
}

void MainWindow::createControls() {
    client_ = new QWidget(this);
    client_->setMouseTracking(true);
    client_->installEventFilter(this);
    setCentralWidget(client_);

    log_ = new LogList(client_);
    registerControl(log_, kEventLog);
    log_->installEventFilter(this);
    log_->viewport()->installEventFilter(this);
    createPane(Side::Left);
    createPane(Side::Right);
    createButtons();

    progressBar_ = new QProgressBar(client_);
    progressBar_->setTextVisible(false);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    registerControl(progressBar_, kProgress);
    progress_ = std::make_unique<ProgressBarSink>(progressBar_);

    auto* hiddenList = new QListWidget(client_);
    registerControl(hiddenList, kHiddenList);
    hiddenList->hide();
    auto* hiddenButton = new QPushButton(client_);
    registerControl(hiddenButton, kHiddenButton);
    hiddenButton->hide();

    status_ = new PartStatusBar(client_);
    status_->setPartEdges({90, 180, 270});
    registerControl(status_, kStatusBar);
    progressBar_->raise();
}

void MainWindow::createPane(Side side) {
    const bool left = side == Side::Left;
    PaneWidgets widgets;
    widgets.list = new PaneList(client_);
    registerControl(widgets.list, left ? kLeftList : kRightList);
    widgets.combo = new LocationCombo(client_);
    registerControl(widgets.combo, left ? kLeftCombo : kRightCombo);
    widgets.path = new QLineEdit(client_);
    registerControl(widgets.path, left ? kLeftPath : kRightPath);
    auto* reread = new PictureButton(client_);
    reread->setFamily(4700, 16);
    registerControl(reread, left ? kLeftReread : kRightReread);
    widgets.reread = reread;

    widgets.path->installEventFilter(this);
    widgets.list->viewport()->installEventFilter(this);
    if (left) widgets.list->installEventFilter(this);
    auto* controller = new PaneController(side, context_, pc_, widgets, rememberedColumn0_, this);
    controller->setPhoneSource(phone_);
    controller->setShellOpener([this](const std::string& path) { services_.shellOpen(path); });
    connect(controller, &PaneController::notified, this, &MainWindow::paneNotified);
    connect(controller, &PaneController::rowActivated, this, [this] { paneSwitch_ = false; });
    connect(controller, &PaneController::filesDropped, this, &MainWindow::dropFiles);
    panes_[static_cast<size_t>(sideIndex(side))] = controller;
}

void MainWindow::createButtons() {
    for (const ButtonFamily& family : kCommandButtons) {
        auto* button = new PictureButton(client_);
        button->setFamily(family.firstPicture, 24);
        registerControl(button, family.id);
        connect(button, &QPushButton::clicked, this,
                [this, id = family.id] { dispatchCommand(id); });
    }
    for (int id : kHiddenButtons) {
        auto* button = new QPushButton(client_);
        registerControl(button, id);
        button->hide();
        connect(button, &QPushButton::clicked, this, [this, id] { dispatchCommand(id); });
    }
    for (int id : {kLeftReread, kRightReread}) {
        auto* button = static_cast<QPushButton*>(control(id));
        connect(button, &QPushButton::clicked, this, [this, id] { dispatchCommand(id); });
    }
}

void MainWindow::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("10000");
    auto addItem = [this](QMenu* menu, const MenuItem& item) {
        if (item.id == 0) {
            menu->addSeparator();
            return static_cast<QAction*>(nullptr);
        }
        QAction* action = menu->addAction(item.text);
        action->setObjectName(QString::number(item.id));
        action->setProperty("commandId", item.id);
        connect(action, &QAction::triggered, this, [this, id = item.id] { dispatchCommand(id); });
        actions_[item.id] = action;
        return action;
    };
    for (const MenuDefinition& definition : mainMenus()) {
        QMenu* menu = bar->addMenu(definition.title);
        if (definition.title == std::string("&File")) {
            commandPopup_ = menu->addMenu("&Command");
            commandPopup_->setObjectName("commandPopup");
            for (const MenuItem& item : commandPopupItems()) {
                popupItems_.push_back(addItem(commandPopup_, item));
            }
            menu->addSeparator();
        }
        for (const MenuItem& item : definition.items) addItem(menu, item);
    }
}

void MainWindow::applyCaptions() {
    for (auto [id, message] : kCaptions) {
        auto* button = static_cast<QPushButton*>(control(id));
        button->setText(QString::fromStdString(context_.log.message(message)));
    }
}

void MainWindow::applyFonts() {
    for (PaneController* controller : panes_) {
        controller->widgets().list->setFont(listFont());
        controller->widgets().path->setFont(listFont());
    }
    log_->setFont(logFont());
}

void MainWindow::applyTooltips() {
    for (auto [id, message] : kTooltips) {
        if (QWidget* widget = control(id)) {
            widget->setToolTip(QString::fromStdString(context_.log.message(message)));
        }
    }
}

}  // namespace mdk
