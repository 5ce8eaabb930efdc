#include "columnpanel.h"

#include <QPainter>

TColumnPanel::TColumnPanel(QWidget *parent)
    : QFrame(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    setMinimumSize(0, 0);
}

void TColumnPanel::setCaption(const QString &caption)
{
    Caption = caption;
    update();
}

void TColumnPanel::SetPanelWidth(int width)
{
    m_panelWidth = std::max(0, width);
    updateGeometry();
}

void TColumnPanel::resizeEvent(QResizeEvent *e)
{
    QFrame::resizeEvent(e);
    for (QObject *o : children())
        if (auto *w = qobject_cast<QWidget *>(o); w && w->isWidgetType() && !w->isWindow())
            w->setGeometry(0, w->y(), width(), w->height());
}

void TColumnPanel::paintEvent(QPaintEvent *e)
{
    QFrame::paintEvent(e);
    if (Caption.isEmpty())
        return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect(), Qt::AlignCenter, Caption);
}
