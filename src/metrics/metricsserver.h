#pragma once

#include "httpresponder.h"
#include "metricsstore.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <optional>

class QThread;
class MetricsOutputs;

// Serves the figures of a MetricsStore at GET /metrics for a Prometheus server to scrape,
// through an HttpResponder (GET and HEAD only, bounded in every way a client could abuse).
// Scrapes that come together share one formatted output. It listens and formats on a thread
// of its own, so a scrape costs the probes' thread nothing but the store's short locks.
class MetricsServer : public QObject
{
    Q_OBJECT
public:
    struct Limits : HttpResponder::Limits
    {
        // A scrape shares the output of another made less than this long ago while that one
        // is still being sent (and any output of a store that has not changed since).
        int shareMs = 1000;
    };

    struct Endpoint
    {
        QHostAddress address;
        quint16 port = 0;
    };
    // "127.0.0.1:9427" or "localhost:9427": an IPv4 address or localhost, a colon, a port.
    // Without a value the text is not such an address; `error` then says why.
    static std::optional<Endpoint> parseAddress(const QString &text, QString *error = nullptr);

    MetricsServer(const MetricsStore &store, QString version, Limits limits, QObject *parent = nullptr);
    MetricsServer(const MetricsStore &store, QString version, QObject *parent = nullptr)
        : MetricsServer(store, std::move(version), Limits {}, parent)
    {
    }
    ~MetricsServer() override;

    // Listens on exactly the address given. Returns an empty text, or why it cannot listen
    // ("Cannot serve metrics at 127.0.0.1:9427: the address is in use."). Starting again
    // first stops the earlier listener.
    QString start(const QString &address);
    void stop();
    bool isListening() const { return m_port != 0; }
    // The port listened on (useful after asking for port 0), 0 when not listening.
    quint16 port() const { return m_port; }

    // What the listener has done so far, for checks and benchmarks.
    struct Counts
    {
        int renders = 0; // outputs formatted
        int evicted = 0; // connections dropped at the cap to make room
        qint64 queuedHigh = 0; // the most bytes ever queued for clients at once
    };
    Counts counts() const;

private:
    const MetricsStore &m_store;
    QString m_version;
    Limits m_limits;
    QThread *m_thread = nullptr;
    HttpResponder *m_responder = nullptr;
    MetricsOutputs *m_outputs = nullptr;
    quint16 m_port = 0;
};
