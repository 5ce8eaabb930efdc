#include "pingchart.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QHash>
#include <QStaticText>
#include <QVarLengthArray>

#include <climits>

#include <cmath>

namespace ChartTicks {

double niceStep(double span, int maxTicks)
{
    if (span <= 0 || maxTicks < 1)
        return 1;
    const double raw = span / maxTicks;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : { 1.0, 2.0, 5.0, 10.0 })
        if (m * mag >= raw)
            return m * mag;
    return 10 * mag;
}

int timeStepSeconds(double spanSeconds, int maxTicks)
{
    static constexpr int steps[]
        = { 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400 };
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
    m_points.append({ x.toMSecsSinceEpoch(), y, colour.rgb() });
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
    p.setFont(font());
    Draw(p);
}

namespace {
constexpr qreal kMarkRadius = 1.8;

// A point's colour as drawn: dark colours (the reply green) are lightened on a dark
// background so that the series stays readable in a dark look.
QRgb readableOn(QRgb colour, const QColor &base)
{
    const QColor c = QColor::fromRgb(colour);
    return base.lightness() < 128 && c.lightness() < 100 ? c.lighter(170).rgb() : colour;
}

const QPixmap &pointMark(QRgb colour, qreal dpr)
{
    static QHash<QPair<QRgb, int>, QPixmap> cache;
    const QPair<QRgb, int> key(colour, int(dpr * 100));
    auto it = cache.find(key);
    if (it == cache.end()) {
        const int side = int(std::ceil(2 * kMarkRadius * dpr));
        QPixmap pm(side, side);
        pm.fill(Qt::transparent);
        pm.setDevicePixelRatio(dpr);
        QPainter mp(&pm);
        mp.setRenderHint(QPainter::Antialiasing, true);
        mp.setPen(Qt::NoPen);
        mp.setBrush(QColor::fromRgb(colour));
        mp.drawEllipse(QPointF(kMarkRadius, kMarkRadius), kMarkRadius, kMarkRadius);
        it = cache.insert(key, pm);
    }
    return *it;
}

QStaticText &cachedText(const QFont &font, const QString &text);

qreal textWidth(const QFont &font, const QString &text)
{
    return cachedText(font, text).size().width();
}

// Tick labels repeat from frame to frame and from second to second: lay each text out once.
// Shared by every chart of the program, and bounded.
QStaticText &cachedText(const QFont &font, const QString &text)
{
    static QHash<QString, QStaticText> cache;
    static QFont cachedFont;
    if (font != cachedFont || cache.size() > 2048) {
        cache.clear();
        cachedFont = font;
    }
    auto it = cache.find(text);
    if (it == cache.end()) {
        QStaticText st(text);
        st.setTextFormat(Qt::PlainText);
        st.prepare(QTransform(), font);
        it = cache.insert(text, st);
    }
    return *it;
}

void drawLabel(QPainter &p, const QRect &box, Qt::Alignment align, const QString &text)
{
    const QStaticText &st = cachedText(p.font(), text);
    const QSizeF size = st.size();
    qreal x = box.left();
    if (align & Qt::AlignRight)
        x = box.right() + 1 - size.width();
    else if (align & Qt::AlignHCenter)
        x = box.left() + (box.width() - size.width()) / 2;
    qreal y = box.top();
    if (align & Qt::AlignVCenter)
        y = box.top() + (box.height() - size.height()) / 2;
    p.drawStaticText(QPointF(x, y), st);
}
} // namespace

void TPingChart::Draw(QPainter &p)
{
    const QPalette &pal = palette();
    p.fillRect(rect(), pal.base());

    const QFontMetrics fm(p.font());
    const int textH = fm.height();
    if (width() < 20 || height() < 3)
        return;
    if (height() < textH * 2 + 6) {
        // Too short for axes: the series alone, as a sparkline.
        drawSeries(p, QRectF(1, 1, width() - 2, height() - 2), effectiveMaximum());
        return;
    }

    // Left axis: 0 to the maximum in round steps; at least the two ends when space is short.
    const double maxY = effectiveMaximum();
    const int yTicks = std::max(1, (height() - textH) / (textH * 2));
    const double yStep = std::max(1.0, ChartTicks::niceStep(maxY, yTicks)); // whole milliseconds
    const int decimals = yStep >= 1 ? 0 : int(std::ceil(-std::log10(yStep)));
    const QString widest = QString::number(std::floor(maxY / yStep) * yStep, 'f', decimals);
    // Labels stay clear of the small "#" and "C" panels in the left corners.
    const int leftW = int(std::ceil(textWidth(p.font(), widest))) + 14;
    const int timeW = int(std::ceil(textWidth(p.font(), QStringLiteral("00:00:00"))));
    const QRect plot(leftW, textH / 2 + 1, width() - leftW - timeW / 2 - 2, height() - textH - textH / 2 - 4);
    if (plot.width() < 10 || plot.height() < 2)
        return;

    const QColor textColour = pal.color(QPalette::Text);
    // The grid is Mid at about a third over Base, mixed here so it draws as an opaque line.
    const QColor mid = pal.color(QPalette::Mid), base = pal.color(QPalette::Base);
    const QColor gridColour = QColor::fromRgbF(base.redF() + (mid.redF() - base.redF()) * 0.32f,
        base.greenF() + (mid.greenF() - base.greenF()) * 0.32f, base.blueF() + (mid.blueF() - base.blueF()) * 0.32f);
    auto yPos = [&](double y) { return plot.bottom() - (std::clamp(y, 0.0, maxY) / maxY) * plot.height(); };

    int lastLabelY = INT_MAX;
    for (int i = 0;; ++i) {
        const double v = i * yStep;
        if (v > maxY + yStep * 1e-9)
            break;
        const int y = int(std::lround(yPos(v)));
        if (i > 0) {
            p.setPen(gridColour);
            p.drawLine(plot.left() + 1, y, plot.right(), y);
        }
        if (lastLabelY - y >= textH) {
            p.setPen(textColour);
            drawLabel(p, QRect(0, y - textH / 2, leftW - 4, textH), Qt::AlignRight | Qt::AlignVCenter,
                QString::number(v, 'f', decimals));
            lastLabelY = y;
        }
    }
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());

    if (m_points.isEmpty())
        return;

    // Bottom axis: automatic over the points' times, ticks on round local times.
    qint64 x0 = m_points.front().x;
    qint64 x1 = m_points.back().x;
    if (x1 - x0 < 2000) {
        const qint64 mid = (x0 + x1) / 2;
        x0 = mid - 1000;
        x1 = mid + 1000;
    }
    const double span = double(x1 - x0);
    const double xScale = plot.width() / span;
    auto xPos = [&](qint64 x) { return plot.left() + double(x - x0) * xScale; };

    const qint64 offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(x0).offsetFromUtc()) * 1000;
    const int labelW = timeW + 12;
    const qint64 stepMs = qint64(ChartTicks::timeStepSeconds(span / 1000.0, std::max(1, plot.width() / labelW))) * 1000;
    const qint64 firstLocal = ((x0 + offsetMs + stepMs - 1) / stepMs) * stepMs;
    for (qint64 local = firstLocal; local - offsetMs <= x1; local += stepMs) {
        const int x = int(std::lround(xPos(local - offsetMs)));
        p.setPen(gridColour);
        p.drawLine(x, plot.top(), x, plot.bottom() - 1);
        const QRect box(x - labelW / 2, plot.bottom() + 2, labelW, textH);
        if (x - timeW / 2 < 12 || x + timeW / 2 > width()) // clear of the "C" panel and the edge
            continue;
        p.setPen(textColour);
        const QString label = QTime::fromMSecsSinceStartOfDay(int(((local % 86400000) + 86400000) % 86400000))
                                  .toString(QStringLiteral("h:mm:ss"));
        drawLabel(p, box, Qt::AlignHCenter | Qt::AlignTop, label);
    }

    drawSeries(p, plot, maxY, x0, x1);
}

void TPingChart::drawSeries(QPainter &p, const QRectF &plot, double maxY, qint64 x0, qint64 x1) const
{
    const qsizetype n = m_points.size();
    if (n == 0)
        return;
    if (x1 <= x0) {
        x0 = m_points.front().x;
        x1 = std::max(m_points.back().x, x0 + 2000);
    }
    const double xScale = plot.width() / double(x1 - x0);
    auto xPos = [&](qint64 x) { return plot.left() + double(x - x0) * xScale; };
    auto yPos = [&](double y) { return plot.bottom() - (std::clamp(y, 0.0, maxY) / maxY) * plot.height(); };
    QVarLengthArray<QPointF, 320> pts(n);
    for (qsizetype i = 0; i < n; ++i)
        pts[i] = QPointF(xPos(m_points[i].x), yPos(m_points[i].y));
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(plot.adjusted(-2, -2, 2, 2));
    // One polyline per run of points of one colour, each segment in the colour of the point
    // it leads to. A cosmetic one-pixel pen takes the rasteriser's fast path: crisp and cheap.
    qsizetype run = 1;
    while (run < n) {
        const QRgb colour = readableOn(m_points[run].rgb, palette().color(QPalette::Base));
        qsizetype end = run + 1;
        while (end < n && m_points[end].rgb == colour)
            ++end;
        QPen pen(QColor::fromRgb(colour), 1);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.drawPolyline(pts.data() + run - 1, int(end - run + 1));
        run = end;
    }
    if (n == 1 || plot.width() / double(n) >= 3) {
        // Point marks are blitted from a small pre-drawn dot per colour.
        const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
        for (qsizetype i = 0; i < n; ++i) {
            const QPixmap &dot = pointMark(readableOn(m_points[i].rgb, palette().color(QPalette::Base)), dpr);
            p.drawPixmap(pts[i] - QPointF(kMarkRadius, kMarkRadius), dot);
        }
    }
    p.restore();
}
