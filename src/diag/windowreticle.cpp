#include "windowreticle.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace {
qulonglong handleOf(const QWidget *w)
{
    return reinterpret_cast<qulonglong>(w);
}
} // namespace

TWindowReticle::TWindowReticle(QWidget *parent)
    : QWidget(parent)
{
    resize(32, 32);
    setToolTip(QStringLiteral("Drag onto a control of this program to pick it"));
}

TWindowReticle::~TWindowReticle()
{
    if (fDragging)
        endPick();
}

QWidget *TWindowReticle::FindControl(qulonglong handle)
{
    if (!handle)
        return nullptr;
    // Compared by value only: a handle of a widget that has gone matches nothing.
    const QWidgetList all = QApplication::allWidgets();
    for (QWidget *w : all)
        if (handleOf(w) == handle)
            return w;
    return nullptr;
}

void TWindowReticle::ClearWindowInfo()
{
    fWindowHandle = 0;
    fWindowCaption.clear();
    fWindowClass.clear();
    fAncestorHandle = 0;
    fAncestorClass.clear();
    fAncestorCaption.clear();
}

QWidget *TWindowReticle::WindowAtPoint(const QPoint &pos) const
{
    return QApplication::widgetAt(mapToGlobal(pos));
}

void TWindowReticle::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::red, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRect(QPoint(w / 6, h / 6), QPoint(w - w / 6, h - h / 6)));
    p.drawEllipse(QRect(QPoint(w / 3, h / 3), QPoint(w - w / 3, h - h / 3)));
    if (!fDragging) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(w / 2, 0, w / 2, h - 1);
        p.drawLine(0, h / 2, w - 1, h / 2);
    }
}

void TWindowReticle::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || fDragging)
        return;
    ClearWindowInfo();
    fDragging = true;
    grabMouse();
    QApplication::setOverrideCursor(Qt::CrossCursor);
    update();
}

void TWindowReticle::mouseMoveEvent(QMouseEvent *e)
{
    if (fDragging)
        followPointer(e->position().toPoint());
}

void TWindowReticle::followPointer(const QPoint &pos)
{
    QWidget *w = WindowAtPoint(pos);
    if (handleOf(w) == fWindowHandle)
        return;
    ClearWindowInfo();
    fWindowHandle = handleOf(w);
    if (w) {
        fWindowClass = QString::fromLatin1(w->metaObject()->className()).left(kTextLimit);
        fWindowCaption = w->windowTitle().left(kTextLimit);
        if (!w->isWindow()) {
            QWidget *top = w->window();
            fAncestorHandle = handleOf(top);
            fAncestorClass = QString::fromLatin1(top->metaObject()->className()).left(kTextLimit);
            fAncestorCaption = top->windowTitle().left(kTextLimit);
        }
    }
    emit OnWindowChange();
}

void TWindowReticle::mouseReleaseEvent(QMouseEvent *e)
{
    if (!fDragging)
        return;
    // The drop point decides, even when no move was reported on the way there.
    followPointer(e->position().toPoint());
    endPick();
    emit OnDropSelect();
}

void TWindowReticle::hideEvent(QHideEvent *e)
{
    // A pick cut short by the window going away ends without a drop.
    if (fDragging)
        endPick();
    QWidget::hideEvent(e);
}

void TWindowReticle::endPick()
{
    fDragging = false;
    releaseMouse();
    QApplication::restoreOverrideCursor();
    update();
}
