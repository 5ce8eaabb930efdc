#include "formmagnet.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QList>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace {
// Every magnet, in the order their windows were made: the order in which other windows'
// adjustments are applied, the later overriding the earlier.
QList<TJvFormMagnet *> &magnets()
{
    static QList<TJvFormMagnet *> all;
    return all;
}

std::int64_t steadyNow()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    // Never 0, which stands for "no snap yet", and clear of the hold at start.
    return clock.elapsed() + 1000000;
}
} // namespace

TJvFormMagnet::TJvFormMagnet(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    setObjectName(QStringLiteral("JvFormMagnet"));
    magnets().append(this);
    window->installEventFilter(this);
}

TJvFormMagnet::~TJvFormMagnet()
{
    magnets().removeAll(this);
}

bool TJvFormMagnet::PlatformPlacesWindows()
{
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

QRect TJvFormMagnet::workArea() const
{
    QScreen *screen = QGuiApplication::screenAt(m_last.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

bool TJvFormMagnet::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // Whatever the window manager does until the window is on screen is its placement.
        m_placed = false;
        m_last = m_window->frameGeometry();
        break;
    case QEvent::Expose:
    case QEvent::UpdateRequest:
    case QEvent::Paint:
        if (!m_placed && m_window->isVisible() && m_window->windowHandle() && m_window->windowHandle()->isExposed()) {
            m_placed = true;
            m_last = m_window->frameGeometry();
        }
        break;
    case QEvent::Resize:
        // A resize from the left or top border also moves the window; Qt tells of the new
        // size first, while the widget still stands at the old position.
        if (event->spontaneous() && m_window->windowHandle() && m_window->windowHandle()->position() != m_window->pos())
            m_resizing = true;
        m_last = m_window->frameGeometry();
        break;
    case QEvent::Move:
        // Only the window system's report of a move (a spontaneous event) can be the user's;
        // a move made by our code arrives as a sent event.
        if (event->spontaneous() && !m_correcting && m_placed && m_window->isVisible())
            userMoved();
        else
            m_last = m_window->frameGeometry();
        m_resizing = false;
        break;
    default:
        break;
    }
    return false;
}

void TJvFormMagnet::userMoved()
{
    const QRect proposed = m_window->frameGeometry();
    // Only a move that keeps the size is a drag; a move that comes with a new size is the
    // user pulling the left or top border, which must not snap.
    const bool resized = std::exchange(m_resizing, false) || proposed.size() != m_last.size()
        || (m_window->windowHandle() && m_window->windowHandle()->size() != m_window->size());
    if (!Active || !PlatformPlacesWindows() || resized || proposed.topLeft() == m_last.topLeft()) {
        m_last = proposed;
        return;
    }
    QList<QRect> others;
    if (FormMagnet)
        for (TJvFormMagnet *m : magnets())
            if (m != this && m->Active && m->m_window->isVisible() && !m->m_window->isMinimized())
                others.append(m->m_window->frameGeometry());
    const QRect area = ScreenMagnet ? workArea() : QRect();
    const Snapping::Result r = Snapping::snap(proposed, m_last, area, others, m_docks, steadyNow(), Area);
    m_docks = r.timers;
    if (r.rect.topLeft() != proposed.topLeft()) {
        m_correcting = true;
        m_window->move(r.rect.topLeft()); // a window's position is that of its frame
        m_correcting = false;
    }
    // Where we asked it to go: the window system may confirm that later, or not at all.
    m_last = r.rect;
}
