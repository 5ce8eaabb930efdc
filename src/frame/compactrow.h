#pragma once

#include <QWidget>

class OutcomeHistory;

// The one row a frame too short for its controls draws instead of them: the host text, its
// address, the newest RTT, the loss, and a strip of one cell per recent result, newest at the
// right (a reply shaded by its RTT against the highest, an answer from another address
// amber, a timeout far lighter or darker than any reply; HostState's cellColour). A row too short for text keeps the
// strip. It takes no clicks: they go to the frame beneath, as on the designed controls.
class TCompactRow : public QWidget
{
    Q_OBJECT
public:
    TCompactRow(const OutcomeHistory &history, QWidget *parent);

    struct Figures
    {
        QString host, address, rtt, loss;
        int high = 0; // ms, the highest charted reply; 0 before any
    };
    // Repaints what changed: the figures only when they did, the strip always.
    void setFigures(const Figures &f);
    // Where the strip is drawn, in the row's coordinates.
    QRect stripRect() const;

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    struct Columns
    {
        QRect host, address, rtt, loss, strip;
    };
    Columns columns() const;

    const OutcomeHistory &m_history;
    Figures m_figures;
    Columns m_columns;
};
