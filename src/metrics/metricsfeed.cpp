#include "metricsfeed.h"

#include "hostprobe.h"

MetricsFeed::MetricsFeed(MetricsStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
}

void MetricsFeed::watch(HostProbe *probe, Namer name, bool listedAtOnce)
{
    if (m_watched.contains(probe))
        return;
    auto it = m_watched.insert(probe, Watched { probe, std::move(name), {}, {} });
    if (listedAtOnce)
        this->name(probe, *it, probe->hostSpec().identity, probe->address());
    connect(probe, &HostProbe::echoSent, this, [this, probe] { onEchoSent(probe); });
    connect(probe, &HostProbe::resultProcessed, this, [this, probe](const EchoOutcome &o) { onResult(probe, o); });
    connect(probe, &HostProbe::lookupFailed, this, [this, probe] { onLookupFailed(probe); });
    connect(probe, &HostProbe::stateAnnounced, this,
        [this, probe](const HostState::Announcement &a) { m_store.countChange(std::uintptr_t(probe), a.to); });
    connect(probe, &QObject::destroyed, this, [this, probe] {
        m_watched.remove(probe);
        m_store.remove(std::uintptr_t(probe));
    });
}

void MetricsFeed::unwatch(HostProbe *probe)
{
    if (!m_watched.remove(probe))
        return;
    probe->disconnect(this);
    m_store.remove(std::uintptr_t(probe));
}

void MetricsFeed::onEchoSent(HostProbe *probe)
{
    auto it = m_watched.find(probe);
    if (it == m_watched.end())
        return;
    const auto key = std::uintptr_t(probe);
    // The series under the host text the echo is sent for: a new one starts afresh.
    name(probe, *it, probe->hostSpec().identity, probe->address());
    m_store.setActive(key, true);
    m_store.countRequest(key);
    m_store.setState(key, probe->state());
}

void MetricsFeed::onResult(HostProbe *probe, const EchoOutcome &o)
{
    auto it = m_watched.find(probe);
    if (it == m_watched.end())
        return;
    const auto key = std::uintptr_t(probe);
    name(probe, *it, o.host, o.target);
    ++it->results;
    m_store.setActive(key, true);
    // The loss of this host's own results: those of a host text before it are not its own.
    m_store.record(key, o.kind, o.rtt, !probe->isDown(), probe->lossRatio(it->results));
    m_store.setState(key, probe->state());
}

void MetricsFeed::onLookupFailed(HostProbe *probe)
{
    auto it = m_watched.find(probe);
    if (it == m_watched.end())
        return;
    name(probe, *it, probe->hostSpec().identity, {});
    m_store.recordLookupFailure(std::uintptr_t(probe));
    m_store.setState(std::uintptr_t(probe), probe->state());
}

void MetricsFeed::sweep()
{
    for (auto it = m_watched.begin(); it != m_watched.end(); ++it) {
        HostProbe *probe = it->probe;
        if (!probe || it->host.isNull())
            continue;
        // A stopped probe's series leave the output; its counters wait for its restart. The
        // name follows the frame, under the host text last echoed for (a new text starts
        // its series with its first echo).
        m_store.setActive(std::uintptr_t(probe), probe->running() || probe->inFlight());
        m_store.setState(std::uintptr_t(probe), probe->state());
        name(probe, *it, it->host, it->target);
    }
}

void MetricsFeed::name(HostProbe *probe, Watched &w, const QString &host, const QString &target)
{
    if (host != w.host)
        w.results = 0;
    w.host = host.isNull() ? QStringLiteral("") : host;
    w.target = target;
    m_store.setIdentity(std::uintptr_t(probe), MetricsStore::Identity::of(w.name ? w.name() : QString(), host, target));
}
