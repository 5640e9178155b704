#include "gui/panes/location_combo.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStylePainter>

namespace mdk {

void LocationItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    painter->save();
    painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
    painter->setPen(selected ? palette.color(QPalette::HighlightedText)
                             : palette.color(QPalette::Text));
    const QRect textRect = option.rect.adjusted(kTextLeft, 0, 0, 0);
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                      index.data(Qt::DisplayRole).toString());
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const int top = option.rect.top() + (option.rect.height() - kItemHeight) / 2;
    icon.paint(painter, QRect(option.rect.left() + kIconLeft, top, kItemHeight, kItemHeight));
    painter->restore();
}

QSize LocationItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(kItemHeight);
    size.setWidth(size.width() + kTextLeft);
    return size;
}

LocationCombo::LocationCombo(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new LocationItemDelegate(this));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    view()->setMinimumWidth(260);
}

void LocationCombo::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const QIcon icon = itemIcon(currentIndex());
    const int top = field.top() + (field.height() - LocationItemDelegate::kItemHeight) / 2;
    icon.paint(&painter,
               QRect(field.left() + LocationItemDelegate::kIconLeft, top,
                     LocationItemDelegate::kItemHeight, LocationItemDelegate::kItemHeight));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(field.adjusted(LocationItemDelegate::kTextLeft, 0, 0, 0),
                     Qt::AlignVCenter | Qt::AlignLeft, currentText());
}

}  // namespace mdk
