#pragma once

#include "hostcollection.h"
#include "hostspec.h"
#include "hoststate.h"
#include "linkstats.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QSortFilterProxyModel>

#include <optional>

// One row per watched host of a HostCollection, in its order. A row's figures are worked out
// once when its host has news and read from there, so sorting thousands of rows costs no
// more than comparing numbers.
class HostTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { State, Host, Label, Address, Rtt, Low, Avg, High, Loss, Jitter, DownFor, Results, ColumnCount };
    enum Role {
        SortRole = Qt::UserRole + 1, // a number or a text that sorts the column
        StateRole, // int(HostState::State)
        OutcomesRole, // QList<EchoOutcome>, oldest first: the result strip's cells
        ProbeRole, // the HostProbe, as a QObject *
        LossRole, // double, percent
        RttRole, // int ms of the newest reply, -1 when the newest result is none
        PlaceRole, // int(HostCollection::Place)
        CapacityRole, // how many results the strip keeps
    };

    explicit HostTableModel(HostCollection *hosts, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    HostCollection *hosts() const { return m_hosts; }
    HostState::State stateAt(int row) const { return m_rows.at(row).state; }
    // "down for 5 min 12 s", "down for 40 s".
    static QString durationWords(qint64 seconds);

private:
    struct Row
    {
        QString text;
        HostSpec parsed;
        HostState::State state = HostState::State::Stopped;
        int rtt = -1;
        LinkStats::LowAvgHigh lah;
        LinkStats::Figures figures;
        QDateTime downSince;
        bool hasReply = false;
    };
    Row compute(int row) const;
    void refresh(int row);

    QPointer<HostCollection> m_hosts;
    QList<Row> m_rows;
    QModelIndexList m_layoutIndexes;
    QList<const QObject *> m_layoutProbes;
};

// The overview's view of the model: its own order (the board's order stays), a "problems
// first" order, and filters by state and by text (host, label or address).
class HostFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit HostFilterModel(QObject *parent = nullptr);

    // Worst state first, then by loss, then by round-trip time (both highest first): the
    // order of the state column.
    void sortProblemsFirst() { sort(HostTableModel::State, Qt::AscendingOrder); }
    void setStateFilter(std::optional<HostState::State> state);
    std::optional<HostState::State> stateFilter() const { return m_state; }
    void setTextFilter(const QString &text);
    QString textFilter() const { return m_text; }
    // Only the hosts of one column (or the ping windows).
    void setPlaceFilter(std::optional<HostCollection::Place> place);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    std::optional<HostState::State> m_state;
    std::optional<HostCollection::Place> m_place;
    QString m_text;
};
