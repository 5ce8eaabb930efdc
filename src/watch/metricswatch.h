#pragma once

#include "hostwatch.h"
#include "linkstats.h"
#include "metricsserver.h"
#include "metricsstore.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class QTimer;
class HostProbe;

// Serves the figures of every running probe (those of board frames and ping windows alike) at
// the metrics address, when one is set. Results reach it through the probes' result signal;
// once a second it takes the series of probes that stopped out of the output and follows the
// names of their frames as the board renumbers them.
class TMetricsWatch : public QObject
{
    Q_OBJECT
public:
    TMetricsWatch(QString version, QObject *parent = nullptr);
    ~TMetricsWatch() override;

    // `named` names the probe's series (its frame, "PingFrame_3"), by its name at the time.
    void watch(HostProbe *probe, const QObject *named);
    // Serves at the address ("127.0.0.1:9427"), or stops serving for an empty one. Returns an
    // empty text, or why it cannot serve there (it then serves nowhere).
    QString serveAt(const QString &address);
    bool serving() const { return m_server.isListening(); }
    quint16 port() const { return m_server.port(); }

    static constexpr int kSweepMs = 1000;

private:
    struct ProbeState
    {
        QPointer<HostProbe> probe;
        QPointer<const QObject> named;
        QList<EchoOutcome> recent;
    };
    void onResult(HostProbe *probe, const EchoOutcome &outcome);
    void onEchoSent(HostProbe *probe);
    void sweep();

    MetricsStore m_store;
    MetricsServer m_server;
    QHash<HostProbe *, ProbeState> m_probes;
    QTimer *m_sweep;
};
