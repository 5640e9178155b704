#pragma once
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <array>

namespace mdk {

// The pictures compiled into the program: icon 4000, the picture-button families, the
// header strip 5000, pictures 501 to 503 and the start-up animation 555.
void initPictures();

// The embedded JPEG pictures 501 (logo), 502 (pane background) and 503 (About box
// background).
inline constexpr int kFirstImagePicture = 501;
inline constexpr int kLastImagePicture = 503;
// The picture loader: an embedded JPEG picture (":/images/<id>.jpg") decoded into a
// pixmap; a null pixmap when it is missing, empty or cannot be decoded.
QPixmap loadPicture(int id);

// Picture id as drawn at build time (the JPEG pictures through loadPicture, the others
// ":/images/<id>.png"); a null pixmap when missing.
QPixmap picture(int id);
QIcon programIcon();
// The start-up animation is the GIF resource 555 (":/images/555.gif").
inline constexpr int kSplashAnimation = 555;

// The five states of a picture button family: normal, hot, pressed, disabled, default.
// The family's first id is the normal picture; the default state repeats it.
enum class ButtonState { Normal = 0, Hot = 1, Pressed = 2, Disabled = 3, Default = 4 };
std::array<QPixmap, 5> buttonFamily(int firstId);

// Image i of the header strip 5000 (16 pixels wide): 0 none, 1 descending, 2 ascending.
QPixmap headerImage(int index);

}  // namespace mdk
