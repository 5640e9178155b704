#include "controls/fonts.h"

namespace mdk {

namespace {

QFont makeFont(const QString& family, QFont::StyleHint hint, int pixelSize, int weight) {
    QFont font(family);
    font.setStyleHint(hint);
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

}  // namespace

QFont listFont() {
    return makeFont("Arial", QFont::SansSerif, 12, QFont::Bold);
}

QFont logFont() {
    return makeFont("Courier New", QFont::TypeWriter, 12, QFont::Normal);
}

QFont dialogFont() {
    return makeFont("Tahoma", QFont::SansSerif, 13, QFont::DemiBold);
}

}  // namespace mdk
