#include "windowframe.h"

#include <QApplication>
#include <QMainWindow>
#include <QWidget>

QSize WindowFrame::extra(const QWidget *w)
{
    QSize extra = w->frameGeometry().size() - w->size();
    if (extra.isEmpty() && w->isWindow())
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *main = qobject_cast<QMainWindow *>(top); main && main != w) {
                extra = main->frameGeometry().size() - main->size();
                break;
            }
    return extra.expandedTo(QSize(0, 0));
}
