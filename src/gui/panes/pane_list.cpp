#include "gui/panes/pane_list.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include "gui/controls/pictures.h"

namespace mdk {

PaneList::PaneList(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(true);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
        emit notified();
        emit columnClicked(column);
    });
    placeBackground();
}

void PaneList::placeBackground() {
    const QPixmap tile = picture(502);
    if (tile.isNull()) return;
    QBrush brush(tile);
    // The tiling starts half a picture in, both ways.
    brush.setTransform(QTransform::fromTranslate(tile.width() / 2.0, tile.height() / 2.0));
    QPalette p = viewport()->palette();
    p.setBrush(QPalette::Base, brush);
    viewport()->setPalette(p);
    viewport()->setAutoFillBackground(true);
}

QStringList PaneList::localFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) files << url.toLocalFile();
    }
    return files;
}

void PaneList::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    emit notified();
}

void PaneList::mousePressEvent(QMouseEvent* event) {
    emit notified();
    QTreeView::mousePressEvent(event);
}

void PaneList::keyPressEvent(QKeyEvent* event) {
    emit notified();
    if (event->matches(QKeySequence::Paste)) {
        const QStringList files = localFiles(QApplication::clipboard()->mimeData());
        if (!files.isEmpty()) emit filesDropped(files);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void PaneList::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QTreeView::dragEnterEvent(event);
}

void PaneList::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QTreeView::dragMoveEvent(event);
}

void PaneList::dropEvent(QDropEvent* event) {
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit notified();
    emit filesDropped(files);
}

}  // namespace mdk
