#include "gui/panes/pane_rows_model.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QStyle>

#include "base/visible_text.h"
#include "gui/controls/pictures.h"

namespace mdk {

QIcon standardRowIcon(bool folder) {
    QIcon icon = QAbstractFileIconProvider().icon(folder ? QAbstractFileIconProvider::Folder
                                                         : QAbstractFileIconProvider::File);
    if (icon.isNull()) {
        icon =
            QApplication::style()->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    return icon;
}

namespace {

QIcon standardIcon(const PaneRow& row) {
    return standardRowIcon(row.isFolder());
}

}  // namespace

PaneRowsModel::PaneRowsModel(std::vector<PaneRow>& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows), icon_(standardIcon) {}

int PaneRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PaneRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant PaneRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const PaneRow& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            // A name holding control characters or bytes that are not UTF-8 shows them.
            if (index.column() == 0) return QString::fromStdString(visibleText(row.name));
            if (index.column() == 1) return QString::fromStdString(row.sizeText);
            return QString::fromStdString(row.detailText);
        case Qt::DecorationRole:
            // Every row has an icon, so rows keep one height whatever the icons are.
            if (index.column() == 0) {
                QIcon icon = icon_ ? icon_(row) : QIcon();
                return icon.isNull() ? standardRowIcon(row.isFolder()) : icon;
            }
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == 1) return int(Qt::AlignRight | Qt::AlignVCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::UserRole:
            return row.param;
        default:
            return {};
    }
}

QVariant PaneRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section > 2) return {};
    if (role == Qt::DisplayRole) return headers_[static_cast<size_t>(section)];
    if (role == Qt::DecorationRole) {
        const int image = images_[static_cast<size_t>(section)];
        if (image > 0) return headerImage(image);
    }
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void PaneRowsModel::reload() {
    beginResetModel();
    endResetModel();
}

void PaneRowsModel::setHeaderText(int column, const QString& text) {
    headers_[static_cast<size_t>(column)] = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void PaneRowsModel::setHeaderImage(int column, int image) {
    images_[static_cast<size_t>(column)] = image;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void PaneRowsModel::setIconProvider(std::function<QIcon(const PaneRow&)> provider) {
    icon_ = std::move(provider);
}

}  // namespace mdk
