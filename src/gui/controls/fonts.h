#pragma once
#include <QFont>

namespace mdk {

// The main window's fonts: Arial bold for the lists and path fields, Courier New for the
// event log, Tahoma semi-bold for the options and About dialogs. Families that are not
// installed fall back by style hint.
QFont listFont();
QFont logFont();
QFont dialogFont();

}  // namespace mdk
