#include "popupmenu.h"

bool TPopupMenu::prepareFor(QWidget *component)
{
    PopupComponent = component;
    return !OnPopup || OnPopup(this);
}

void TPopupMenu::popupFor(QWidget *component, const QPoint &globalPos)
{
    if (prepareFor(component))
        exec(globalPos);
}
