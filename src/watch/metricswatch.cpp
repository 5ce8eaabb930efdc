#include "metricswatch.h"

#include "hostprobe.h"

#include <QTimer>

TMetricsWatch::TMetricsWatch(QString version, QObject *parent)
    : QObject(parent)
    , m_server(m_store, std::move(version))
    , m_feed(m_store)
    , m_sweep(new QTimer(this))
{
    m_sweep->setInterval(kSweepMs);
    connect(m_sweep, &QTimer::timeout, &m_feed, &MetricsFeed::sweep);
}

TMetricsWatch::~TMetricsWatch()
{
    m_server.stop();
}

void TMetricsWatch::watch(HostProbe *probe, const QObject *named)
{
    m_feed.watch(probe, [named = QPointer<const QObject>(named)] { return named ? named->objectName() : QString(); });
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
