#pragma once

#include "metricsstore.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <optional>

class QThread;
class MetricsListener;

// Serves the figures of a MetricsStore at GET /metrics for a Prometheus server to scrape. A
// small HTTP/1.1 responder of our own: GET and HEAD only, one request per connection, no
// request body, a bounded request head, a bounded number of connections, and a client that
// stops reading or sending is dropped. It listens and formats on a thread of its own, so a
// scrape costs the probes' thread nothing but the store's short locks.
class MetricsServer : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        int maxHeadBytes = 8 * 1024;
        int maxConnections = 64;
        // A request must arrive within this time, and an answer must make progress within it.
        int idleMs = 10000;
        // At most this much is queued for a client that has not taken it yet.
        int outputChunk = 64 * 1024;
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

private:
    const MetricsStore &m_store;
    QString m_version;
    Limits m_limits;
    QThread *m_thread = nullptr;
    MetricsListener *m_listener = nullptr;
    quint16 m_port = 0;
};
