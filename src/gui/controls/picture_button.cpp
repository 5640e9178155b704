#include "gui/controls/picture_button.h"

#include <QEnterEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QStyle>

#include "gui/controls/pictures.h"

namespace mdk {

PictureButton::PictureButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::pressed, this, &PictureButton::refresh);
    connect(this, &QPushButton::released, this, &PictureButton::refresh);
}

void PictureButton::setFamily(int firstId, int size) {
    family_ = buttonFamily(firstId);
    setIconSize(QSize(size, size));
    refresh();
}

void PictureButton::enterEvent(QEnterEvent* event) {
    hot_ = true;
    refresh();
    QPushButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event) {
    hot_ = false;
    refresh();
    QPushButton::leaveEvent(event);
}

void PictureButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) refresh();
    QPushButton::changeEvent(event);
}

void PictureButton::refresh() {
    ButtonState state = ButtonState::Normal;
    if (!isEnabled()) {
        state = ButtonState::Disabled;
    } else if (isDown()) {
        state = ButtonState::Pressed;
    } else if (hot_) {
        state = ButtonState::Hot;
    } else if (isDefault()) {
        state = ButtonState::Default;
    }
    shown_ = static_cast<int>(state);
    // Every mode of the icon shows the chosen picture, so the style adds no effect of
    // its own (a greyed copy for disabled buttons, for example).
    QIcon icon;
    const QPixmap& pixmap = family_[static_cast<size_t>(shown_)];
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected}) {
        icon.addPixmap(pixmap, mode);
    }
    setIcon(icon);
}

int captionWidth(const QPushButton& button, const QFont& font) {
    QString text = button.text();
    text.remove('&');
    int width = QFontMetrics(font).horizontalAdvance(text);
    if (!button.icon().isNull()) width += button.iconSize().width() + 4;
    const QStyle* style = button.style();
    const int margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) +
                             style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button));
    return width + margins;
}

void fitCaption(QPushButton& button, const QFont& base) {
    constexpr qreal kSmallestPoints = 6.0;
    QFont font = base;
    qreal points = font.pointSizeF();
    while (points > kSmallestPoints && captionWidth(button, font) > button.width()) {
        points -= 0.5;
        font.setPointSizeF(points);
    }
    button.setFont(font);
}

}  // namespace mdk
