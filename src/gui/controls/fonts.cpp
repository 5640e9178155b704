#include "gui/controls/fonts.h"

#include <QStringList>

namespace mdk {

namespace {

QFont makeFont(const QString& family, QFont::StyleHint hint, int pixelSize, int weight,
               int stretch = QFont::Unstretched) {
    QFont font(family);
    font.setStyleHint(hint);
    font.setStretch(stretch);
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

}  // namespace

// Narrow like its 6-pixel character cell, so that the date column's 120 pixels hold a date
// and a time; where Arial is missing a narrow family stands in.
QFont listFont() {
    QFont font = makeFont("Arial", QFont::SansSerif, 12, QFont::Bold, QFont::SemiCondensed);
    font.setFamilies(QStringList{"Arial", "Liberation Sans Narrow", "DejaVu Sans Condensed"});
    return font;
}

QFont logFont() {
    return makeFont("Courier New", QFont::TypeWriter, 12, QFont::Normal);
}

QFont dialogFont() {
    return makeFont("Tahoma", QFont::SansSerif, 13, QFont::DemiBold);
}

}  // namespace mdk
