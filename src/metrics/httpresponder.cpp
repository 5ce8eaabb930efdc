#include "httpresponder.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <sys/socket.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

std::optional<HttpRequest> HttpRequest::parse(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> request = lines.first().trimmed().split(' ');
    if (request.size() != 3 || request[0].isEmpty() || request[1].isEmpty() || !request[2].startsWith("HTTP/1."))
        return std::nullopt;
    HttpRequest r;
    r.method = request[0];
    r.path = request[1].split('?').first();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "accept")
            r.accept = value;
        else if (name == "transfer-encoding" || (name == "content-length" && value != "0"))
            r.body = true;
    }
    return r;
}

HttpResponder::HttpResponder(Limits limits, Handler handler, std::function<void()> idle)
    : m_limits(limits)
    , m_handler(std::move(handler))
    , m_idle(std::move(idle))
{
}

quint16 HttpResponder::listen(const QHostAddress &address, quint16 port, QString *error)
{
    m_server = new QTcpServer(this);
    m_server->setMaxPendingConnections(m_limits.maxConnections);
    if (!m_server->listen(address, port)) {
        *error = m_server->errorString();
        return 0;
    }
    connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    m_sweep = new QTimer(this);
    m_sweep->setInterval(std::clamp(std::min({ m_limits.headMs, m_limits.idleMs, m_limits.lingerMs }) / 4, 20, 250));
    connect(m_sweep, &QTimer::timeout, this, [this] { sweep(); });
    m_sweep->start();
    return m_server->serverPort();
}

// Takes the connections waiting in the listener. At the cap a newcomer takes the place of
// one that holds it least usefully; when every place is an answer on its way, it waits in
// the listener (the sweep and every close try again) rather than being turned away.
void HttpResponder::accept()
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
void HttpResponder::acceptLater()
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
bool HttpResponder::makeRoom()
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

void HttpResponder::drop(QTcpSocket *socket)
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

void HttpResponder::sweep()
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

void HttpResponder::read(QTcpSocket *socket)
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
            answer(socket, c, { "431 Request Header Fields Too Large", {}, "Request head too large.\n" }, false);
        return;
    }
    socket->readAll();
    respond(socket, c, c.head.left(end));
}

void HttpResponder::pumpAll(QTcpSocket *socket)
{
    pump(socket);
    pumpWaiting();
}

// In the order they began to wait.
void HttpResponder::pumpWaiting()
{
    while (!m_waiting.isEmpty() && queued() < m_limits.outputTotal)
        pump(m_waiting.takeFirst());
}

// What one client may have queued: its share of the total while many are answered, so
// that a crowd that does not read cannot take all of it.
qint64 HttpResponder::allowance() const
{
    const auto answers = std::count_if(
        m_connections.cbegin(), m_connections.cend(), [](const Connection &c) { return c.phase == Phase::Answer; });
    return std::clamp<qint64>(m_limits.outputTotal / std::max<qint64>(1, answers), std::min(4096, m_limits.outputChunk),
        m_limits.outputChunk);
}

qint64 HttpResponder::queued() const
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
void HttpResponder::pump(QTcpSocket *socket)
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
bool HttpResponder::dropStalledHolder(QTcpSocket *except)
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

// Once nobody is connected (and the sockets are gone, which is why the sweep calls this), what
// the burst kept goes back: the handler's, and the small blocks the allocator still holds.
void HttpResponder::afterBurst()
{
    if (!m_connections.isEmpty() || !m_idleDue)
        return;
    m_idleDue = false;
    if (m_idle)
        m_idle();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void HttpResponder::respond(QTcpSocket *socket, Connection &c, const QByteArray &head)
{
    const auto plain = [](QByteArray status, QByteArray body, QByteArray headers = {}) {
        return HttpAnswer { std::move(status), headers + "Content-Type: text/plain; charset=utf-8\r\n",
            std::move(body) };
    };
    const std::optional<HttpRequest> request = HttpRequest::parse(head);
    if (!request) {
        answer(socket, c, plain("400 Bad Request", "Bad request.\n"), false);
        return;
    }
    if (request->method != "GET" && request->method != "HEAD") {
        answer(socket, c, plain("405 Method Not Allowed", "Only GET and HEAD.\n", "Allow: GET, HEAD\r\n"), false);
        return;
    }
    // Bytes after the head without a body announced are a further request (pipelined): the
    // answer to the first says the connection closes, so they are left unread.
    if (request->body) {
        answer(socket, c, plain("413 Content Too Large", "No request body is taken.\n"), false);
        return;
    }
    m_idleDue = true;
    answer(socket, c, m_handler(*request), request->method == "HEAD");
}

void HttpResponder::answer(QTcpSocket *socket, Connection &c, const HttpAnswer &a, bool headOnly)
{
    QByteArray out = "HTTP/1.1 " + a.status + "\r\n" + a.headers;
    if (!a.headers.contains("Content-Type"))
        out += "Content-Type: text/plain; charset=utf-8\r\n";
    out += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\nConnection: close\r\n\r\n";
    c.head = std::move(out);
    c.body = headOnly ? QByteArray() : a.body;
    c.sent = 0;
    c.phase = Phase::Answer;
    c.since.start();
    c.progress.start();
    pump(socket);
}
