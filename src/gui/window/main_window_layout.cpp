// Layout of the main window's controls, the splitter between the panes, the event-log
// hover and the window placement.
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "app/app_context.h"
#include "app/control_ids.h"
#include "gui/controls/picture_button.h"
#include "gui/panes/pane_controller.h"
#include "gui/panes/pane_list.h"
#include "gui/window/log_list.h"
#include "gui/window/main_window.h"

namespace mdk {

using namespace ids;

namespace {

constexpr int kMinimumWindowWidth = 320;
constexpr int kMinimumWindowHeight = 240;

Rect toRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

QRect toQRect(const Rect& r) {
    return QRect(r.left, r.top, std::max(0, r.width()), std::max(0, r.height()));
}

}  // namespace

Placements MainWindow::currentPlacements() const {
    Placements placements;
    for (const auto& [id, unused] : templateRects()) {
        if (QWidget* widget = control(id)) placements[id] = toRect(widget->geometry());
    }
    return placements;
}

void MainWindow::applyPlacements(const Placements& placements) {
    for (const auto& [id, rect] : placements) {
        if (QWidget* widget = control(id)) widget->setGeometry(toQRect(rect));
    }
}

void MainWindow::applyColumnWidths(std::optional<int> left, std::optional<int> right) {
    if (left) pane(Side::Left).setColumn0Width(*left);
    if (right) pane(Side::Right).setColumn0Width(*right);
}

void MainWindow::layoutControls() {
    if (!client_) return;
    // The client area takes the window's current size first: a resize that is still
    // pending would lay the controls out for the previous size.
    if (layout()) layout()->activate();
    const int windowWidth = client_->width() + kFrameWidth;
    const int windowHeight = client_->height() + kNonClientHeight;
    client_->setUpdatesEnabled(false);
    if (!isMaximized() && !isMinimized()) {
        Placements placements = currentPlacements();
        if (keepRightPaneWidth(windowWidth, placements)) applyPlacements(placements);
    }
    const MainLayout layout = layoutMainWindow(
        windowWidth, windowHeight, context_.panes.kind(Side::Left) == LocationKind::SeemFolder,
        context_.panes.kind(Side::Right) == LocationKind::SeemFolder);
    applyPlacements(layout.rects);
    hover_ = layout.hover;
    if (layout.rememberedColumn0) rememberedColumn0_ = *layout.rememberedColumn0;
    applyColumnWidths(layout.leftColumn0, layout.rightColumn0);
    for (QPushButton* button : client_->findChildren<QPushButton*>()) {
        if (!button->text().isEmpty()) fitCaption(*button, font());
    }
    client_->setUpdatesEnabled(true);
    client_->update();  // nothing of an earlier layout stays on the screen
}

QSize MainWindow::defaultWindowSize() const {
    // A list's room beside its columns: the frame on both sides and the vertical scroll
    // bar that a full folder shows.
    const PaneList* list = pane(Side::Left).widgets().list;
    const int chrome = 2 * list->frameWidth() +
                       list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    QSize size(defaultWindowWidth(chrome), kTemplateWindowHeight);
    if (const QScreen* screen = this->screen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    return size;
}

void MainWindow::restoreWindowPlacement() {
    if (isMaximized() || isMinimized()) return;
    // Without a saved placement the first window keeps its default size.
    if (!placementSaved_) return;
    const ConfigRecord& c = context_.config;
    QRect saved(c.windowLeft, c.windowTop,
                std::max(c.windowRight - c.windowLeft, kMinimumWindowWidth),
                std::max(c.windowBottom - c.windowTop, kMinimumWindowHeight));
    // A rectangle from another screen set-up is brought back onto this one.
    if (QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        saved.setWidth(std::min(saved.width(), available.width()));
        saved.setHeight(std::min(saved.height(), available.height()));
        if (!available.intersects(saved)) saved.moveTopLeft(available.topLeft());
    }
    const int frameX = frameGeometry().width() - width();
    const int frameY = frameGeometry().height() - height();
    setUpdatesEnabled(false);
    resize(saved.width() - frameX, saved.height() - frameY);
    move(saved.topLeft());
    setUpdatesEnabled(true);
}

void MainWindow::storeWindowRect() {
    const QRect r = (isMaximized() || isMinimized()) ? normalGeometry() : frameGeometry();
    ConfigRecord& c = context_.config;
    c.windowLeft = r.left();
    c.windowRight = r.left() + r.width();
    c.windowTop = r.top();
    c.windowBottom = r.top() + r.height();
}

void MainWindow::hoverLog(bool raised) {
    if (hover_.listBottom == 0) return;  // no layout yet
    QWidget* left = pane(Side::Left).widgets().list;
    const int logTop = raised ? hover_.logTopRaised : hover_.logTop;
    const int listBottom = raised ? hover_.listBottomShort : hover_.listBottom;
    QRect logRect = log_->geometry();
    if (logRect.top() != logTop) {
        logRect.setTop(logTop);
        log_->setGeometry(logRect);
        log_->raise();
    }
    QRect listRect = left->geometry();
    if (listRect.top() + listRect.height() != listBottom) {
        listRect.setHeight(std::max(0, listBottom - listRect.top()));
        left->setGeometry(listRect);
    }
}

void MainWindow::relistRightPane() {
    PaneController& right = pane(Side::Right);
    if (context_.panes.kind(Side::Right) == LocationKind::Pc) {
        pc_.listPcFolder(Side::Right);
        right.showRows();
    } else if (phone_) {
        phone_->showPhoneFolder(Side::Right);
    }
    right.sortRenumberFocus();
}

bool MainWindow::splitterEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        layoutControls();
        return false;
    }
    if (event->type() != QEvent::MouseMove && event->type() != QEvent::MouseButtonRelease) {
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    const bool captured = QWidget::mouseGrabber() == client_;
    if (event->type() == QEvent::MouseButtonRelease) {
        if (mouse->button() != Qt::LeftButton) return false;
        client_->unsetCursor();
        if (captured) client_->releaseMouse();
        for (int id : {kRightCombo, kRightReread}) {
            control(id)->hide();
            control(id)->show();
        }
        relistRightPane();
        return true;
    }
    const bool leftButtonOnly =
        mouse->buttons() == Qt::LeftButton && mouse->modifiers() == Qt::NoModifier;
    const Rect leftList = toRect(control(kLeftList)->geometry());
    const Rect rightList = toRect(control(kRightList)->geometry());
    switch (splitterMouseMove(captured, leftButtonOnly, at.x(), at.y(), leftList, rightList)) {
        case SplitterAction::Capture:
            client_->setCursor(Qt::SplitHCursor);
            if (!captured) client_->grabMouse();
            return true;
        case SplitterAction::Release:
            client_->unsetCursor();
            client_->releaseMouse();
            return true;
        case SplitterAction::Move: {
            const SplitLayout split = splitAt(at.x(), currentPlacements());
            applyPlacements(split.rects);
            applyColumnWidths(split.leftColumn0, split.rightColumn0);
            return true;
        }
        case SplitterAction::ReleaseRelist:
            client_->unsetCursor();
            client_->releaseMouse();
            relistRightPane();
            return true;
        case SplitterAction::None:
            break;
    }
    return false;
}

}  // namespace mdk
