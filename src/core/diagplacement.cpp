#include "diagplacement.h"

QPoint DiagWindowPlace(const QRect &mainWindow, const QSize &window, const QRect &workArea)
{
    const int workRight = workArea.x() + workArea.width();
    const int workBottom = workArea.y() + workArea.height();
    if (mainWindow.x() + mainWindow.width() + window.width() < workRight)
        return { mainWindow.x() + mainWindow.width(), mainWindow.y() };
    if (mainWindow.y() + mainWindow.height() + window.height() >= workBottom)
        return { workArea.x() + (workArea.width() - window.width()) / 2,
            workArea.y() + (workArea.height() - window.height()) / 2 };
    return { mainWindow.x(), mainWindow.y() + mainWindow.height() };
}
