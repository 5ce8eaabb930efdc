#include "metricsstore.h"

#include "hoststate.h"

#include <QMutexLocker>

#include <algorithm>

MetricsStore::Identity MetricsStore::Identity::of(const QString &frame, const QString &hostText, const QString &ip)
{
    const HostText::Parts parts = HostText::split(hostText);
    return { frame, hostText, parts.address, ip, parts.label };
}

void MetricsStore::setIdentity(std::uintptr_t probe, const Identity &identity)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(probe);
    // Naming a series as it is already named changes no output.
    if (it != m_entries.end() && it->second.series.id == identity)
        return;
    ++m_generation;
    if (it == m_entries.end()) {
        m_entries.emplace(probe, Entry { m_nextOrder++, Series { identity }, true });
        return;
    }
    Series &s = it->second.series;
    if (s.id.host != identity.host)
        s = Series { identity };
    else
        s.id = identity;
}

void MetricsStore::countRequest(std::uintptr_t probe)
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    if (auto it = m_entries.find(probe); it != m_entries.end())
        ++it->second.series.requests;
}

void MetricsStore::record(std::uintptr_t probe, EchoOutcome::Kind kind, int rttMs, bool up, double lossRatio)
{
    static constexpr auto edges = bucketEdges();
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    auto it = m_entries.find(probe);
    if (it == m_entries.end())
        return;
    Series &s = it->second.series;
    switch (kind) {
    case EchoOutcome::Reply: {
        ++s.replies;
        const double seconds = std::max(rttMs, 0) / 1000.0;
        s.rttSumSeconds += seconds;
        // Above the last edge a reply counts in +Inf only, which the count gives.
        const auto bucket = std::lower_bound(edges.begin(), edges.end(), seconds);
        if (bucket != edges.end())
            ++s.buckets[std::size_t(bucket - edges.begin())];
        break;
    }
    case EchoOutcome::Foreign:
        ++s.foreign;
        break;
    case EchoOutcome::Timeout:
        ++s.timeouts;
        break;
    }
    s.hasResult = true;
    s.up = up;
    s.lossRatio = lossRatio;
}

void MetricsStore::setState(std::uintptr_t probe, HostState::State state)
{
    QMutexLocker lock(&m_mutex);
    if (auto it = m_entries.find(probe); it != m_entries.end() && it->second.series.state != state) {
        ++m_generation;
        it->second.series.state = state;
    }
}

void MetricsStore::countChange(std::uintptr_t probe, HostState::State to)
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    if (auto it = m_entries.find(probe); it != m_entries.end())
        ++it->second.series.changes[std::size_t(to)];
}

void MetricsStore::recordLookupFailure(std::uintptr_t probe)
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    auto it = m_entries.find(probe);
    if (it == m_entries.end())
        return;
    Series &s = it->second.series;
    s.id.ip.clear();
    s.hasResult = true;
    s.up = false;
    s.state = HostState::State::LookupFailed;
    it->second.active = true;
}

void MetricsStore::setActive(std::uintptr_t probe, bool active)
{
    QMutexLocker lock(&m_mutex);
    if (auto it = m_entries.find(probe); it != m_entries.end() && it->second.active != active) {
        ++m_generation;
        it->second.active = active;
    }
}

void MetricsStore::remove(std::uintptr_t probe)
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    m_entries.erase(probe);
}

QList<MetricsStore::Series> MetricsStore::snapshot(std::uint64_t *generation) const
{
    QList<std::pair<std::uint64_t, Series>> copy;
    {
        QMutexLocker lock(&m_mutex);
        if (generation)
            *generation = m_generation;
        copy.reserve(qsizetype(m_entries.size()));
        for (const auto &[probe, entry] : m_entries)
            if (entry.active)
                copy.append({ entry.order, entry.series });
    }
    std::sort(copy.begin(), copy.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Series> out;
    out.reserve(copy.size());
    for (auto &[order, series] : copy)
        out.append(std::move(series));
    return out;
}

int MetricsStore::size() const
{
    QMutexLocker lock(&m_mutex);
    return int(std::count_if(m_entries.begin(), m_entries.end(), [](const auto &e) { return e.second.active; }));
}

std::uint64_t MetricsStore::generation() const
{
    QMutexLocker lock(&m_mutex);
    return m_generation;
}
