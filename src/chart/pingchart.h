#pragma once

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QWidget>

// The round-trip chart of a ping frame: one series of points (x = time of day, y = ms, a
// colour per point) drawn as one line, a bottom axis labelled "h:mm:ss" and a left axis from 0
// to a settable maximum. No legend, no title. Kept lean: a frame board holds hundreds of them.
class TPingChart : public QWidget
{
    Q_OBJECT
public:
    explicit TPingChart(QWidget *parent = nullptr);

    int Count() const { return int(m_points.size()); }
    double YValue(int index) const { return m_points.at(index).y; }
    QDateTime XValue(int index) const;
    QColor PointColor(int index) const { return QColor::fromRgb(m_points.at(index).rgb); }
    void AddXY(const QDateTime &x, double y, const QColor &colour);
    void Delete(int index);
    void Clear();

    bool LeftAutomaticMaximum() const { return m_leftAutoMax; }
    void SetLeftAutomaticMaximum(bool on);
    double LeftMaximum() const { return m_leftMax; }
    void SetLeftMaximum(double maximum);

    // Two small controls that sit in the chart's top-left and bottom-left corners.
    void SetCornerWidgets(QWidget *topLeft, QWidget *bottomLeft);

    // Paints the chart at its current size; paintEvent and benchmarks use it.
    void Draw(QPainter &p);

    QSize sizeHint() const override { return { 300, 80 }; }
    QSize minimumSizeHint() const override { return { 0, 0 }; }

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    struct Point
    {
        qint64 x; // ms since the epoch, local time
        double y;
        QRgb rgb;
    };
    double effectiveMaximum() const;
    // x0 >= x1 spans the points themselves.
    void drawSeries(QPainter &p, const QRectF &plot, double maxY, qint64 x0 = 0, qint64 x1 = 0) const;
    void placeCorners();

    QList<Point> m_points;
    bool m_leftAutoMax = false;
    double m_leftMax = 0;
    QWidget *m_topLeft = nullptr;
    QWidget *m_bottomLeft = nullptr;
};

namespace ChartTicks {
// A round step for an axis of the given span so that at most maxTicks ticks appear.
double niceStep(double span, int maxTicks);
// A step in seconds (1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h).
int timeStepSeconds(double spanSeconds, int maxTicks);
} // namespace ChartTicks
