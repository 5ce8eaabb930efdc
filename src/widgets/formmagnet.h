#pragma once

#include "snapping.h"

#include <QObject>
#include <QRect>

class QWidget;

// Makes its window snap to the edges of the screen's work area and to the other windows that
// carry an active magnet, while the user drags it. The window system reports a user's move
// after the fact; the magnet then corrects the position (see Snapping::snap). Moves made by the
// program, and the window manager's first placement of a newly shown window, never snap.
// Where the platform does not let a program place its windows (Wayland), the magnet does
// nothing and the window manager's own behaviour applies.
class TJvFormMagnet : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Active MEMBER Active)
    Q_PROPERTY(bool ScreenMagnet MEMBER ScreenMagnet)
    Q_PROPERTY(bool FormMagnet MEMBER FormMagnet)
    Q_PROPERTY(bool MainFormMagnet MEMBER MainFormMagnet)
    Q_PROPERTY(bool FormGlue MEMBER FormGlue)
    Q_PROPERTY(int Area MEMBER Area)
public:
    // Watches `window`, a top-level widget, which also owns the magnet.
    explicit TJvFormMagnet(QWidget *window);
    ~TJvFormMagnet() override;

    bool Active = true;
    bool ScreenMagnet = true; // snap to the work area of the nearest monitor
    bool FormMagnet = true; // snap to other windows with an active magnet
    bool MainFormMagnet = false; // the main window carries no magnet, so this changes nothing
    bool FormGlue = false; // other windows are never dragged along
    int Area = Snapping::kDefaultArea;

    // Time of the last snap on each side (FLastLeftDock, FLastRightDock, FLastTopDock,
    // FLastBottomDock), in milliseconds of a steady clock; 0 until the first snap.
    Snapping::Timers Docks() const { return m_docks; }

    // Whether this platform lets a program move its top-level windows (not so on Wayland).
    static bool PlatformPlacesWindows();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void userMoved();
    QRect workArea() const;

    QWidget *m_window;
    Snapping::Timers m_docks;
    QRect m_last; // the window's frame where it last stood
    bool m_placed = false; // the window system has placed the shown window
    bool m_correcting = false;
    bool m_resizing = false; // a border resize that moves the window is being reported
};
