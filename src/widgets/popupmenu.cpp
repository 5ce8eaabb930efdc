#include "popupmenu.h"

bool TPopupMenu::prepareFor(QWidget *component)
{
    PopupComponent = component;
    return !OnPopup || OnPopup(this);
}

void TPopupMenu::popupFor(QWidget *component, const QPoint &globalPos, bool byKeyboard)
{
    m_byKeyboard = byKeyboard;
    const bool open = prepareFor(component);
    m_byKeyboard = false;
    if (open)
        exec(globalPos);
}

bool TPopupMenu::isContextMenuKey(const QKeyEvent *e)
{
    return e->key() == Qt::Key_F10 && (e->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
}
