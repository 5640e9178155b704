#pragma once
#include <QPushButton>
#include <array>

namespace mdk {

// A push button that shows one picture of its five-state family: normal, hot (pointer
// over it), pressed, disabled and default.
class PictureButton final : public QPushButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);

    // The family's first picture id and the picture size (24 or 16 pixels).
    void setFamily(int firstId, int size);
    // The state whose picture is shown now (0 normal ... 4 default).
    int shownState() const { return shown_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    std::array<QPixmap, 5> family_;
    bool hot_ = false;
    int shown_ = 0;
};

// The width a button needs to show its caption and picture uncut in font.
int captionWidth(const QPushButton& button, const QFont& font);
// Gives button the largest font, base font at most, in which its caption fits its width.
void fitCaption(QPushButton& button, const QFont& base);

}  // namespace mdk
