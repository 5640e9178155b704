#include "gui/controls/status_bar.h"

#include <QPainter>
#include <QStyleOption>

namespace mdk {

PartStatusBar::PartStatusBar(QWidget* parent) : QWidget(parent) {
    setPartEdges({});
}

void PartStatusBar::setPartEdges(std::vector<int> rightEdges) {
    edges_ = std::move(rightEdges);
    while (texts_.size() < partCount()) texts_ << QString();
    update();
}

void PartStatusBar::setPartText(int part, const QString& text) {
    if (part < 0 || part >= partCount()) return;
    texts_[part] = text;
    repaint();
}

QString PartStatusBar::partText(int part) const {
    return part >= 0 && part < texts_.size() ? texts_[part] : QString();
}

void PartStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    int left = 0;
    for (int part = 0; part < partCount(); ++part) {
        const int right =
            part < static_cast<int>(edges_.size()) ? edges_[static_cast<size_t>(part)] : width();
        const QRect box(left, 1, right - left - 2, height() - 2);
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(box.topLeft(), box.topRight());
        p.drawLine(box.topLeft(), box.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(box.bottomLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomRight());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(box.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, texts_[part]);
        left = right;
    }
}

}  // namespace mdk
