#include "compactrow.h"

#include "hoststate.h"

#include <QPaintEvent>
#include <QPainter>

namespace {
constexpr int kGap = 6;
} // namespace

TCompactRow::TCompactRow(const OutcomeHistory &history, QWidget *parent)
    : QWidget(parent)
    , m_history(history)
{
    setObjectName(QStringLiteral("CompactRow"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

TCompactRow::Columns TCompactRow::columns() const
{
    Columns c;
    const QFontMetrics fm = fontMetrics();
    const QRect r = rect();
    if (r.height() < fm.height()) {
        // Inside its outline.
        c.strip = r.adjusted(1, 1, -1, -1);
        return c;
    }
    // Host, RTT and loss always; the address where the strip keeps at least half the row.
    // The columns depend on the width alone, so that the rows of a column line up.
    const int addressW = fm.horizontalAdvance(QStringLiteral("255.255.255.255")) + kGap;
    const int hostW = std::clamp(r.width() / 5, std::min(addressW, r.width() / 3), 2 * addressW);
    const int rttW = fm.horizontalAdvance(QStringLiteral("4000 ms")) + kGap;
    const int lossW = fm.horizontalAdvance(QStringLiteral("100.0 %")) + kGap;
    const bool withAddress = hostW + addressW + rttW + lossW <= r.width() / 2;
    int x = r.left() + 2;
    auto take = [&](int w) {
        const QRect col(x, r.top(), w, r.height());
        x += w;
        return col;
    };
    c.host = take(hostW);
    if (withAddress)
        c.address = take(addressW);
    c.rtt = take(rttW);
    c.loss = take(lossW);
    c.strip = QRect(x, r.top() + 1, std::max(0, r.right() - x), std::max(0, r.height() - 2));
    return c;
}

QRect TCompactRow::stripRect() const
{
    return m_columns.strip;
}

void TCompactRow::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    m_columns = columns();
}

void TCompactRow::setFigures(const Figures &f)
{
    const bool hostChanged = f.host != m_figures.host;
    const bool textChanged
        = hostChanged || f.address != m_figures.address || f.rtt != m_figures.rtt || f.loss != m_figures.loss;
    m_figures = f;
    if (hostChanged)
        update();
    else if (textChanged)
        update(QRect(0, 0, m_columns.strip.left(), height()));
    if (!hostChanged)
        update(m_columns.strip.adjusted(-1, -1, 1, 1));
}

void TCompactRow::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    p.fillRect(e->rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    const auto text = [&](const QRect &r, const QString &t, Qt::Alignment a) {
        if (r.isValid() && r.intersects(e->rect()))
            p.drawText(r.adjusted(0, 0, -kGap / 2, 0), int(a | Qt::AlignVCenter),
                fontMetrics().elidedText(t, Qt::ElideRight, r.width() - kGap / 2));
    };
    text(m_columns.host, m_figures.host, Qt::AlignLeft);
    text(m_columns.address, m_figures.address, Qt::AlignLeft);
    text(m_columns.rtt, m_figures.rtt, Qt::AlignRight);
    text(m_columns.loss, m_figures.loss, Qt::AlignRight);

    const QRect strip = m_columns.strip;
    if (strip.width() <= 0 || strip.height() <= 0 || !strip.adjusted(-1, -1, 1, 1).intersects(e->rect()))
        return;
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    // The outline lies just outside the cells.
    p.setPen(QColor::fromRgb(QRgb(HostState::outline(dark))));
    p.drawRect(strip.adjusted(-1, -1, 0, 0));
    const QList<EchoOutcome> &window = m_history.window();
    const int cell = CompactRow::cellWidth(m_history.capacity(), strip.width());
    const int shown = CompactRow::cellsShown(int(window.size()), strip.width() / cell);
    int x = strip.right() + 1 - shown * cell;
    for (qsizetype i = window.size() - shown; i < window.size(); ++i, x += cell) {
        const EchoOutcome &o = window.at(i);
        p.fillRect(QRect(x, strip.top(), cell, strip.height()),
            QColor::fromRgb(QRgb(CompactRow::cellColour(o.kind, o.rtt, m_figures.high, dark))));
    }
}
