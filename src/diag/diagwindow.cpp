#include "diagwindow.h"

#include "diagplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void ShowDiagWindow(QWidget *mainWindow, QWidget *window)
{
    if (!mainWindow || !window)
        return;
    const QRect main = mainWindow->frameGeometry();
    // Before its first showing the window has no frame yet: reckon with the main window's.
    QSize outer = window->frameGeometry().size();
    if (!window->testAttribute(Qt::WA_WState_Created) || outer == window->size())
        outer = window->size() + (main.size() - mainWindow->size());
    QScreen *screen = QGuiApplication::screenAt(main.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(main.topLeft(), main.size() + outer);
    window->move(DiagWindowPlace(main, outer, work));
    window->show();
    window->raise();
    window->activateWindow();
}
