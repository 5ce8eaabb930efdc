#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a diagnostics window opens, by outer bounds: to the right of the main window when it
// fits there, else centred in the work area when it would not fit below either (touching the
// bottom edge counts as not fitting), else below the main window. The work area's edges are
// taken where they are, so a screen that does not start at 0, 0 places the same way.
QPoint DiagWindowPlace(const QRect &mainWindow, const QSize &window, const QRect &workArea);
