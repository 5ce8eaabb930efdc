#pragma once

#include "hostcollection.h"
#include "linkstats.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <optional>

class HostFilterModel;
class HostProbe;
class HostTableModel;
class QTableView;

// A column's hosts as one table when its frames are too short for their controls: a row per
// host at least a line of text tall, scrolling, sortable by any column (the view's order
// only: the board keeps its own), with the state in colour, glyph and words and a strip of
// the recent results. A row takes the focus; Enter, a double click and the popup menu act on
// the host's frame through the signals.
class THostOverview : public QWidget
{
    Q_OBJECT
public:
    THostOverview(HostTableModel *model, HostCollection::Place place, QWidget *parent = nullptr);

    QTableView *view() const { return m_view; }
    HostFilterModel *filter() const { return m_filter; }
    // The probe of the row with the focus, or null.
    HostProbe *currentProbe() const;

    // A result's cell in the strip, 0xRRGGBB: a reply shaded by its RTT on a logarithmic scale
    // (1, 20, 100 and 1000 ms apart), the other kinds in the board's colours.
    static std::uint32_t cellColour(EchoOutcome::Kind kind, int rtt, bool dark);
    // Glyphs that tell the states apart without colour.
    static QString glyph(int state);

signals:
    void activated(HostProbe *probe);
    // The popup menu for the host, at a global position.
    void menuRequested(HostProbe *probe, const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    HostProbe *probeAt(const QModelIndex &proxyIndex) const;

    HostTableModel *m_model;
    HostFilterModel *m_filter;
    QTableView *m_view;
};
