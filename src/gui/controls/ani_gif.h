#pragma once
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "platform/gif_scanner.h"

namespace mdk {

class Prompter;

// The animated picture control ("AniGIF"): splits a GIF into its frames with the frame
// scanner, has Qt's image reader decode each frame from a single-frame GIF, and cycles
// the frames on a timer at the delays the file gives. Frames are drawn onto a canvas (the
// largest of the logical screen and every frame), which is stretched by the zoom steps
// onto the destination rectangle.
class AniGif final : public QWidget {
    Q_OBJECT
public:
    // Style bits.
    static constexpr int kResizeToCanvas = 0x1;
    static constexpr int kCentre = 0x2;
    static constexpr int kLinkMode = 0x4;
    static constexpr const char* kCaption = "AniGIF";
    static constexpr int kMaxLinkText = 259;
    static constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

    // A window text "#n" (n a decimal number, not 0) loads the GIF resource n at once.
    AniGif(Prompter& prompter, int style, const QString& windowText = {},
           QWidget* parent = nullptr);

    // Loads a GIF file; "Error loading file." when it cannot be read.
    bool loadFile(const QString& path);
    // Loads the GIF resource id of the program (":/images/<id>.gif"); nothing happens
    // when there is none.
    bool loadResource(int id);
    // Loads GIF bytes; a bad signature or a damaged file is reported in a box.
    bool loadData(const QByteArray& bytes);
    // Stops, releases every frame and shows the background.
    void clear();
    // Link mode only: the link text, at most 259 characters.
    void setLinkText(const QString& text);
    // One zoom step (10 % of the canvas) in, or out down to none.
    void zoom(bool in);
    void setBackground(const QColor& colour);
    void stop();
    // (Re)starts the animation: the next timer tick comes at once.
    void start();

    int style() const { return style_; }
    QColor background() const { return background_; }
    QString linkText() const { return linkText_; }
    int zoomSteps() const { return zoomSteps_; }
    QRect destination() const { return destination_; }
    QSize canvasSize() const { return canvas_.size(); }
    const GifScan& scan() const { return scan_; }
    int frameCount() const { return static_cast<int>(frames_.size()); }
    int currentIndex() const { return current_; }
    // The frame shown now: the one at the current index - 1 (the first at index 0).
    int shownFrame() const { return current_ > 0 ? current_ - 1 : 0; }
    QImage frameImage(int index) const;
    bool animating() const { return timer_.isActive(); }
    int timerInterval() const { return timer_.interval(); }
    // One tick of the animation timer: the next frame and the timer for its delay.
    void tick();

signals:
    // Left button down (the control takes the mouse) and up again.
    void pressed(mdk::AniGif* control, const QPoint& position);
    void released(mdk::AniGif* control, const QPoint& position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void decodeFrames(const QByteArray& bytes);
    void createCanvas();
    void layout();
    void drawFrameOnCanvas(int index);
    void warn(const char* text);

    Prompter& prompter_;
    const int style_;
    QColor background_;
    QString linkText_;
    QRect destination_;
    int zoomSteps_ = 0;
    GifScan scan_;
    std::vector<QImage> frames_;
    QImage canvas_;
    int current_ = 0;
    bool captured_ = false;
    QTimer timer_;
};

}  // namespace mdk
