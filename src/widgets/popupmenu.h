#pragma once

#include <QKeyEvent>
#include <QMenu>
#include <QPointer>

#include <functional>

// A context menu that knows the control it was opened on and asks its owner first: OnPopup
// may change the items or abandon the opening by returning false.
class TPopupMenu : public QMenu
{
    Q_OBJECT
public:
    using QMenu::QMenu;

    QPointer<QWidget> PopupComponent;
    std::function<bool(TPopupMenu *)> OnPopup;

    // Opens the menu for component at a global position; returns once it has closed.
    // byKeyboard: opened by the Menu key or Shift+F10, whose Shift is not a Shift-click.
    void popupFor(QWidget *component, const QPoint &globalPos, bool byKeyboard = false);
    bool OpenedByKeyboard() const { return m_byKeyboard; }
    // Prepares the menu for component as an opening would (runs OnPopup) without showing it.
    bool prepareFor(QWidget *component);
    // Shift+F10: the desktop's key combination for a context menu, the Menu key's twin.
    static bool isContextMenuKey(const QKeyEvent *e);

private:
    bool m_byKeyboard = false;
};
