#pragma once
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <array>

namespace mdk {

// The pictures compiled into the program: icon 4000, the picture-button families, the
// header strip 5000, pictures 501 to 503 and the start-up animation 555.
void initPictures();

// Picture id as drawn at build time (":/images/<id>.png"); a null pixmap when missing.
QPixmap picture(int id);
QIcon programIcon();
QString splashAnimationPath();

// The five states of a picture button family: normal, hot, pressed, disabled, default.
// The family's first id is the normal picture; the default state repeats it.
enum class ButtonState { Normal = 0, Hot = 1, Pressed = 2, Disabled = 3, Default = 4 };
std::array<QPixmap, 5> buttonFamily(int firstId);

// Image i of the header strip 5000 (16 pixels wide): 0 none, 1 descending, 2 ascending.
QPixmap headerImage(int index);

}  // namespace mdk
