#include "balloonhint.h"

#include <QRect>
#include <QToolTip>
#include <QWidget>

TBalloonHint::TBalloonHint(QObject *parent)
    : QObject(parent)
{
}

void TBalloonHint::ActivateHint(QWidget *anchor, const QString &title, const QString &text, int visibleMs)
{
    m_title = title;
    m_text = text;
    m_anchor = anchor;
    m_ms = visibleMs;
    const QString html = QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), text.toHtmlEscaped());
    const QPoint at = anchor->mapToGlobal(QPoint(anchor->width() / 2, anchor->height()));
    QToolTip::showText(at, html, anchor, QRect(), visibleMs);
}
