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
        m_sweep->setInterval(std::max(50, m_limits.idleMs / 4));
        connect(m_sweep, &QTimer::timeout, this, [this] { sweep(); });
        m_sweep->start();
        return m_server->serverPort();
    }

private:
    struct Connection
    {
        QByteArray head;
        QByteArray answer; // status line, headers and body
        qint64 sent = -1; // -1 while the request is still coming
        QElapsedTimer progress;
    };

    void accept()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            if (m_connections.size() >= m_limits.maxConnections) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            Connection &c = m_connections[socket];
            c.progress.start();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { pump(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
            read(socket);
        }
    }

    void drop(QTcpSocket *socket)
    {
        if (m_connections.remove(socket)) {
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
        }
    }

    void sweep()
    {
        QList<QTcpSocket *> stale;
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
            if (it->progress.elapsed() > m_limits.idleMs)
                stale.append(it.key());
        for (QTcpSocket *socket : stale)
            drop(socket);
    }

    void read(QTcpSocket *socket)
    {
        auto it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        Connection &c = *it;
        if (c.sent >= 0) {
            // One request per connection: whatever follows it is not read.
            socket->readAll();
            return;
        }
        c.head += socket->read(m_limits.maxHeadBytes + 1 - c.head.size());
        qsizetype end = c.head.indexOf("\r\n\r\n");
        qsizetype after = end + 4;
        if (end < 0) {
            end = c.head.indexOf("\n\n");
            after = end + 2;
        }
        if (end < 0) {
            if (c.head.size() > m_limits.maxHeadBytes)
                answer(socket, c, "431 Request Header Fields Too Large", {}, "Request head too large.\n", false);
            return;
        }
        const bool trailing = after < c.head.size() || socket->bytesAvailable() > 0;
        respond(socket, c, c.head.left(end), trailing);
    }

    void respond(QTcpSocket *socket, Connection &c, const QByteArray &head, bool trailing)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> request = lines.first().trimmed().split(' ');
        if (request.size() != 3 || !request[2].startsWith("HTTP/1.")) {
            answer(socket, c, "400 Bad Request", {}, "Bad request.\n", false);
            return;
        }
        const QByteArray &method = request[0];
        QByteArray accept;
        bool body = trailing;
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
        answer(socket, c, "200 OK", "Content-Type: " + MetricsFormat::contentType(format) + "\r\n",
            MetricsFormat::render(m_store.snapshot(), m_version, format), headOnly);
    }

    void answer(QTcpSocket *socket, Connection &c, const QByteArray &status, const QByteArray &headers,
        const QByteArray &body, bool headOnly)
    {
        QByteArray out = "HTTP/1.1 " + status + "\r\n" + headers;
        if (!headers.contains("Content-Type"))
            out += "Content-Type: text/plain; charset=utf-8\r\n";
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
        if (!headOnly)
            out += body;
        c.head.clear();
        c.answer = std::move(out);
        c.sent = 0;
        c.progress.start();
        pump(socket);
    }

    // Hands the socket the next piece of the answer whenever the client has taken the last.
    void pump(QTcpSocket *socket)
    {
        auto it = m_connections.find(socket);
        if (it == m_connections.end() || it->sent < 0)
            return;
        Connection &c = *it;
        c.progress.start();
        while (c.sent < c.answer.size() && socket->bytesToWrite() < m_limits.outputChunk) {
            const qint64 n = std::min<qint64>(m_limits.outputChunk, c.answer.size() - c.sent);
            const qint64 written = socket->write(c.answer.constData() + c.sent, n);
            if (written <= 0) {
                drop(socket);
                return;
            }
            c.sent += written;
        }
        if (c.sent == c.answer.size() && socket->bytesToWrite() == 0)
            socket->disconnectFromHost();
    }

    const MetricsStore &m_store;
    QString m_version;
    MetricsServer::Limits m_limits;
    QTcpServer *m_server = nullptr;
    QTimer *m_sweep = nullptr;
    QHash<QTcpSocket *, Connection> m_connections;
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
