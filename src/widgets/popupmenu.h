#pragma once

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
    void popupFor(QWidget *component, const QPoint &globalPos);
    // Prepares the menu for component as an opening would (runs OnPopup) without showing it.
    bool prepareFor(QWidget *component);
};
