#include "metricsserver.h"

#include "metricsformat.h"
#include "skylarkerror.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
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

} // namespace

// The answers to scrapes, made on the server's thread.
class MetricsOutputs
{
public:
    MetricsOutputs(const MetricsStore &store, QString version, int shareMs)
        : m_store(store)
        , m_version(std::move(version))
        , m_shareMs(shareMs)
    {
    }

    HttpAnswer answer(const HttpRequest &request)
    {
        if (request.path != "/metrics")
            return { "404 Not Found", {}, "Metrics are at /metrics.\n" };
        const auto format = MetricsFormat::negotiate(request.accept);
        return { "200 OK", "Content-Type: " + MetricsFormat::contentType(format) + "\r\n", output(format) };
    }

    // Nobody is connected any more: the outputs go.
    void release()
    {
        for (Output &o : m_outputs)
            o = {};
    }

    std::atomic<int> renders { 0 };

private:
    struct Output
    {
        QByteArray text;
        std::uint64_t generation = 0;
        QElapsedTimer made;
    };

    // One formatted a moment ago is shared while others are still being sent it, and one of
    // an unchanged store for as long as it stays unchanged.
    QByteArray output(MetricsFormat::Format format)
    {
        Output &o = m_outputs[format == MetricsFormat::Format::OpenMetrics ? 1 : 0];
        const bool beingSent = !o.text.isNull() && !o.text.isDetached();
        if (!o.text.isNull() && (o.generation == m_store.generation() || (beingSent && o.made.elapsed() < m_shareMs)))
            return o.text;
        o.text = {};
        o.text = MetricsFormat::render(m_store.snapshot(&o.generation), m_version, format);
        o.made.start();
        ++renders;
        return o.text;
    }

    const MetricsStore &m_store;
    QString m_version;
    int m_shareMs;
    Output m_outputs[2];
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
    m_outputs = new MetricsOutputs(m_store, m_version, m_limits.shareMs);
    MetricsOutputs *outputs = m_outputs;
    m_responder = new HttpResponder(
        m_limits, [outputs](const HttpRequest &r) { return outputs->answer(r); }, [outputs] { outputs->release(); });
    m_responder->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::finished, m_responder, &QObject::deleteLater);
    m_thread->start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        m_responder, [&] { port = m_responder->listen(at->address, at->port, &why); }, Qt::BlockingQueuedConnection);
    if (port == 0) {
        stop();
        return QStringLiteral("Cannot serve metrics at %1: %2.").arg(address.trimmed(), asClause(why));
    }
    m_port = port;
    return {};
}

MetricsServer::Counts MetricsServer::counts() const
{
    if (!m_responder)
        return {};
    return { m_outputs->renders.load(), m_responder->evicted.load(), m_responder->queuedHigh.load() };
}

void MetricsServer::stop()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_responder = nullptr;
    delete m_outputs;
    m_outputs = nullptr;
    m_port = 0;
}
