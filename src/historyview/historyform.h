#pragma once

#include "historyexport.h"
#include "historyrange.h"
#include "historystore.h"

#include <QPoint>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;

// The chart of a host's history: a time axis over the range shown, at coarse zoom a band from
// the lowest to the highest RTT with the mean as a line and the loss as a bar in a strip of its
// own, at fine zoom each result as a point in the frame chart's colours (a miss as a cross in
// the loss strip, so that no state is told by colour alone). The wheel and +/- zoom, a drag
// and the arrow keys pan; what the user asks for is handed to the window, which sets the range.
class THistoryChart : public QWidget
{
    Q_OBJECT
public:
    explicit THistoryChart(QWidget *parent = nullptr);

    void setView(const HistoryRange::View &view);
    const HistoryRange::View &view() const { return m_view; }
    // The columns of pixels the data is reduced to.
    int plotWidth() const;
    // The time axis' labels: times of day, with the date where the range crosses midnight.
    static QString axisLabel(qint64 ms, qint64 fromMs, qint64 toMs);

    // Tinted to reach 3:1 against a light background (and the chart's own hues on a dark one).
    static QColor replyColour(bool dark), foreignColour(bool dark), missColour(bool dark), bandColour(bool dark);

signals:
    // Zoom by a factor (above 1 is out) around a time; pan by a part of the range shown.
    void zoomRequested(double factor, qint64 aroundMs);
    void panRequested(double fraction);
    void panByMs(qint64 ms);
    // The chart's width changed: the view is to be read again for its pixels.
    void widthChanged();

protected:
    void paintEvent(QPaintEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    QSize sizeHint() const override { return { 720, 260 }; }

private:
    QRect plotRect() const;
    qint64 timeAt(int x) const;

    HistoryRange::View m_view;
    bool m_dragging = false;
    QPoint m_dragFrom;
};

// The history window of one host: the chart over a range from five minutes to everything kept,
// presets, the host's outages in the range, and the export of the range as CSV. It reads the
// store as a reader, only the range shown, and follows the present while its range ends there.
class THistoryForm : public QWidget
{
    Q_OBJECT
public:
    static constexpr qint64 kMinSpanMs = 5 * 60000;
    static constexpr int kMaxOutagesShown = 1000;

    THistoryForm(const QString &dir, const QString &identity, QWidget *parent = nullptr);
    ~THistoryForm() override;

    QString identity() const { return m_identity; }
    qint64 fromMs() const { return m_from; }
    qint64 toMs() const { return m_to; }
    // Shows the range, kept between five minutes and everything kept, and not past now.
    void setRange(qint64 fromMs, qint64 toMs);
    // The last span of this length.
    void showLast(qint64 spanMs);
    void zoom(double factor, qint64 aroundMs);
    void pan(qint64 ms);
    // Reads the range again (new results, or a store made meanwhile).
    void reload();
    // Writes the range's results or outages as CSV to the file; false with the reason shown.
    bool exportTo(const QString &fileName, HistoryExport::Rows rows);
    // The earliest time kept of the host, or now when nothing is.
    qint64 earliestMs() const;

    // "4 min 05 s", "2 h 10 min", "3 d 4 h": a duration as the outage list shows it.
    static QString durationText(qint64 ms);

    QLabel *HostLbl, *RangeLbl, *StatusLbl;
    QPushButton *Preset1hBtn, *Preset24hBtn, *Preset7dBtn, *Preset30dBtn;
    QPushButton *ExportResultsBtn, *ExportOutagesBtn, *CloseBtn;
    THistoryChart *Chart;
    QTreeWidget *OutagesList;

protected:
    void keyPressEvent(QKeyEvent *e) override;

private:
    bool openStore();
    void askExport(HistoryExport::Rows rows);
    void fillOutages();
    void outagesFound(quint64 ticket, const QList<History::Outage> &found);
    qint64 now() const;

    QString m_dir;
    QString m_identity;
    std::unique_ptr<HistoryStore> m_store;
    qint64 m_hostId = 0;
    qint64 m_from = 0, m_to = 0;
    QTimer *m_follow;
    // The outage list's search on its own thread, and the number of searches asked for.
    QPointer<QThread> m_outagesWorker;
    quint64 m_outagesWanted = 0;
};
