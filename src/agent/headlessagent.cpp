#include "headlessagent.h"

#include "boundedread.h"
#include "changehook.h"
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

void onSignal(int sig)
{
    const char b = char(sig);
    [[maybe_unused]] const auto n = ::write(g_signalFds[0], &b, 1);
}

constexpr int kFlushIntervalMs = 2000;
static_assert(ResultLog::kDefaultKeepDays == HistoryStore::kDefaultRawDays, "logs are kept as long as raw results");
constexpr int kNamesSaid = 20;

// "a, b and 3 more"
QString someOf(const QStringList &names)
{
    QString out = names.mid(0, kNamesSaid).join(QStringLiteral(", "));
    if (names.size() > kNamesSaid)
        out += QStringLiteral(" and %1 more").arg(names.size() - kNamesSaid);
    return out;
}

} // namespace

HeadlessAgent::HeadlessAgent(Options options, QString dtaDir, QString version, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_dtaDir(std::move(dtaDir))
    , m_server(m_store, std::move(version))
    , m_log(m_options.keepDays)
{
}

HeadlessAgent::~HeadlessAgent()
{
    for (int sig : { SIGTERM, SIGINT, SIGHUP })
        ::signal(sig, SIG_DFL);
    qDeleteAll(m_probes);
}

QString HeadlessAgent::readHosts(QStringList *out) const
{
    QStringList hosts;
    for (const QString &h : m_options.hosts)
        if (!TextRules::trimmed(h).isEmpty())
            hosts.append(TextRules::trimmed(h));
    if (!m_options.listFile.isEmpty()) {
        // What the name leads to is said as the desktop says it: a folder, not a regular file
        // (a FIFO, a device), too large.
        const BoundedRead::Result r = BoundedRead::read(m_options.listFile);
        if (r.missing)
            return QStringLiteral("Cannot read the host list \"%1\": there is no such file.").arg(m_options.listFile);
        if (!r.ok())
            return r.error;
        for (const QString &line : ListFile::decode(r.bytes).lines)
            if (!TextRules::trimmed(line).isEmpty())
                hosts.append(TextRules::trimmed(line));
    }
    if (hosts.isEmpty())
        return m_options.listFile.isEmpty()
            ? QStringLiteral("Nothing to watch: give host names or --list FILE.")
            : QStringLiteral("Nothing to watch: \"%1\" names no host.").arg(m_options.listFile);
    *out = hosts;
    return {};
}

QString HeadlessAgent::start()
{
    QStringList hosts;
    if (const QString why = readHosts(&hosts); !why.isEmpty())
        return why;

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
        const auto n = ::read(g_signalFds[1], buf, sizeof buf);
        bool quit = false;
        bool reread = false;
        for (ssize_t i = 0; i < n; ++i)
            (buf[i] == char(SIGHUP) ? reread : quit) = true;
        if (quit)
            emit quitRequested();
        else if (reread)
            reload();
    });
    for (int sig : { SIGTERM, SIGINT, SIGHUP })
        ::signal(sig, onSignal);

    if (!m_options.onChange.isEmpty()) {
        m_hook = new ChangeHook(
            [](const QString &line) { std::fprintf(stderr, "skylark: %s\n", qPrintable(line)); }, this);
        m_hook->setCommand(m_options.onChange, m_options.onChangeArgs);
    }

    m_flushTimer = new QTimer(this);
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &HeadlessAgent::flushLog);

    if (!m_options.historyDir.isEmpty()) {
        // Its messages (a full disk, another writer, a damaged store) go to standard error;
        // probing goes on whatever they say.
        HistoryStore::Settings kept;
        kept.rawDays = m_options.keepDays;
        kept.minuteDays = std::max(kept.minuteDays, kept.rawDays);
        m_history = new HistoryThread(m_options.historyDir, kept, this);
        connect(m_history, &HistoryThread::message, this,
            [](const QString &text) { std::fprintf(stderr, "skylark: %s\n", qPrintable(text)); });
        m_recorder = new HistoryRecorder(m_history, this);
    }

    // First echoes spread over the first second, as on a board started in one go.
    m_probes.reserve(hosts.size());
    for (int i = 0; i < hosts.size(); ++i)
        m_probes.append(watch(hosts[i], int(qint64(i) * 1000 / hosts.size())));
    return {};
}

HostProbe *HeadlessAgent::watch(const QString &host, int startDelayMs)
{
    auto *probe = new HostProbe;
    probe->setDefaultTiming(m_options.intervalMs, m_options.timeoutMs);
    HostState::Thresholds t;
    if (m_options.slowMs > 0)
        t.slowMs = m_options.slowMs;
    if (m_options.lossPercent >= 0)
        t.lossPercent = m_options.lossPercent;
    probe->setHost(host);
    probe->setDefaultThresholds(t);
    if (m_options.damping > 0)
        probe->setDamping(m_options.damping);
    const QString name = QStringLiteral("Probe_%1").arg(m_nextName++);
    m_watched.insert(probe, { name, 0 });
    m_feed.watch(
        probe, [name] { return name; }, true);
    connect(probe, &HostProbe::resultProcessed, this, [this, probe](const EchoOutcome &o) { onResult(probe, o); });
    connect(probe, &HostProbe::lookupFailed, this, [this, probe](quint16 err) { onLookupFailed(probe, err); });
    connect(probe, &HostProbe::stateAnnounced, this, [this, probe](const HostState::Announcement &a) {
        if (m_hook) {
            const HostSpec &parsed = probe->hostSpec();
            const LinkStats::Figures f = probe->figures();
            m_hook->run({ parsed.address, parsed.label, probe->address(), a, probe->lastRtt(), f.lossPercent });
        }
    });
    if (m_recorder)
        m_recorder->attach(probe);
    probe->start(startDelayMs);
    return probe;
}

void HeadlessAgent::onLookupFailed(HostProbe *probe, quint16 err)
{
    auto it = m_watched.find(probe);
    if (it == m_watched.end())
        return;
    if (it->retryMs == 0)
        std::fprintf(
            stderr, "skylark: %s: name lookup failed (%u), trying again\n", qPrintable(probe->host()), unsigned(err));
    it->retryMs = it->retryMs == 0 ? kFirstRetryMs : std::min(it->retryMs * 2, kLastRetryMs);
    QTimer::singleShot(it->retryMs, probe, [probe] { probe->start(); });
}

void HeadlessAgent::reload()
{
    if (m_log.hasPending())
        flushLog();
    QStringList hosts;
    if (const QString why = readHosts(&hosts); !why.isEmpty()) {
        std::fprintf(stderr, "skylark: host list not reread: %s The hosts stay as they were.\n", qPrintable(why));
        return;
    }
    QHash<QString, QList<HostProbe *>> current;
    for (HostProbe *p : std::as_const(m_probes))
        current[p->host()].append(p);
    QList<HostProbe *> probes;
    QStringList added;
    probes.reserve(hosts.size());
    for (const QString &h : std::as_const(hosts)) {
        QList<HostProbe *> &same = current[h];
        if (!same.isEmpty()) {
            probes.append(same.takeFirst());
            continue;
        }
        added.append(h);
        probes.append(nullptr);
    }
    QStringList removed;
    for (auto it = current.cbegin(); it != current.cend(); ++it)
        for (HostProbe *p : it.value()) {
            removed.append(p->host());
            p->stop();
            p->disconnect(this);
            m_feed.unwatch(p);
            m_watched.remove(p);
            p->deleteLater();
        }
    int started = 0;
    for (int i = 0; i < probes.size(); ++i)
        if (!probes[i])
            probes[i] = watch(hosts[i], int(qint64(started++) * 1000 / std::max<qsizetype>(1, added.size())));
    m_probes = probes;

    std::fprintf(stderr, "skylark: host list reread: %d hosts, %d added, %d removed, %d unchanged\n",
        int(m_probes.size()), int(added.size()), int(removed.size()), int(m_probes.size() - added.size()));
    if (!added.isEmpty())
        std::fprintf(stderr, "skylark: added %s\n", qPrintable(someOf(added)));
    if (!removed.isEmpty())
        std::fprintf(stderr, "skylark: removed %s\n", qPrintable(someOf(removed)));
}

void HeadlessAgent::onResult(HostProbe *probe, const EchoOutcome &o)
{
    auto it = m_watched.find(probe);
    if (it == m_watched.end())
        return;
    if (it->retryMs != 0) {
        it->retryMs = 0;
        std::fprintf(stderr, "skylark: %s: name lookup succeeded again\n", qPrintable(probe->host()));
    }
    if (m_options.log) {
        m_log.add(m_dtaDir + QStringLiteral("Logs/"), o);
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
