#include "headlessagent.h"

#include "historyrecorder.h"
#include "historywriter.h"
#include "hostprobe.h"
#include "listfile.h"
#include "skylarkerror.h"
#include "textrules.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFds[2] = { -1, -1 };

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(g_signalFds[0], &b, 1);
}

constexpr int kFlushIntervalMs = 2000;

} // namespace

HeadlessAgent::HeadlessAgent(Options options, QString dtaDir, QString version, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_dtaDir(std::move(dtaDir))
    , m_server(m_store, std::move(version))
{
}

HeadlessAgent::~HeadlessAgent()
{
    for (int sig : { SIGTERM, SIGINT })
        ::signal(sig, SIG_DFL);
    qDeleteAll(m_probes);
}

QString HeadlessAgent::start()
{
    QStringList hosts;
    for (const QString &h : m_options.hosts)
        if (!TextRules::trimmed(h).isEmpty())
            hosts.append(TextRules::trimmed(h));
    if (!m_options.listFile.isEmpty()) {
        if (!QFileInfo(m_options.listFile).isFile())
            return QStringLiteral("Cannot read the host list \"%1\": there is no such file.").arg(m_options.listFile);
        try {
            for (const QString &line : ListFile::read(m_options.listFile).lines)
                if (!TextRules::trimmed(line).isEmpty())
                    hosts.append(TextRules::trimmed(line));
        } catch (const SkylarkError &e) {
            return e.message();
        }
    }
    if (hosts.isEmpty())
        return m_options.listFile.isEmpty()
            ? QStringLiteral("Nothing to watch: give host names or --list FILE.")
            : QStringLiteral("Nothing to watch: \"%1\" names no host.").arg(m_options.listFile);

    if (!m_options.metricsAddress.isEmpty()) {
        const QString why = m_server.start(m_options.metricsAddress);
        if (!why.isEmpty())
            return why;
    }

    if (g_signalFds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return QStringLiteral("Cannot listen for termination signals.");
    m_signals = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        [[maybe_unused]] const auto n = ::read(g_signalFds[1], buf, sizeof buf);
        emit quitRequested();
    });
    for (int sig : { SIGTERM, SIGINT })
        ::signal(sig, onSignal);

    m_flushTimer = new QTimer(this);
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &HeadlessAgent::flushLog);

    if (!m_options.historyDir.isEmpty()) {
        // Its messages (a full disk, another writer, a damaged store) go to standard error;
        // probing goes on whatever they say.
        m_history = new HistoryThread(m_options.historyDir, {}, this);
        connect(m_history, &HistoryThread::message, this,
            [](const QString &text) { std::fprintf(stderr, "skylark: %s\n", qPrintable(text)); });
        m_recorder = new HistoryRecorder(m_history, this);
    }

    // First echoes spread over the first second, as on a board started in one go.
    m_probes.reserve(hosts.size());
    for (int i = 0; i < hosts.size(); ++i) {
        auto *probe = new HostProbe;
        probe->setHost(hosts[i]);
        m_probes.append(probe);
        const auto key = std::uintptr_t(probe);
        m_store.setIdentity(key, MetricsStore::Identity::of(QStringLiteral("Probe_%1").arg(i), hosts[i], {}));
        connect(probe, &HostProbe::echoSent, this, [this, key] { m_store.countRequest(key); });
        connect(probe, &HostProbe::resultProcessed, this,
            [this, probe, i](const EchoOutcome &o) { onResult(probe, i, o); });
        connect(probe, &HostProbe::lookupFailed, this, [this, probe, key](quint16 err) {
            m_store.setActive(key, false);
            std::fprintf(stderr, "skylark: %s: name lookup failed (%u), monitoring stopped\n",
                qPrintable(probe->host()), unsigned(err));
        });
        if (m_recorder)
            m_recorder->attach(probe);
        probe->start(int(qint64(i) * 1000 / hosts.size()));
    }
    return {};
}

void HeadlessAgent::onResult(HostProbe *probe, int index, const EchoOutcome &o)
{
    const auto key = std::uintptr_t(probe);
    m_store.setIdentity(key, MetricsStore::Identity::of(QStringLiteral("Probe_%1").arg(index), o.host, o.target));
    const LinkStats::Figures f = probe->figures();
    m_store.record(key, o.kind, o.rtt, !probe->isDown(), f.results ? f.lossPercent / 100 : 0);
    if (m_options.log) {
        m_log.add(m_dtaDir + QStringLiteral("Logs/") + ResultLog::fileName(o.host), ResultLog::line(o));
        if (!m_flushTimer->isActive())
            m_flushTimer->start();
    }
}

bool HeadlessAgent::flushLog()
{
    try {
        m_log.flush();
        return true;
    } catch (const SkylarkError &e) {
        // Keep probing and keep the lines: the next flush tries again.
        std::fprintf(stderr, "skylark: %s\n", qPrintable(e.message()));
        if (m_flushTimer)
            m_flushTimer->start();
        return false;
    }
}

bool HeadlessAgent::finish()
{
    for (HostProbe *p : m_probes)
        p->stop();
    m_server.stop();
    if (m_flushTimer)
        m_flushTimer->stop();
    // The history writes what waits and ends its run.
    delete m_recorder;
    m_recorder = nullptr;
    delete m_history;
    m_history = nullptr;
    return !m_log.hasPending() || flushLog();
}
