#pragma once

#include <QSize>

class QWidget;

namespace WindowFrame {
// What the window frame adds to a window's client size; before the window manager has framed
// it, that of the main window (or nothing when that is not framed either).
QSize extra(const QWidget *w);
} // namespace WindowFrame
