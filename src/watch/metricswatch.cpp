#include "metricswatch.h"

#include "pingframe.h"

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

void TMetricsWatch::watch(TPingFrame *frame)
{
    if (m_frames.contains(frame))
        return;
    m_frames.insert(frame, FrameState { frame, {}, DownUpWatch() });
    connect(frame, &TPingFrame::ResultProcessed, this, [this, frame](const EchoOutcome &o) { onResult(frame, o); });
    connect(frame, &QObject::destroyed, this, [this, frame] {
        m_frames.remove(frame);
        m_store.remove(std::uintptr_t(frame));
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

void TMetricsWatch::onResult(TPingFrame *frame, const EchoOutcome &o)
{
    auto it = m_frames.find(frame);
    if (it == m_frames.end())
        return;
    FrameState &st = *it;
    // A new host text starts the figures afresh, as it starts the counters.
    if (!st.recent.isEmpty() && st.recent.last().host != o.host)
        st.recent.clear();
    st.recent.append(o);
    if (st.recent.size() > kWindow)
        st.recent.removeFirst();
    st.downUp.feed(o);
    const auto key = std::uintptr_t(frame);
    m_store.setIdentity(key, MetricsStore::Identity::of(frame->objectName(), o.host, o.target));
    m_store.setActive(key, true);
    // Each result stands for one request; an echo still in flight is not counted yet.
    m_store.countRequest(key);
    const LinkStats::Figures f = LinkStats::compute(st.recent);
    m_store.record(key, o.kind, o.rtt, !st.downUp.isDown(), f.lossPercent / 100);
}

void TMetricsWatch::sweep()
{
    for (auto it = m_frames.begin(); it != m_frames.end(); ++it) {
        TPingFrame *frame = it->frame;
        if (!frame || it->recent.isEmpty())
            continue;
        const auto key = std::uintptr_t(it.key());
        // A stopped frame's series leave the output; its counters wait for its restart.
        m_store.setActive(key, frame->Running() || frame->InFlight());
        const EchoOutcome &last = it->recent.last();
        m_store.setIdentity(key, MetricsStore::Identity::of(frame->objectName(), last.host, last.target));
    }
}
