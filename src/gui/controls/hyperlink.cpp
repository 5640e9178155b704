#include "gui/controls/hyperlink.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QUrl>
#include <utility>

namespace mdk {
namespace {

void openWithDesktop(const QString& target) {
    QProcess::startDetached("xdg-open", {target});
}

QString encoded(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

}  // namespace

HyperLink::HyperLink(const QString& text, QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setAutoFillBackground(false);
    // A layout keeps the link at its text's size, so the underline ends with the text.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    opener_ = openWithDesktop;
    setText(text);
}

HyperLink::Kind HyperLink::setKind(Kind kind) {
    return std::exchange(kind_, kind);
}

void HyperLink::setHoverColour(const QColor& colour) {
    hover_ = colour;
    if (mouseOver()) {
        current_ = hover_;
        hoverShown_ = true;
    }
    repaint();
}

void HyperLink::setNormalColour(const QColor& colour) {
    normal_ = colour;
    if (!mouseOver()) current_ = normal_;
    repaint();
}

QString HyperLink::setSubject(const QString& subject) {
    return std::exchange(subject_, subject.left(kMaxMailText));
}

QString HyperLink::setBody(const QString& body) {
    return std::exchange(body_, body.left(kMaxMailText));
}

bool HyperLink::setUnderline(bool on) {
    const bool previous = std::exchange(underline_, on);
    update();
    return previous;
}

void HyperLink::setText(const QString& text) {
    text_ = text;
    const QMargins frame = contentsMargins();
    resize(textExtent() + QSize(frame.left() + frame.right(), frame.top() + frame.bottom()));
    updateGeometry();
    update();
}

QString HyperLink::target() const {
    if (kind_ == Kind::Web) return text_.left(kMaxDrawnText);
    QString target = "mailto:" + text_.left(kMaxMailAddress);
    if (!subject_.isEmpty()) {
        target += "?subject=" + encoded(subject_);
        if (!body_.isEmpty()) target += "&body=" + encoded(body_);
    }
    return target;
}

QSize HyperLink::sizeHint() const {
    const QMargins frame = contentsMargins();
    return textExtent() + QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

QSize HyperLink::textExtent() const {
    return fontMetrics().size(Qt::TextSingleLine, text_.left(kMaxDrawnText));
}

bool HyperLink::mouseOver() const {
    return underMouse();
}

void HyperLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(current_);
    const QRect area = contentsRect();
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     text_.left(kMaxDrawnText));
    if (underline_) {
        painter.drawLine(area.left(), area.bottom(), area.right(), area.bottom());
    }
}

void HyperLink::mouseMoveEvent(QMouseEvent* event) {
    current_ = hover_;
    if (!hoverShown_) {
        hoverShown_ = true;
        emit hovered(this);
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void HyperLink::leaveEvent(QEvent* event) {
    hoverShown_ = false;
    current_ = normal_;
    update();
    QWidget::leaveEvent(event);
}

void HyperLink::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && opener_) opener_(target());
    QWidget::mousePressEvent(event);
}

void HyperLink::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) setText(text_);  // the new font's extent
    QWidget::changeEvent(event);
}

}  // namespace mdk
