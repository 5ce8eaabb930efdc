#pragma once

#include "metricsstore.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <optional>

class QThread;
class MetricsListener;

// Serves the figures of a MetricsStore at GET /metrics for a Prometheus server to scrape. A
// small HTTP/1.1 responder of our own: GET and HEAD only, one request per connection (what
// follows the first request is not read), no request body, a bounded request head that must
// arrive whole soon after connecting, a bounded number of connections, and a client that
// stops reading is dropped. Scrapes that come together share one formatted output, and what
// is queued for clients is bounded in total. It listens and formats on a thread of its own,
// so a scrape costs the probes' thread nothing but the store's short locks.
class MetricsServer : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        int maxHeadBytes = 8 * 1024;
        // At the cap a new connection takes the place of the one that has waited longest
        // without a complete request (or, failing that, of the longest stalled answer); when
        // every place holds an answer on its way, it waits in the listener for a moment and then
        // takes the place of the answer begun longest ago.
        int maxConnections = 64;
        // The whole request head must arrive within this time of connecting.
        int headMs = 5000;
        // An answer must make progress within this time.
        int idleMs = 10000;
        // At most this much is queued for one client that has not taken it yet,
        int outputChunk = 64 * 1024;
        // and at most this much for all clients together.
        int outputTotal = 1024 * 1024;
        // A scrape shares the output of another made less than this long ago while that one
        // is still being sent (and any output of a store that has not changed since).
        int shareMs = 1000;
        // After its answer a connection waits this long for the client to close first.
        int lingerMs = 2000;
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
    MetricsListener *m_listener = nullptr;
    quint16 m_port = 0;
};
