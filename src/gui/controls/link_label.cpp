#include "gui/controls/link_label.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace mdk {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
    target_ = text;
    applyColour();
}

void LinkLabel::setColours(const QColor& normal, const QColor& hover) {
    normal_ = normal;
    hover_ = hover;
    applyColour();
}

void LinkLabel::setUnderline(bool on) {
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

void LinkLabel::setWebTarget(const QString& address) {
    target_ = address;
}

void LinkLabel::setMailTarget(const QString& address, const QString& subject, const QString& body) {
    target_ = "mailto:" + address;
    if (!subject.isEmpty()) {
        target_ += "?subject=" + subject;
        if (!body.isEmpty()) target_ += "&body=" + body;
    }
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    applyColour();
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    hovered_ = false;
    applyColour();
    QLabel::leaveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit linkClicked(target_);
        if (openOnClick_) QDesktopServices::openUrl(QUrl(target_));
    }
    QLabel::mousePressEvent(event);
}

void LinkLabel::applyColour() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, hovered_ ? hover_ : normal_);
    setPalette(p);
}

}  // namespace mdk
