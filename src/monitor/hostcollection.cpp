#include "hostcollection.h"

#include "hostprobe.h"

#include <QSet>

HostCollection::HostCollection(QObject *parent)
    : QObject(parent)
{
}

void HostCollection::reindex()
{
    m_rows.clear();
    m_rows.reserve(m_entries.size());
    for (int i = 0; i < m_entries.size(); ++i)
        m_rows.insert(m_entries.at(i).probe.data(), i);
}

void HostCollection::watch(HostProbe *probe)
{
    auto changed = [this, probe] { touch(probe); };
    connect(probe, &HostProbe::resultProcessed, this, changed);
    connect(probe, &HostProbe::lookupFailed, this, changed);
    connect(probe, &HostProbe::cycleBeginning, this, changed);
    connect(probe, &HostProbe::destroyed, this, [this, probe] {
        // A probe freed without a sync first leaves at once, so no row points at nothing.
        const int row = m_rows.value(probe, -1);
        if (row < 0)
            return;
        emit rowsAboutToBeRemoved(row, row);
        m_entries.removeAt(row);
        reindex();
        emit rowsRemoved(row, row);
    });
}

void HostCollection::touch(const HostProbe *probe)
{
    const int row = rowOf(probe);
    if (row >= 0)
        emit hostChanged(row);
}

void HostCollection::sync(const QList<Entry> &wanted)
{
    QList<Entry> next;
    QSet<const HostProbe *> kept;
    next.reserve(wanted.size());
    for (const Entry &e : wanted)
        if (e.probe && !kept.contains(e.probe.data())) {
            kept.insert(e.probe.data());
            next.append(e);
        }

    // Rows that went, from the bottom so that the rows above keep their numbers.
    for (int row = int(m_entries.size()) - 1; row >= 0; --row) {
        const HostProbe *p = m_entries.at(row).probe.data();
        if (p && kept.contains(p))
            continue;
        emit rowsAboutToBeRemoved(row, row);
        if (p)
            disconnect(p, nullptr, this, nullptr);
        m_entries.removeAt(row);
        emit rowsRemoved(row, row);
    }
    reindex();

    // New rows go to the end for now; the layout step below puts them in place.
    for (const Entry &e : std::as_const(next)) {
        if (m_rows.contains(e.probe.data()))
            continue;
        const int row = int(m_entries.size());
        emit rowsAboutToBeInserted(row, row);
        m_entries.append(e);
        m_rows.insert(e.probe.data(), row);
        watch(e.probe.data());
        emit rowsInserted(row, row);
    }

    bool same = true;
    for (int i = 0; i < next.size() && same; ++i) {
        const Entry &a = m_entries.at(i), &b = next.at(i);
        same = a.probe == b.probe && a.name == b.name && a.place == b.place;
    }
    if (same)
        return;
    emit layoutAboutToBeChanged();
    m_entries = next;
    reindex();
    emit layoutChanged();
}
