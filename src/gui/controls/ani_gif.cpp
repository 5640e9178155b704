#include "gui/controls/ani_gif.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <span>

#include "base/prompter.h"
#include "gui/controls/pictures.h"

namespace mdk {
namespace {

std::span<const uint8_t> asBytes(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())};
}

// "#n": the resource number n, or 0.
int resourceNumber(const QString& windowText) {
    if (!windowText.startsWith('#')) return 0;
    bool ok = false;
    const int number = windowText.mid(1).toInt(&ok, 10);
    return ok ? number : 0;
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

AniGif::AniGif(Prompter& prompter, int style, const QString& windowText, QWidget* parent)
    : QWidget(parent),
      prompter_(prompter),
      style_(style),
      background_(QApplication::palette().color(QPalette::Button)) {
    setCursor((style_ & kLinkMode) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &AniGif::tick);
    if (const int id = resourceNumber(windowText)) loadResource(id);
}

void AniGif::warn(const char* text) {
    prompter_.ask({kCaption, text, PromptButtons::Ok, PromptIcon::Warning});
}

bool AniGif::loadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes) {
        clear();
        warn("Error loading file.");
        return false;
    }
    return loadData(file.readAll());
}

bool AniGif::loadResource(int id) {
    initPictures();
    QFile file(QStringLiteral(":/images/%1.gif").arg(id));
    if (!file.open(QIODevice::ReadOnly)) return false;
    return loadData(file.readAll());
}

bool AniGif::loadData(const QByteArray& bytes) {
    WaitCursor wait;
    clear();
    GifScan scan = scanGif(asBytes(bytes));
    switch (scan.error) {
        case GifScanError::None:
            break;
        case GifScanError::BadSignature:
            warn("This file has not a valid Gif signature.");
            return false;
        case GifScanError::Truncated:
        case GifScanError::TooLarge:
            warn("Fatal error.");
            return false;
    }
    scan_ = std::move(scan);
    decodeFrames(bytes);
    createCanvas();
    if (style_ & kResizeToCanvas) resize(canvas_.size());
    layout();
    start();
    return true;
}

void AniGif::decodeFrames(const QByteArray& bytes) {
    for (size_t i = 0; i < scan_.frames.size(); ++i) {
        const GifFrame& frame = scan_.frames[i];
        const std::vector<uint8_t> single = singleFrameGif(asBytes(bytes), scan_, i);
        const QImage decoded =
            QImage::fromData(single.data(), static_cast<int>(single.size()), "GIF");
        // Transparent pixels stay transparent, so the canvas shows through them; other
        // frames stand on the background colour.
        QImage image(frame.width, frame.height, QImage::Format_ARGB32_Premultiplied);
        image.fill(frame.transparency ? QColor(Qt::transparent) : background_);
        if (!decoded.isNull()) {
            QPainter painter(&image);
            painter.drawImage(QPoint(0, 0), decoded,
                              QRect(frame.left, frame.top, frame.width, frame.height));
        }
        frames_.push_back(std::move(image));
    }
}

void AniGif::createCanvas() {
    canvas_ = QImage(scan_.canvasWidth, scan_.canvasHeight, QImage::Format_ARGB32_Premultiplied);
    canvas_.fill(background_);
}

void AniGif::clear() {
    stop();
    frames_.clear();
    scan_ = GifScan{};
    canvas_ = QImage();
    destination_ = QRect();
    zoomSteps_ = 0;
    current_ = 0;
    update();
}

void AniGif::setLinkText(const QString& text) {
    if (style_ & kLinkMode) linkText_ = text.left(kMaxLinkText);
}

void AniGif::zoom(bool in) {
    if (in) {
        ++zoomSteps_;
    } else if (zoomSteps_ > 0) {
        --zoomSteps_;
    }
    layout();
    update();
}

void AniGif::setBackground(const QColor& colour) {
    if (colour == background_) return;
    stop();
    background_ = colour;
    if (!canvas_.isNull()) canvas_.fill(background_);
    current_ = 0;
    start();
}

void AniGif::stop() {
    timer_.stop();
}

void AniGif::start() {
    timer_.start(0);
}

void AniGif::tick() {
    timer_.stop();
    if (frames_.size() > 1) {
        const int next = current_ < frameCount() ? current_ : 0;
        current_ = next + 1;
        timer_.start(gifFrameDelayMs(scan_.frames[static_cast<size_t>(next)].delayCs));
    }
    update(destination_);
}

QImage AniGif::frameImage(int index) const {
    if (index < 0 || index >= frameCount()) return {};
    return frames_[static_cast<size_t>(index)];
}

void AniGif::layout() {
    if (canvas_.isNull()) return;
    const GifSize zoomed = gifZoomedSize(canvas_.width(), canvas_.height(), zoomSteps_);
    destination_ = QRect(0, 0, zoomed.width, zoomed.height);
    if (style_ & kCentre) {
        destination_.moveTo((width() - zoomed.width) / 2, (height() - zoomed.height) / 2);
    }
}

void AniGif::drawFrameOnCanvas(int index) {
    const GifFrame& frame = scan_.frames[static_cast<size_t>(index)];
    QPainter painter(&canvas_);
    painter.setCompositionMode(frame.transparency ? QPainter::CompositionMode_SourceOver
                                                  : QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(frame.left, frame.top), frames_[static_cast<size_t>(index)]);
}

void AniGif::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (frames_.empty()) {
        painter.fillRect(event->rect(), background_);
        return;
    }
    const int index = shownFrame();
    drawFrameOnCanvas(index);
    painter.drawImage(destination_, canvas_);
    QRegion rest = QRegion(event->rect()).subtracted(destination_);
    for (const QRect& r : rest) painter.fillRect(r, background_);
    // Disposal 2 restores the background; 0, 1 and 3 leave the canvas as drawn.
    if (scan_.frames[static_cast<size_t>(index)].disposal == 2) canvas_.fill(background_);
}

void AniGif::resizeEvent(QResizeEvent* event) {
    layout();
    QWidget::resizeEvent(event);
}

void AniGif::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        captured_ = true;  // the widget keeps the mouse until the button comes up
        emit pressed(this, event->position().toPoint());
    }
    QWidget::mousePressEvent(event);
}

void AniGif::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && captured_) {
        captured_ = false;
        emit released(this, event->position().toPoint());
    }
    QWidget::mouseReleaseEvent(event);
}

}  // namespace mdk
