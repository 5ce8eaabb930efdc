#include "pingchart.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ChartTicks {

double niceStep(double span, int maxTicks)
{
    if (span <= 0 || maxTicks < 1)
        return 1;
    const double raw = span / maxTicks;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * mag >= raw)
            return m * mag;
    return 10 * mag;
}

int timeStepSeconds(double spanSeconds, int maxTicks)
{
    static constexpr int steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    maxTicks = std::max(1, maxTicks);
    for (int s : steps)
        if (spanSeconds / s <= maxTicks)
            return s;
    return 86400;
}

} // namespace ChartTicks

TPingChart::TPingChart(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QDateTime TPingChart::XValue(int index) const
{
    return QDateTime::fromMSecsSinceEpoch(m_points.at(index).x);
}

void TPingChart::AddXY(const QDateTime &x, double y, const QColor &colour)
{
    m_points.append({x.toMSecsSinceEpoch(), y, colour.rgb()});
    update();
}

void TPingChart::Delete(int index)
{
    m_points.remove(index);
    update();
}

void TPingChart::Clear()
{
    m_points.clear();
    update();
}

void TPingChart::SetLeftAutomaticMaximum(bool on)
{
    m_leftAutoMax = on;
    update();
}

void TPingChart::SetLeftMaximum(double maximum)
{
    m_leftMax = maximum;
    update();
}

void TPingChart::SetCornerWidgets(QWidget *topLeft, QWidget *bottomLeft)
{
    m_topLeft = topLeft;
    m_bottomLeft = bottomLeft;
    placeCorners();
}

void TPingChart::placeCorners()
{
    if (m_topLeft)
        m_topLeft->move(0, 0);
    if (m_bottomLeft)
        m_bottomLeft->move(0, std::max(0, height() - m_bottomLeft->height()));
}

void TPingChart::resizeEvent(QResizeEvent *)
{
    placeCorners();
}

double TPingChart::effectiveMaximum() const
{
    double maxY = m_leftMax;
    if (m_leftAutoMax) {
        maxY = 0;
        for (const Point &p : m_points)
            maxY = std::max(maxY, p.y);
    }
    return maxY > 0 ? maxY : 1;
}

void TPingChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette &pal = palette();
    p.fillRect(rect(), pal.base());

    const QFontMetrics fm(font());
    const int textH = fm.height();
    if (height() < textH * 2 + 4 || width() < 40)
        return;

    const double maxY = effectiveMaximum();
    const int yTicks = std::max(1, (height() - textH) / (textH * 2));
    const double yStep = ChartTicks::niceStep(maxY, yTicks);
    const int decimals = yStep >= 1 ? 0 : int(std::ceil(-std::log10(yStep)));
    const QString widest = QString::number(std::floor(maxY / yStep) * yStep, 'f', decimals);
    const int leftW = fm.horizontalAdvance(widest) + 8;
    const QRect plot(leftW, textH / 2 + 2, width() - leftW - fm.horizontalAdvance(QStringLiteral("00:00:00")) / 2 - 2,
                     height() - textH - textH / 2 - 6);
    if (plot.width() < 10 || plot.height() < 4)
        return;

    const QColor textColour = pal.color(QPalette::Text);
    QColor gridColour = pal.color(QPalette::Mid);
    gridColour.setAlpha(90);

    auto yPos = [&](double y) { return plot.bottom() - (std::clamp(y, 0.0, maxY) / maxY) * plot.height(); };

    // Left axis and horizontal grid.
    p.setPen(textColour);
    for (int i = 0;; ++i) {
        const double v = i * yStep;
        if (v > maxY + yStep * 1e-9)
            break;
        const int y = int(std::lround(yPos(v)));
        p.setPen(gridColour);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(textColour);
        p.drawText(QRect(0, y - textH / 2, leftW - 4, textH), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'f', decimals));
    }
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());

    if (m_points.isEmpty())
        return;

    // Bottom axis: automatic over the points' times.
    qint64 x0 = m_points.front().x;
    qint64 x1 = m_points.back().x;
    if (x1 - x0 < 2000) {
        const qint64 mid = (x0 + x1) / 2;
        x0 = mid - 1000;
        x1 = mid + 1000;
    }
    const double span = double(x1 - x0);
    auto xPos = [&](qint64 x) { return plot.left() + (double(x - x0) / span) * plot.width(); };

    const int labelW = fm.horizontalAdvance(QStringLiteral("00:00:00")) + 12;
    const int step = ChartTicks::timeStepSeconds(span / 1000.0, std::max(1, plot.width() / labelW));
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(x0);
    const qint64 dayStartMs = first.date().startOfDay().toMSecsSinceEpoch();
    qint64 tick = dayStartMs + ((x0 - dayStartMs + step * 1000 - 1) / (step * 1000)) * step * 1000;
    for (; tick <= x1; tick += qint64(step) * 1000) {
        const int x = int(std::lround(xPos(tick)));
        p.setPen(gridColour);
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(textColour);
        const QString label = QDateTime::fromMSecsSinceEpoch(tick).time().toString(QStringLiteral("h:mm:ss"));
        p.drawText(QRect(x - labelW / 2, plot.bottom() + 3, labelW, textH), Qt::AlignHCenter | Qt::AlignTop, label);
    }

    // The series: each segment in the colour of the point it leads to, each point marked.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(plot.adjusted(-2, -2, 2, 2));
    const qreal lineW = 1.5;
    QPointF prev(xPos(m_points.front().x), yPos(m_points.front().y));
    for (qsizetype i = 1; i < m_points.size(); ++i) {
        const Point &pt = m_points[i];
        const QPointF cur(xPos(pt.x), yPos(pt.y));
        p.setPen(QPen(QColor::fromRgb(pt.rgb), lineW));
        p.drawLine(prev, cur);
        prev = cur;
    }
    if (plot.width() / std::max<qsizetype>(1, m_points.size()) >= 3) {
        p.setPen(Qt::NoPen);
        for (const Point &pt : m_points) {
            p.setBrush(QColor::fromRgb(pt.rgb));
            p.drawEllipse(QPointF(xPos(pt.x), yPos(pt.y)), 1.8, 1.8);
        }
    }
}
