// Draws every picture the program shows (icon, button families, header strip, background
// pictures, start-up animation) and writes them with a resource list for the Qt resource
// compiler. Runs at build time: image_gen OUTPUT_FOLDER.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>
#include <functional>
#include <vector>

#include "gif_writer.h"

namespace {

using Glyph = std::function<void(QPainter&, const QColor&)>;

QString outputFolder;
QStringList written;

bool save(const QImage& image, const QString& name) {
    const QString path = outputFolder + "/" + name;
    // Pictures 501 to 503 are the embedded JPEG pictures; everything else is PNG.
    const char* format = name.endsWith(".jpg") ? "JPEG" : "PNG";
    if (!image.save(path, format, name.endsWith(".jpg") ? 92 : -1)) return false;
    written << name;
    return true;
}

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QPen pen(const QColor& colour, qreal width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Button glyphs, drawn on a 24 by 24 grid.
void drawView(QPainter& p, const QColor& c) {
    p.setPen(pen(c.darker(150), 2.5));
    p.setBrush(QColor(220, 235, 255, 200));
    p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
    p.setPen(pen(c.darker(200), 4));
    p.drawLine(QPointF(15, 15), QPointF(21, 21));
}

void drawAttributes(QPainter& p, const QColor& c) {
    p.setPen(pen(QColor(90, 90, 90), 1.2));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(4, 2.5, 16, 19));
    p.setPen(pen(c, 2));
    for (int row = 0; row < 3; ++row) {
        const qreal y = 7 + row * 5.5;
        p.drawLine(QPointF(6.5, y), QPointF(8, y + 1.5));
        p.drawLine(QPointF(8, y + 1.5), QPointF(10.5, y - 1.5));
        p.drawLine(QPointF(12.5, y), QPointF(17.5, y));
    }
}

void drawSheet(QPainter& p, const QRectF& r) {
    p.setPen(pen(QColor(80, 80, 80), 1.2));
    p.setBrush(QColor(255, 255, 250));
    p.drawRect(r);
}

void drawCopy(QPainter& p, const QColor& c) {
    drawSheet(p, QRectF(2.5, 2.5, 11, 14));
    drawSheet(p, QRectF(10.5, 7.5, 11, 14));
    p.setPen(pen(c, 2.5));
    p.drawLine(QPointF(5, 19), QPointF(11, 19));
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(10, 15.5), QPointF(14.5, 19), QPointF(10, 22.5)}));
}

void drawSeemFunc(QPainter& p, const QColor& c) {
    p.setPen(pen(QColor(60, 60, 60), 1.5));
    for (int i = 0; i < 4; ++i) {
        const qreal d = 6.5 + i * 3.7;
        p.drawLine(QPointF(d, 1.5), QPointF(d, 5));
        p.drawLine(QPointF(d, 19), QPointF(d, 22.5));
        p.drawLine(QPointF(1.5, d), QPointF(5, d));
        p.drawLine(QPointF(19, d), QPointF(22.5, d));
    }
    p.setBrush(c);
    p.drawRoundedRect(QRectF(5, 5, 14, 14), 2, 2);
    p.setPen(pen(QColor(255, 255, 255), 1.5));
    p.drawLine(QPointF(9, 12), QPointF(15, 12));
    p.drawLine(QPointF(12, 9), QPointF(12, 15));
}

void drawNewFolder(QPainter& p, const QColor& c) {
    QPainterPath folder;
    folder.moveTo(2, 6);
    folder.lineTo(9, 6);
    folder.lineTo(11, 8.5);
    folder.lineTo(21, 8.5);
    folder.lineTo(21, 20);
    folder.lineTo(2, 20);
    folder.closeSubpath();
    p.setPen(pen(QColor(150, 110, 20), 1.2));
    p.setBrush(QColor(250, 205, 80));
    p.drawPath(folder);
    p.setPen(pen(c, 3));
    p.drawLine(QPointF(17, 11), QPointF(17, 21));
    p.drawLine(QPointF(12, 16), QPointF(22, 16));
}

void drawDelete(QPainter& p, const QColor& c) {
    p.setPen(pen(c.darker(140), 5));
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
    p.setPen(pen(c.lighter(130), 2.5));
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
}

void drawEdit(QPainter& p, const QColor& c) {
    p.setPen(pen(QColor(70, 70, 70), 1.2));
    p.setBrush(c);
    QPolygonF body({QPointF(6, 21), QPointF(3, 18), QPointF(16, 5), QPointF(19, 8)});
    p.drawPolygon(body);
    p.setBrush(QColor(240, 200, 150));
    p.drawPolygon(QPolygonF({QPointF(3, 18), QPointF(6, 21), QPointF(2, 22)}));
    p.setBrush(QColor(230, 100, 120));
    p.drawPolygon(QPolygonF({QPointF(16, 5), QPointF(19, 8), QPointF(21, 6), QPointF(18, 3)}));
}

void drawRestart(QPainter& p, const QColor& c) {
    p.setPen(pen(c, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 4, 16, 16), 125 * 16, -250 * 16);
    p.drawLine(QPointF(12, 2.5), QPointF(12, 11));
}

void drawReread(QPainter& p, const QColor& c) {
    // Drawn on a 16 by 16 grid.
    p.setPen(pen(c, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 270 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF({QPointF(9, 0.5), QPointF(14.5, 3), QPointF(10, 7)}));
}

void drawCheck(QPainter& p, const QColor& c) {
    p.setPen(pen(c, 3.5));
    p.drawLine(QPointF(4, 13), QPointF(10, 19));
    p.drawLine(QPointF(10, 19), QPointF(20, 5));
}

QImage grey(const QImage& source) {
    QImage out = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int g = qGray(line[x]) / 2 + 100;
            line[x] = qRgba(g, g, g, qAlpha(line[x]) / 2);
        }
    }
    return out;
}

// The five-state family of a picture button: normal, hot, pressed, disabled (the default
// state repeats the normal picture).
bool writeFamily(int first, int size, const QColor& colour, const Glyph& glyph) {
    auto draw = [&](const QColor& c, qreal shift, bool halo) {
        QImage image = blank(size, size);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        if (halo) {
            QRadialGradient glow(size / 2.0, size / 2.0, size / 2.0);
            glow.setColorAt(0, QColor(255, 255, 180, 170));
            glow.setColorAt(1, QColor(255, 255, 180, 0));
            p.fillRect(image.rect(), glow);
        }
        p.translate(shift, shift);
        p.scale(size / (size == 16 ? 16.0 : 24.0), size / (size == 16 ? 16.0 : 24.0));
        glyph(p, c);
        return image;
    };
    const QImage normal = draw(colour, 0, false);
    return save(normal, QString::number(first) + ".png") &&
           save(draw(colour.lighter(125), 0, true), QString::number(first + 1) + ".png") &&
           save(draw(colour.darker(125), 1, false), QString::number(first + 2) + ".png") &&
           save(grey(normal), QString::number(first + 3) + ".png");
}

void drawPhone(QPainter& p, const QRectF& r) {
    p.setPen(pen(QColor(20, 20, 30), r.width() / 16));
    QLinearGradient body(r.topLeft(), r.topRight());
    body.setColorAt(0, QColor(70, 80, 100));
    body.setColorAt(1, QColor(30, 35, 50));
    p.setBrush(body);
    p.drawRoundedRect(r, r.width() / 5, r.width() / 5);
    const QRectF screen(r.left() + r.width() * 0.15, r.top() + r.height() * 0.12, r.width() * 0.7,
                        r.height() * 0.45);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 200, 255));
    p.drawRect(screen);
    p.setBrush(QColor(255, 255, 255, 180));
    p.drawRect(
        QRectF(screen.left() + 1, screen.top() + 1, screen.width() / 2 - 1.5, screen.height() - 2));
    p.setBrush(QColor(200, 210, 230));
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 3; ++col) {
            p.drawEllipse(QRectF(r.left() + r.width() * (0.2 + col * 0.22),
                                 r.top() + r.height() * (0.66 + row * 0.13), r.width() * 0.14,
                                 r.height() * 0.08));
        }
    }
}

bool writeIcon() {
    QImage image = blank(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawPhone(p, QRectF(7, 1.5, 18, 29));
    p.end();
    return save(image, "4000.png");
}

bool writeHeaderStrip() {
    QImage image = blank(48, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 90));
    p.drawPolygon(QPolygonF({QPointF(20, 5), QPointF(28, 5), QPointF(24, 11)}));   // descending
    p.drawPolygon(QPolygonF({QPointF(36, 11), QPointF(44, 11), QPointF(40, 5)}));  // ascending
    p.end();
    return save(image, "5000.png");
}

void drawTitle(QPainter& p, const QRectF& r, int pixelSize, const QColor& colour) {
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, "Marrowdeck");
}

bool writeLogo() {
    QImage image(160, 149, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 149);
    sky.setColorAt(0, QColor(30, 50, 90));
    sky.setColorAt(1, QColor(10, 15, 30));
    p.fillRect(image.rect(), sky);
    drawPhone(p, QRectF(58, 14, 44, 80));
    drawTitle(p, QRectF(0, 104, 160, 30), 20, QColor(240, 220, 170));
    p.end();
    return save(image, "501.jpg");
}

bool writeTile(const QString& name, int size, const QColor& base, const QColor& line) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(base);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(line, 1));
    for (int k = -size; k < size; k += size / 4) p.drawLine(k, size, k + size, 0);
    p.end();
    return save(image, name);
}

std::array<uint32_t, 256> splashPalette() {
    std::array<uint32_t, 256> palette{};
    size_t n = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) palette[n++] = (r * 51u) << 16 | (g * 51u) << 8 | b * 51u;
    while (n < 256) {
        const uint32_t v = static_cast<uint32_t>((n - 216) * 255 / 39);
        palette[n++] = v << 16 | v << 8 | v;
    }
    return palette;
}

QImage splashFrame(int frame, int frames) {
    QImage image(240, 160, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), QColor(0, 0, 51));
    drawPhone(p, QRectF(24, 30, 56, 100));
    drawTitle(p, QRectF(86, 40, 150, 40), 22, QColor(255, 204, 102));
    // A ring of dots, one of them lit, turning once per cycle.
    for (int i = 0; i < frames; ++i) {
        const double angle = 2 * M_PI * i / frames - M_PI / 2;
        const QPointF centre(160 + 22 * std::cos(angle), 110 + 22 * std::sin(angle));
        p.setPen(Qt::NoPen);
        p.setBrush(i == frame ? QColor(255, 255, 255) : QColor(51, 102, 153));
        p.drawEllipse(centre, i == frame ? 5.0 : 3.5, i == frame ? 5.0 : 3.5);
    }
    p.end();
    return image;
}

bool writeSplash() {
    const auto palette = splashPalette();
    QVector<QRgb> table;
    for (uint32_t rgb : palette) table << (0xFF000000u | rgb);
    std::vector<mdk::imagegen::GifFrame> frames;
    const int count = 12;
    for (int i = 0; i < count; ++i) {
        const QImage indexed = splashFrame(i, count).convertToFormat(
            QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither);
        mdk::imagegen::GifFrame frame;
        frame.delayCs = 12;
        for (int y = 0; y < indexed.height(); ++y) {
            const uchar* line = indexed.constScanLine(y);
            frame.pixels.insert(frame.pixels.end(), line, line + indexed.width());
        }
        frames.push_back(std::move(frame));
    }
    if (!mdk::imagegen::writeAnimatedGif((outputFolder + "/555.gif").toStdString(), 240, 160,
                                         palette, frames)) {
        return false;
    }
    written << "555.gif";
    return true;
}

bool writeResourceList() {
    QFile file(outputFolder + "/marrowdeck_images.qrc");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream out(&file);
    out << "<RCC>\n  <qresource prefix=\"/images\">\n";
    for (const QString& name : written) out << "    <file>" << name << "</file>\n";
    out << "  </qresource>\n</RCC>\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    outputFolder = QString::fromLocal8Bit(argv[1]);
    const bool ok = writeIcon() && writeFamily(4100, 24, QColor(40, 110, 200), drawView) &&
                    writeFamily(4200, 24, QColor(40, 150, 60), drawAttributes) &&
                    writeFamily(4300, 24, QColor(230, 130, 20), drawCopy) &&
                    writeFamily(4400, 24, QColor(130, 60, 170), drawSeemFunc) &&
                    writeFamily(4500, 24, QColor(30, 150, 40), drawNewFolder) &&
                    writeFamily(4600, 24, QColor(210, 40, 40), drawDelete) &&
                    writeFamily(4700, 16, QColor(30, 140, 60), drawReread) &&
                    writeFamily(4800, 24, QColor(240, 200, 60), drawEdit) &&
                    writeFamily(4900, 24, QColor(200, 60, 40), drawRestart) &&
                    writeFamily(4950, 24, QColor(40, 160, 60), drawCheck) && writeHeaderStrip() &&
                    writeLogo() &&
                    writeTile("502.jpg", 128, QColor(248, 250, 255), QColor(232, 238, 250)) &&
                    writeTile("503.jpg", 64, QColor(236, 240, 250), QColor(220, 228, 245)) &&
                    writeSplash() && writeResourceList();
    return ok ? 0 : 1;
}
