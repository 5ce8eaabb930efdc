#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class HostProbe;

// The watched hosts in the board's order: column 1 from the top, then column 2, then the ping
// windows. Whoever owns the probes tells it the whole order after each change (sync); it says
// which rows came, went or moved, and which row's host has news (a result, a failed lookup, a
// start or a stop). Views, the summary and the watches follow it instead of walking widgets.
class HostCollection : public QObject
{
    Q_OBJECT
public:
    enum class Place { Column1, Column2, Window };
    struct Entry
    {
        QPointer<HostProbe> probe;
        QString name; // the frame's or window's name, as the board gives it
        Place place = Place::Column1;
    };

    explicit HostCollection(QObject *parent = nullptr);

    int count() const { return int(m_entries.size()); }
    const Entry &at(int row) const { return m_entries.at(row); }
    const QList<Entry> &entries() const { return m_entries; }
    // -1 for a probe that is not here.
    int rowOf(const HostProbe *probe) const { return m_rows.value(probe, -1); }

    // Makes the collection what `entries` says, in that order: rows that went are removed,
    // new ones inserted, the others moved and renamed as needed. Null probes are skipped.
    void sync(const QList<Entry> &entries);
    // The probe's state may have changed without a result (started, stopped, restarted).
    void touch(const HostProbe *probe);

signals:
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved(int first, int last);
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted(int first, int last);
    // The order or the names changed with the same probes: every row may stand elsewhere.
    void layoutAboutToBeChanged();
    void layoutChanged();
    // Whatever the row shows may have changed.
    void hostChanged(int row);

private:
    void watch(HostProbe *probe);
    void reindex();

    QList<Entry> m_entries;
    QHash<const HostProbe *, int> m_rows;
};
