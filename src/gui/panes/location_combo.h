#pragma once
#include <QComboBox>
#include <QStyledItemDelegate>

namespace mdk {

// Draws a location entry as the main window's combos show it: 16 pixels high, the small
// icon 2 pixels from the left edge, the text from 22 pixels, selection colours when
// selected.
class LocationItemDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int kItemHeight = 16;
    static constexpr int kIconLeft = 2;
    static constexpr int kTextLeft = 22;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// A location combo (controls 1005 and 1006): a drop-down list of location entries.
class LocationCombo final : public QComboBox {
    Q_OBJECT
public:
    explicit LocationCombo(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace mdk
