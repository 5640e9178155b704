#include "gui/controls/pictures.h"

#include <QFile>

// The resource initialiser lives in the global namespace.
static void initImageResources() {
    Q_INIT_RESOURCE(marrowdeck_images);
}

namespace mdk {

void initPictures() {
    static const bool done = [] {
        initImageResources();
        return true;
    }();
    (void)done;
}

QPixmap loadPicture(int id) {
    initPictures();
    QFile file(QStringLiteral(":/images/%1.jpg").arg(id));
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0) return {};
    const QByteArray bytes = file.readAll();
    QPixmap pixmap;
    if (!pixmap.loadFromData(bytes, "JPEG")) return {};
    return pixmap;
}

QPixmap picture(int id) {
    if (id >= kFirstImagePicture && id <= kLastImagePicture) return loadPicture(id);
    initPictures();
    return QPixmap(QStringLiteral(":/images/%1.png").arg(id));
}

QIcon programIcon() {
    return QIcon(picture(4000));
}

std::array<QPixmap, 5> buttonFamily(int firstId) {
    std::array<QPixmap, 5> states;
    for (int i = 0; i < 4; ++i) states[static_cast<size_t>(i)] = picture(firstId + i);
    states[static_cast<size_t>(ButtonState::Default)] = states[0];
    return states;
}

QPixmap headerImage(int index) {
    static constexpr int kWidth = 16;
    const QPixmap strip = picture(5000);
    if (strip.isNull() || index < 0 || (index + 1) * kWidth > strip.width()) return {};
    return strip.copy(index * kWidth, 0, kWidth, strip.height());
}

}  // namespace mdk
