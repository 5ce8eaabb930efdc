#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <atomic>
#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;
class QTimer;

// What a client asked for, read from a request head (the lines before the blank line).
struct HttpRequest
{
    QByteArray method; // as sent: "GET", "HEAD", "POST"...
    QByteArray path; // the target without its query
    QByteArray accept; // the Accept header's value, empty when none
    bool body = false; // a body is announced (Content-Length other than 0, or Transfer-Encoding)

    // The request line must be "METHOD TARGET HTTP/1.x"; header lines without a colon are
    // skipped. Line ends may be CR LF or bare LF. Without a value the head is not HTTP.
    static std::optional<HttpRequest> parse(const QByteArray &head);
};

struct HttpAnswer
{
    QByteArray status; // "200 OK"
    QByteArray headers; // further header lines, each ending in CR LF; a Content-Type among them
    QByteArray body; // shared, not copied, with other answers made of the same bytes
};

// A small HTTP/1.1 responder for GET and HEAD, knowing nothing of what it serves: the handler
// makes the answer to each well-formed GET or HEAD (a HEAD is sent the head of it only). One
// request per connection (what follows the first request is not read), no request body, a
// bounded request head that must arrive whole soon after connecting, a bounded number of
// connections, and a client that stops reading is dropped; what is queued for clients is
// bounded in total. Lives on one thread: create it there, or move it there before listen().
class HttpResponder : public QObject
{
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
        // After its answer a connection waits this long for the client to close first.
        int lingerMs = 2000;
    };
    using Handler = std::function<HttpAnswer(const HttpRequest &)>;

    // `idle` runs when the last connection has gone after a burst, for the handler to let go
    // of what it kept for it.
    HttpResponder(Limits limits, Handler handler, std::function<void()> idle = {});

    // Returns the port, or 0 with `error` set.
    quint16 listen(const QHostAddress &address, quint16 port, QString *error);

    std::atomic<int> evicted { 0 }; // connections dropped at the cap to make room
    std::atomic<qint64> queuedHigh { 0 }; // the most bytes ever queued for clients at once

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

    void accept();
    void acceptLater();
    bool makeRoom();
    void drop(QTcpSocket *socket);
    void sweep();
    void afterBurst();
    void read(QTcpSocket *socket);
    void respond(QTcpSocket *socket, Connection &c, const QByteArray &head);
    void answer(QTcpSocket *socket, Connection &c, const HttpAnswer &a, bool headOnly);
    void pumpAll(QTcpSocket *socket);
    void pumpWaiting();
    qint64 allowance() const;
    qint64 queued() const;
    void pump(QTcpSocket *socket);
    bool dropStalledHolder(QTcpSocket *except);

    static constexpr int kStalledMs = 500;

    Limits m_limits;
    Handler m_handler;
    std::function<void()> m_idle;
    QTcpServer *m_server = nullptr;
    QTimer *m_sweep = nullptr;
    QHash<QTcpSocket *, Connection> m_connections;
    QList<QTcpSocket *> m_waiting; // answers held back while the queue is full, first come first
    bool m_idleDue = false;
    QElapsedTimer m_kept; // a newcomer has waited for a place since
    bool m_acceptDue = false;
};
