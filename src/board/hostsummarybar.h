#pragma once

#include "hoststate.h"

#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QTimer;
class TFrameBoard;

// The line under the board that counts its hosts and their problems, "150 hosts · 5 down",
// with a field that filters the overviews. Activating a count (a click, or Tab and Enter)
// shows only the hosts in that state; activating it again shows all.
class THostSummaryBar : public QWidget
{
    Q_OBJECT
public:
    explicit THostSummaryBar(TFrameBoard *board, QWidget *parent = nullptr);

    QLabel *summaryLabel() const { return m_label; }
    QLineEdit *filterEdit() const { return m_filter; }
    // The summary as plain text, as shown.
    QString text() const;
    std::optional<HostState::State> stateFilter() const { return m_state; }
    void setStateFilter(std::optional<HostState::State> state);
    // Counts again now rather than at the next turn of the short timer.
    void refresh();

private:
    void applyFilters();

    TFrameBoard *m_board;
    QLabel *m_label;
    QLineEdit *m_filter;
    QTimer *m_timer;
    std::optional<HostState::State> m_state;
    QString m_text;
};
