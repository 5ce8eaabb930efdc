#include "metricswatch.h"

#include "hostprobe.h"

#include <QTimer>

namespace {
// The loss figure covers as many results as a frame charts by default.
constexpr int kWindow = 180;
} // namespace

TMetricsWatch::TMetricsWatch(QString version, QObject *parent)
    : QObject(parent)
    , m_server(m_store, std::move(version))
    , m_sweep(new QTimer(this))
{
    m_sweep->setInterval(kSweepMs);
    connect(m_sweep, &QTimer::timeout, this, &TMetricsWatch::sweep);
}

TMetricsWatch::~TMetricsWatch()
{
    m_server.stop();
}

void TMetricsWatch::watch(HostProbe *probe, const QObject *named)
{
    if (m_probes.contains(probe))
        return;
    m_probes.insert(probe, ProbeState { probe, named, {} });
    connect(probe, &HostProbe::resultProcessed, this, [this, probe](const EchoOutcome &o) { onResult(probe, o); });
    connect(probe, &HostProbe::echoSent, this, [this, probe] { onEchoSent(probe); });
    connect(probe, &HostProbe::stateAnnounced, this,
        [this, probe](const HostState::Announcement &a) { m_store.countChange(std::uintptr_t(probe), a.to); });
    connect(probe, &QObject::destroyed, this, [this, probe] {
        m_probes.remove(probe);
        m_store.remove(std::uintptr_t(probe));
    });
}

QString TMetricsWatch::serveAt(const QString &address)
{
    if (address.trimmed().isEmpty()) {
        m_server.stop();
        m_sweep->stop();
        return {};
    }
    const QString why = m_server.start(address);
    if (why.isEmpty())
        m_sweep->start();
    else
        m_sweep->stop();
    return why;
}

void TMetricsWatch::onResult(HostProbe *probe, const EchoOutcome &o)
{
    auto it = m_probes.find(probe);
    if (it == m_probes.end())
        return;
    ProbeState &st = *it;
    // A new host text starts the figures afresh, as it starts the counters.
    if (!st.recent.isEmpty() && st.recent.last().host != o.host)
        st.recent.clear();
    st.recent.append(o);
    if (st.recent.size() > kWindow)
        st.recent.removeFirst();
    const auto key = std::uintptr_t(probe);
    m_store.setIdentity(
        key, MetricsStore::Identity::of(st.named ? st.named->objectName() : QString(), o.host, o.target));
    m_store.setActive(key, true);
    const LinkStats::Figures f = LinkStats::compute(st.recent);
    m_store.record(key, o.kind, o.rtt, !probe->isDown(), f.lossPercent / 100);
    m_store.setState(key, probe->state());
}

void TMetricsWatch::onEchoSent(HostProbe *probe)
{
    auto it = m_probes.find(probe);
    if (it == m_probes.end())
        return;
    const auto key = std::uintptr_t(probe);
    // The series under the host text the echo is sent for: a new one starts afresh.
    m_store.setIdentity(key,
        MetricsStore::Identity::of(it->named ? it->named->objectName() : QString(), probe->host(), probe->address()));
    m_store.setActive(key, true);
    m_store.countRequest(key);
    m_store.setState(key, probe->state());
}

void TMetricsWatch::sweep()
{
    for (auto it = m_probes.begin(); it != m_probes.end(); ++it) {
        HostProbe *probe = it->probe;
        if (!probe || it->recent.isEmpty())
            continue;
        const auto key = std::uintptr_t(it.key());
        // A stopped probe's series leave the output; its counters wait for its restart.
        m_store.setActive(key, probe->running() || probe->inFlight());
        m_store.setState(key, probe->state());
        const EchoOutcome &last = it->recent.last();
        // An echo for a new host text has started that text's series already.
        if (last.host != probe->host())
            continue;
        const QString name = it->named ? it->named->objectName() : QString();
        m_store.setIdentity(key, MetricsStore::Identity::of(name, last.host, last.target));
    }
}
