#include "metricsserver.h"

#include "metricsformat.h"
#include "skylarkerror.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <sys/socket.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// An output of a few megabytes is a block of its own that goes back to the system when it is
// freed. Left to itself the allocator raises that threshold after the first such block is
// freed, and the next outputs then come from the thread's arena, whose top stays resident.
void keepLargeBlocksApart()
{
#if defined(__GLIBC__)
    static const bool once = mallopt(M_MMAP_THRESHOLD, 128 * 1024) != 0;
    Q_UNUSED(once);
#endif
}

// Gives back the small blocks a burst of scrapes left free once it is over.
void returnFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace

// Lives on the server's thread: the listening socket and its connections.
class MetricsListener : public QObject
{
public:
    MetricsListener(const MetricsStore &store, QString version, MetricsServer::Limits limits)
        : m_store(store)
        , m_version(std::move(version))
        , m_limits(limits)
    {
    }

    // Runs on the listener's thread. Returns the port, or 0 with `error` set.
    quint16 listen(const MetricsServer::Endpoint &at, QString *error)
    {
        m_server = new QTcpServer(this);
        m_server->setMaxPendingConnections(m_limits.maxConnections);
        if (!m_server->listen(at.address, at.port)) {
            *error = m_server->errorString();
            return 0;
        }
        connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        m_sweep = new QTimer(this);
        m_sweep->setInterval(
            std::clamp(std::min({ m_limits.headMs, m_limits.idleMs, m_limits.lingerMs }) / 4, 20, 250));
        connect(m_sweep, &QTimer::timeout, this, [this] { sweep(); });
        m_sweep->start();
        return m_server->serverPort();
    }

    std::atomic<int> renders { 0 };
    std::atomic<int> evicted { 0 };
    std::atomic<qint64> queuedHigh { 0 };

private:
    enum class Phase { Request, Answer, Closing };
    struct Connection
    {
        Phase phase = Phase::Request;
        QByteArray head; // the request head so far, then the answer's status line and headers
        QByteArray body; // the answer's body, shared with other connections
        qint64 sent = 0; // of head and body together
        QElapsedTimer since; // connected, answered or closing
        QElapsedTimer progress; // the answer last moved on
    };

    // A formatted output that scrapes share.
    struct Output
    {
        QByteArray text;
        std::uint64_t generation = 0;
        QElapsedTimer made;
    };

    // Takes the connections waiting in the listener. At the cap a newcomer takes the place of
    // one that holds it least usefully; when every place is an answer on its way, it waits in
    // the listener (the sweep and every close try again) rather than being turned away.
    void accept()
    {
        while (m_server->hasPendingConnections()) {
            if (m_connections.size() >= m_limits.maxConnections && !makeRoom()) {
                if (!m_kept.isValid())
                    m_kept.start();
                return;
            }
            m_kept.invalidate();
            QTcpSocket *socket = m_server->nextPendingConnection();
            // Nothing beyond the request head is ever needed.
            socket->setReadBufferSize(m_limits.maxHeadBytes + 1);
            Connection &c = m_connections[socket];
            c.since.start();
            c.progress.start();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { pumpAll(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
            read(socket);
        }
    }

    // After a close, a newcomer kept waiting is let in once the current call is done.
    void acceptLater()
    {
        if (m_acceptDue || !m_server || !m_server->hasPendingConnections())
            return;
        m_acceptDue = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_acceptDue = false;
                accept();
            },
            Qt::QueuedConnection);
    }

    // At the cap: drops a connection whose answer is out, else the one that has waited
    // longest without a complete request, else the answer that has been stalled longest
    // (stalled at least a little, so that answers on their way are finished). When every
    // place is an answer that moves or waits for room in the queue, a newcomer that has been
    // kept waiting a moment takes the place of the answer begun longest ago: a crowd of
    // complete requests cannot shut a scraper out. Returns false when nothing gives way yet.
    bool makeRoom()
    {
        QTcpSocket *victim = nullptr;
        const auto rank = [](const Connection &c) {
            return c.phase == Phase::Closing ? 0 : c.phase == Phase::Request ? 1 : 2;
        };
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
            const Connection &c = *it;
            // An answer waiting for room in the queue has not stalled by itself.
            if (c.phase == Phase::Answer && (c.progress.elapsed() < kStalledMs || m_waiting.contains(it.key())))
                continue;
            if (!victim) {
                victim = it.key();
                continue;
            }
            const Connection &v = m_connections[victim];
            const int a = rank(c);
            const int b = rank(v);
            if (a < b
                || (a == b
                    && (a == 2 ? c.progress.elapsed() > v.progress.elapsed() : c.since.elapsed() > v.since.elapsed())))
                victim = it.key();
        }
        if (!victim && m_kept.isValid() && m_kept.elapsed() >= kStalledMs) {
            for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
                if (!victim || it->since.elapsed() > m_connections[victim].since.elapsed())
                    victim = it.key();
        }
        if (!victim)
            return false;
        ++evicted;
        drop(victim);
        return true;
    }

    void drop(QTcpSocket *socket)
    {
        if (m_connections.remove(socket)) {
            m_waiting.removeOne(socket);
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            // Someone waiting for room in the queue may go on now, and a newcomer come in.
            pumpWaiting();
            acceptLater();
        }
    }

    // Once nobody is connected (and the sockets are gone, which is why the sweep calls this),
    // the output and the memory of the burst go back.
    void afterBurst()
    {
        if (!m_connections.isEmpty() || !m_trimDue)
            return;
        for (Output &o : m_outputs)
            o = {};
        m_trimDue = false;
        returnFreedMemory();
    }

    void sweep()
    {
        QList<QTcpSocket *> stale;
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
            const Connection &c = *it;
            // An answer waiting for room in the queue is not the client's doing.
            const bool late = c.phase == Phase::Request ? c.since.elapsed() > m_limits.headMs
                : c.phase == Phase::Answer ? c.progress.elapsed() > m_limits.idleMs && !m_waiting.contains(it.key())
                                           : c.since.elapsed() > m_limits.lingerMs;
            if (late)
                stale.append(it.key());
        }
        for (QTcpSocket *socket : stale)
            drop(socket);
        // Answers waiting for room go on in place of clients that stopped reading.
        if (!m_waiting.isEmpty() && queued() >= m_limits.outputTotal)
            dropStalledHolder(nullptr);
        pumpWaiting();
        accept();
        afterBurst();
    }

    void read(QTcpSocket *socket)
    {
        auto it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        Connection &c = *it;
        if (c.phase != Phase::Request) {
            // One request per connection: whatever follows it is not read.
            socket->readAll();
            return;
        }
        c.head += socket->read(m_limits.maxHeadBytes + 1 - c.head.size());
        qsizetype end = c.head.indexOf("\r\n\r\n");
        if (end < 0)
            end = c.head.indexOf("\n\n");
        if (end < 0) {
            if (c.head.size() > m_limits.maxHeadBytes)
                answer(socket, c, "431 Request Header Fields Too Large", {}, "Request head too large.\n", false);
            return;
        }
        socket->readAll();
        respond(socket, c, c.head.left(end));
    }

    void respond(QTcpSocket *socket, Connection &c, const QByteArray &head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> request = lines.first().trimmed().split(' ');
        if (request.size() != 3 || !request[2].startsWith("HTTP/1.")) {
            answer(socket, c, "400 Bad Request", {}, "Bad request.\n", false);
            return;
        }
        const QByteArray &method = request[0];
        QByteArray accept;
        bool body = false;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = lines[i].left(colon).trimmed().toLower();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            if (name == "accept")
                accept = value;
            else if (name == "transfer-encoding" || (name == "content-length" && value != "0"))
                body = true;
        }
        if (method != "GET" && method != "HEAD") {
            answer(socket, c, "405 Method Not Allowed", "Allow: GET, HEAD\r\n", "Only GET and HEAD.\n", false);
            return;
        }
        // Bytes after the head without a body announced are a further request (pipelined):
        // the answer to the first says the connection closes, so they are left unread.
        if (body) {
            answer(socket, c, "413 Content Too Large", {}, "No request body is taken.\n", false);
            return;
        }
        const bool headOnly = method == "HEAD";
        const QByteArray path = request[1].split('?').first();
        if (path != "/metrics") {
            answer(socket, c, "404 Not Found", {}, "Metrics are at /metrics.\n", headOnly);
            return;
        }
        const auto format = MetricsFormat::negotiate(accept);
        answer(socket, c, "200 OK", "Content-Type: " + MetricsFormat::contentType(format) + "\r\n", output(format),
            headOnly);
    }

    // The output to send: one formatted a moment ago is shared while others are still being
    // sent it, and one of an unchanged store for as long as it stays unchanged.
    QByteArray output(MetricsFormat::Format format)
    {
        Output &o = m_outputs[format == MetricsFormat::Format::OpenMetrics ? 1 : 0];
        const bool beingSent = !o.text.isNull() && !o.text.isDetached();
        if (!o.text.isNull()
            && (o.generation == m_store.generation() || (beingSent && o.made.elapsed() < m_limits.shareMs)))
            return o.text;
        o.text = {};
        o.text = MetricsFormat::render(m_store.snapshot(&o.generation), m_version, format);
        o.made.start();
        ++renders;
        m_trimDue = true;
        return o.text;
    }

    void answer(QTcpSocket *socket, Connection &c, const QByteArray &status, const QByteArray &headers,
        const QByteArray &body, bool headOnly)
    {
        QByteArray out = "HTTP/1.1 " + status + "\r\n" + headers;
        if (!headers.contains("Content-Type"))
            out += "Content-Type: text/plain; charset=utf-8\r\n";
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
        c.head = std::move(out);
        c.body = headOnly ? QByteArray() : body;
        c.sent = 0;
        c.phase = Phase::Answer;
        c.since.start();
        c.progress.start();
        pump(socket);
    }

    void pumpAll(QTcpSocket *socket)
    {
        pump(socket);
        pumpWaiting();
    }

    // In the order they began to wait.
    void pumpWaiting()
    {
        while (!m_waiting.isEmpty() && queued() < m_limits.outputTotal)
            pump(m_waiting.takeFirst());
    }

    // What one client may have queued: its share of the total while many are answered, so
    // that a crowd that does not read cannot take all of it.
    qint64 allowance() const
    {
        const auto answers = std::count_if(
            m_connections.cbegin(), m_connections.cend(), [](const Connection &c) { return c.phase == Phase::Answer; });
        return std::clamp<qint64>(m_limits.outputTotal / std::max<qint64>(1, answers),
            std::min(4096, m_limits.outputChunk), m_limits.outputChunk);
    }

    qint64 queued() const
    {
        qint64 total = 0;
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
            total += it.key()->bytesToWrite();
        return total;
    }

    // Hands the socket the next piece of the answer whenever the client has taken the last and
    // the queue has room; once all of it is out, says the connection ends and waits a moment for
    // the client to close first, so that what it sent after the request cannot turn the close
    // into a reset that loses the answer.
    void pump(QTcpSocket *socket)
    {
        auto it = m_connections.find(socket);
        if (it == m_connections.end() || it->phase != Phase::Answer)
            return;
        Connection &c = *it;
        const qint64 total = c.head.size() + c.body.size();
        qint64 room = m_limits.outputTotal - queued();
        const qint64 mine = allowance();
        bool moved = false;
        while (c.sent < total && socket->bytesToWrite() < mine) {
            if (room <= 0 && dropStalledHolder(socket))
                room = m_limits.outputTotal - queued();
            if (room <= 0) {
                if (!m_waiting.contains(socket))
                    m_waiting.append(socket);
                break;
            }
            const QByteArray &from = c.sent < c.head.size() ? c.head : c.body;
            const qint64 at = c.sent < c.head.size() ? c.sent : c.sent - c.head.size();
            const qint64 n = std::min({ mine - socket->bytesToWrite(), from.size() - at, room });
            const qint64 written = socket->write(from.constData() + at, n);
            if (written <= 0) {
                drop(socket);
                return;
            }
            c.sent += written;
            room -= written;
            moved = true;
        }
        if (moved || socket->bytesToWrite() == 0)
            c.progress.start();
        queuedHigh = std::max(queuedHigh.load(), m_limits.outputTotal - room);
        if (c.sent < total || socket->bytesToWrite() > 0)
            return;
        c.head = {};
        c.body = {};
        c.phase = Phase::Closing;
        c.since.start();
        m_waiting.removeOne(socket);
        ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        socket->readAll();
    }

    // The queue is full: drops the client that holds queued bytes and has taken nothing for
    // longest, if one has stalled; a client that reads is never dropped for one that does not.
    bool dropStalledHolder(QTcpSocket *except)
    {
        QTcpSocket *victim = nullptr;
        qint64 longest = kStalledMs;
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
            if (it.key() != except && it->phase == Phase::Answer && it.key()->bytesToWrite() > 0
                && it->progress.elapsed() >= longest) {
                victim = it.key();
                longest = it->progress.elapsed();
            }
        if (!victim)
            return false;
        ++evicted;
        m_connections.remove(victim);
        m_waiting.removeOne(victim);
        victim->disconnect(this);
        victim->abort();
        victim->deleteLater();
        acceptLater();
        return true;
    }

    static constexpr int kStalledMs = 500;

    const MetricsStore &m_store;
    QString m_version;
    MetricsServer::Limits m_limits;
    QTcpServer *m_server = nullptr;
    QTimer *m_sweep = nullptr;
    QHash<QTcpSocket *, Connection> m_connections;
    QList<QTcpSocket *> m_waiting; // answers held back while the queue is full, first come first
    Output m_outputs[2];
    bool m_trimDue = false;
    QElapsedTimer m_kept; // a newcomer has waited for a place since
    bool m_acceptDue = false;
};

std::optional<MetricsServer::Endpoint> MetricsServer::parseAddress(const QString &text, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<Endpoint> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString t = text.trimmed();
    const qsizetype colon = t.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return fail(QStringLiteral("\"%1\" is not an address and port such as 127.0.0.1:9427.").arg(t));
    bool ok = false;
    const uint port = t.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535)
        return fail(QStringLiteral("\"%1\" has no port from 1 to 65535.").arg(t));
    const QString host = t.left(colon);
    Endpoint at;
    at.port = quint16(port);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        at.address = QHostAddress(QHostAddress::LocalHost);
        return at;
    }
    // Dotted quads only: QHostAddress would also take "1" or "0x7f.1" as addresses.
    static const QRegularExpression quad(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch m = quad.match(host);
    bool inRange = m.hasMatch();
    for (int i = 1; inRange && i <= 4; ++i)
        inRange = m.captured(i).toInt() <= 255;
    if (!inRange || !at.address.setAddress(host))
        return fail(QStringLiteral("\"%1\" is not an IPv4 address or localhost.").arg(host));
    return at;
}

MetricsServer::MetricsServer(const MetricsStore &store, QString version, Limits limits, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_version(std::move(version))
    , m_limits(limits)
{
}

MetricsServer::~MetricsServer()
{
    stop();
}

QString MetricsServer::start(const QString &address)
{
    stop();
    QString why;
    const auto at = parseAddress(address, &why);
    if (!at)
        return QStringLiteral("Cannot serve metrics: %1").arg(why);

    keepLargeBlocksApart();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("MetricsServer"));
    m_listener = new MetricsListener(m_store, m_version, m_limits);
    m_listener->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::finished, m_listener, &QObject::deleteLater);
    m_thread->start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        m_listener, [&] { port = m_listener->listen(*at, &why); }, Qt::BlockingQueuedConnection);
    if (port == 0) {
        stop();
        return QStringLiteral("Cannot serve metrics at %1: %2.").arg(address.trimmed(), asClause(why));
    }
    m_port = port;
    return {};
}

MetricsServer::Counts MetricsServer::counts() const
{
    if (!m_listener)
        return {};
    return { m_listener->renders.load(), m_listener->evicted.load(), m_listener->queuedHigh.load() };
}

void MetricsServer::stop()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_listener = nullptr;
    m_port = 0;
}
