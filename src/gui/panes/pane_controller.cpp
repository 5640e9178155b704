#include "gui/panes/pane_controller.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "app/app_context.h"
#include "base/message_ids.h"
#include "gui/controls/pictures.h"
#include "gui/panes/location_combo.h"
#include "gui/panes/pane_list.h"
#include "gui/panes/pane_rows_model.h"
#include "panes/compare_rows.h"
#include "panes/pc_panes.h"
#include "panes/phone_source.h"

namespace mdk {

namespace {

QIcon entryIcon(EntryIcon icon) {
    QStyle* style = QApplication::style();
    switch (icon) {
        case EntryIcon::Program:
            return programIcon();
        case EntryIcon::Volume:
            return style->standardIcon(QStyle::SP_DriveFDIcon);
        case EntryIcon::SeemTool:
            return style->standardIcon(QStyle::SP_FileDialogDetailedView);
        case EntryIcon::Home:
            return style->standardIcon(QStyle::SP_DirHomeIcon);
        case EntryIcon::Removable:
            return style->standardIcon(QStyle::SP_DriveFDIcon);
        case EntryIcon::Network:
            return style->standardIcon(QStyle::SP_DriveNetIcon);
        case EntryIcon::Optical:
            return style->standardIcon(QStyle::SP_DriveCDIcon);
        case EntryIcon::EmptySlot:
            return QIcon(style->standardIcon(QStyle::SP_DriveFDIcon).pixmap(16, QIcon::Disabled));
        default:
            return style->standardIcon(QStyle::SP_DriveHDIcon);
    }
}

}  // namespace

PaneController::PaneController(Side side, AppContext& context, PcPanes& pc, PaneWidgets widgets,
                               int& rememberedColumn0, QObject* parent)
    : QObject(parent),
      side_(side),
      context_(context),
      pc_(pc),
      widgets_(widgets),
      rememberedColumn0_(rememberedColumn0),
      model_(new PaneRowsModel(context.panes.rows(side), this)) {
    widgets_.list->setModel(model_);
    connect(widgets_.list, &PaneList::notified, this, [this] { emit notified(side_); });
    connect(widgets_.list, &PaneList::columnClicked, this, &PaneController::clickColumn);
    connect(widgets_.list, &PaneList::filesDropped, this,
            [this](const QStringList& files) { emit filesDropped(side_, files); });
    connect(widgets_.list, &QAbstractItemView::activated, this, [this] {
        emit rowActivated(side_);
        activateFocusedRow();
    });
    connect(widgets_.combo, qOverload<int>(&QComboBox::activated), this,
            &PaneController::chooseLocation);
    shellOpen_ = [](const std::string&) {};
}

void PaneController::setupColumns() {
    const auto& messages = context_.messages;
    model_->setHeaderText(0, QString::fromStdString(std::string(messages.text(msg::kNameHeader))));
    model_->setHeaderText(1, QString::fromStdString(std::string(messages.text(msg::kSizeHeader))));
    model_->setHeaderText(2, QString::fromStdString(std::string(messages.text(msg::kDateHeader))));
    model_->setHeaderImage(0, kHeaderImageAscending);
    model_->setHeaderImage(1, kHeaderImageNone);
    model_->setHeaderImage(2, kHeaderImageNone);
    QHeaderView* header = widgets_.list->header();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->resizeSection(0, 140);
    header->resizeSection(1, 68);
    header->resizeSection(2, 120);
}

void PaneController::refillCombo() {
    const auto entries = context_.panes.entries(side_);
    QSignalBlocker block(widgets_.combo);
    widgets_.combo->clear();
    for (const LocationEntry& entry : entries) {
        widgets_.combo->addItem(entryIcon(entry.icon), QString::fromStdString(entry.text));
    }
    widgets_.combo->setCurrentIndex(static_cast<int>(context_.panes.locationIndex(side_)));
}

void PaneController::showPath() {
    // setText empties the undo history, so an undo never brings back another location.
    widgets_.path->setText(QString::fromStdString(context_.panes.pathText(side_)));
}

void PaneController::showRows() {
    model_->reload();
}

void PaneController::focusRow(int index) {
    PaneList* list = widgets_.list;
    list->setFocus();
    QItemSelectionModel* selection = list->selectionModel();
    selection->clear();
    if (index < 0 || index >= model_->rowCount()) return;
    selection->setCurrentIndex(model_->index(index, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void PaneController::renumberAndFocus() {
    renumberRows(context_.panes.rows(side_));
    focusRow(context_.panes.focusIndex[static_cast<size_t>(sideIndex(side_))].load());
}

void PaneController::sortRenumberFocus() {
    sortRows(context_.panes.rows(side_),
             sizeSortMode_.value_or(context_.panes.nameSortMode.load()));
    showRows();
    renumberAndFocus();
}

void PaneController::setColumn0Width(int width) {
    widgets_.list->header()->resizeSection(0, width);
}

void PaneController::showPcColumns() {
    model_->setHeaderText(
        2, QString::fromStdString(std::string(context_.messages.text(msg::kDateHeader))));
    setColumn0Width(rememberedColumn0_);
    widgets_.list->header()->resizeSection(2, 120);
}

void PaneController::showPcLocation() {
    widgets_.combo->setCurrentIndex(static_cast<int>(context_.panes.locationIndex(side_)));
    showPath();
    showRows();
}

void PaneController::chooseLocation(int index) {
    if (index < 0) return;
    widgets_.combo->hidePopup();
    sizeSortMode_.reset();
    const auto entryIndex = static_cast<uint32_t>(index);
    const uint32_t previous = context_.panes.locationIndex(side_);
    context_.panes.setLocationIndex(side_, entryIndex);
    if (entryIndex >= kFirstPcEntry) {
        showPcColumns();
        pc_.selectPcLocation(side_, entryIndex);
        showPcLocation();
    } else if (phone_) {
        if (!phone_->selectPhoneLocation(side_, entryIndex)) {
            // A refused choice leaves the pane as it was: entry, index and rows agree.
            context_.panes.setLocationIndex(side_, previous);
            widgets_.combo->setCurrentIndex(static_cast<int>(previous));
            return;
        }
        showPath();
    }
    sortRenumberFocus();
}

void PaneController::reread() {
    sizeSortMode_.reset();  // a listing the user asks for is sorted by name again
    relist();
}

void PaneController::relist() {
    emit notified(side_);
    const uint32_t entryIndex = context_.panes.locationIndex(side_);
    if (entryIndex < kSeemEntry) {
        if (phone_) phone_->rereadPhone(side_);
        showPath();
    } else {
        // A seem pane falls back to a PC folder here: it gets the PC columns back.
        if (entryIndex < kFirstPcEntry) showPcColumns();
        pc_.selectPcLocation(side_, entryIndex);
        showPcLocation();
    }
    sortRenumberFocus();
}

QString PaneController::focusedName() const {
    const QModelIndex current = widgets_.list->currentIndex();
    if (!current.isValid()) return {};
    return model_->index(current.row(), 0).data().toString();
}

int PaneController::focusedRow() const {
    const QModelIndex current = widgets_.list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

std::vector<int> PaneController::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : widgets_.list->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void PaneController::activateFocusedRow() {
    const QString name = focusedName();
    if (name.isEmpty()) return;
    sizeSortMode_.reset();
    if (context_.panes.kind(side_) == LocationKind::Pc) {
        const Activation result = pc_.activatePcRow(side_, name.toStdString());
        if (result.kind == Activation::Kind::Entered) {
            showPath();
            showRows();
        } else {
            shellOpen_(result.path);
        }
    } else if (phone_) {
        phone_->activatePhoneRow(side_, name.toStdString());
        showPath();
    }
    sortRenumberFocus();
}

void PaneController::clickColumn(int column) {
    int32_t nameMode = context_.panes.nameSortMode.load();
    int32_t sizeState = context_.panes.sizeSortState.load();
    const auto sort = columnClick(column, nameMode, sizeState);
    if (!sort) return;
    context_.panes.nameSortMode = nameMode;
    context_.panes.sizeSortState = sizeState;
    // A size order stays the pane's order when it is listed again (after a transfer).
    sizeSortMode_ = column == 1 ? std::optional<int32_t>(sort->mode) : std::nullopt;
    sortRows(context_.panes.rows(side_), sort->mode);
    model_->setHeaderImage(0, sort->nameImage);
    model_->setHeaderImage(1, sort->sizeImage);
    showRows();
    renumberAndFocus();
}

bool PaneController::goParent() {
    const LocationKind kind = context_.panes.kind(side_);
    const bool below =
        kind == LocationKind::Pc ? pc_.belowRoot(side_) : context_.panes.pathText(side_).size() > 5;
    if (!below || model_->rowCount() == 0) return false;
    focusRow(0);
    emit rowActivated(side_);
    activateFocusedRow();
    return true;
}

void PaneController::markRowAndAdvance() {
    const int row = focusedRow();
    if (row < 0) return;
    QItemSelectionModel* selection = widgets_.list->selectionModel();
    selection->select(model_->index(row, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (row + 1 < model_->rowCount()) {
        selection->setCurrentIndex(model_->index(row + 1, 0), QItemSelectionModel::NoUpdate);
    }
}

}  // namespace mdk
