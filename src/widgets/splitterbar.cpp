#include "splitterbar.h"

#include "columnpanel.h"

#include <QMouseEvent>
#include <QPainter>

TSplitterBar::TSplitterBar(QWidget *parent, int thickness)
    : QWidget(parent)
    , m_thickness(thickness)
{
    setFixedWidth(thickness);
    setCursor(Qt::SplitHCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void TSplitterBar::setSizedWidget(QWidget *w, Sizes side)
{
    m_sized = w;
    m_side = side;
}

void TSplitterBar::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || !m_sized)
        return;
    m_dragging = true;
    m_pressX = int(e->globalPosition().x());
    m_startWidth = m_sized->width();
}

void TSplitterBar::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_dragging)
        return;
    const int dx = int(e->globalPosition().x()) - m_pressX;
    const int w = std::max(0, m_side == Sizes::RightNeighbour ? m_startWidth - dx : m_startWidth + dx);
    if (auto *column = qobject_cast<TColumnPanel *>(m_sized))
        column->SetPanelWidth(w);
    else
        m_sized->setFixedWidth(w);
    emit moved();
}

void TSplitterBar::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
}

void TSplitterBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().mid().color());
    p.drawLine(width() / 2, 0, width() / 2, height());
}
