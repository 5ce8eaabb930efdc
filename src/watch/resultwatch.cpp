#include "resultwatch.h"

#include "settingsowner.h"
#include "changehook.h"
#include "desktopnotifier.h"
#include "hoststate.h"
#include "hostprobe.h"
#include "skylarkerror.h"

#include <QPointer>
#include <QProcess>
#include <QTimer>

namespace {

// "45 s", "5 min 12 s", "2 h 5 min".
QString lasting(qint64 ms)
{
    const qint64 s = std::max<qint64>(0, (ms + 500) / 1000);
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

} // namespace

namespace ChangeText {

std::optional<QString> summary(const QString &host, const HostState::Announcement &a, double medianMs,
    const HostState::Thresholds &limits, double lossPercent)
{
    using HostState::State;
    const QString name = HostText::display(host);
    if (a.troubleSince.isValid())
        return QStringLiteral("%1 is back after %2").arg(name, lasting(a.troubleSince.msecsTo(a.at)));
    switch (a.to) {
    case State::Down:
        return QStringLiteral("%1 is down since %2").arg(name, a.since.time().toString(QStringLiteral("HH:mm")));
    case State::Slow:
        return QStringLiteral("%1 is slow: median %2 ms (limit %3 ms)")
            .arg(name)
            .arg(qRound(medianMs))
            .arg(limits.slowMs);
    case State::Lossy:
        return QStringLiteral("%1 is losing %2 % of echoes").arg(name).arg(qRound(lossPercent));
    default:
        return std::nullopt;
    }
}

} // namespace ChangeText

TResultWatch::TResultWatch(TSettingsOwner &settings, std::function<QString()> logDir, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_logDir(std::move(logDir))
    , m_flushTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("ResultWatch"));
    m_hook = new ChangeHook([](const QString &line) { qWarning("skylark: %s", qPrintable(line)); }, this);
    connect(&m_settings, &TSettingsOwner::changed, this, &TResultWatch::applySettings);
    applySettings();
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &TResultWatch::flushLog);
}

TResultWatch::~TResultWatch()
{
    // The last lines still go out; there is no one left to tell about a failure.
    try {
        m_log.flush();
    } catch (const SkylarkError &e) {
        qWarning("%s", qPrintable(e.message()));
    }
}

void TResultWatch::applySettings()
{
    const TAppSettings &s = m_settings.get();
    const HostState::Thresholds t { s.SlowMs, double(s.LossPercent) };
    for (auto it = m_probes.cbegin(); it != m_probes.cend(); ++it) {
        it.key()->setDefaultThresholds(t);
        it.key()->setDamping(s.Damping);
    }
    const QStringList command = QProcess::splitCommand(s.ChangeHook);
    m_hook->setCommand(command.value(0), command.mid(1));
}

void TResultWatch::watch(HostProbe *probe)
{
    m_probes.insert(probe, ProbeState());
    const TAppSettings &s = m_settings.get();
    probe->setDefaultThresholds({ s.SlowMs, double(s.LossPercent) });
    probe->setDamping(s.Damping);
    connect(probe, &HostProbe::resultProcessed, this, [this, probe](const EchoOutcome &o) { onResult(probe, o); });
    connect(probe, &HostProbe::stateAnnounced, this,
        [this, probe](const HostState::Announcement &a) { onAnnounced(probe, a); });
    connect(probe, &HostProbe::lookupFailed, this, [this, probe](quint16, const QString &host) {
        if (m_settings.get().NotifyHostDownUp)
            notifyLookupFailure(probe, host);
    });
    connect(probe, &QObject::destroyed, this, [this, probe] { m_probes.remove(probe); });
}

void TResultWatch::onResult(HostProbe *probe, const EchoOutcome &outcome)
{
    auto it = m_probes.find(probe);
    if (it == m_probes.end())
        return;
    if (outcome.host != it->host)
        it->lastRtt = -1;
    if (outcome.kind == EchoOutcome::Reply)
        it->lastRtt = outcome.rtt;
    it->host = outcome.host;
    it->address = outcome.target;
    if (m_settings.get().LogResults) {
        m_log.add(m_logDir() + QStringLiteral("Logs/"), outcome);
        if (!m_flushTimer->isActive())
            m_flushTimer->start();
    }
}

void TResultWatch::onAnnounced(HostProbe *probe, const HostState::Announcement &a)
{
    auto it = m_probes.find(probe);
    if (it == m_probes.end())
        return;
    const LinkStats::Figures f = probe->figures();
    const HostText::Parts parts = HostText::split(it->host);
    m_hook->run({ parts.address, parts.label, it->address, a, it->lastRtt, f.lossPercent });
    if (!m_settings.get().NotifyHostDownUp)
        return;
    const std::optional<QString> title
        = ChangeText::summary(it->host, a, probe->medianRtt(), probe->thresholds(), f.lossPercent);
    if (!title)
        return;
    const QString rtt = it->lastRtt < 0 ? QStringLiteral("none") : QStringLiteral("%1 ms").arg(it->lastRtt);
    const QString body = QStringLiteral("%1 at %2. Last RTT: %3. Loss: %4 %")
                             .arg(HostState::words(a.to), a.at.time().toString(QStringLiteral("HH:mm:ss")), rtt)
                             .arg(f.lossPercent, 0, 'f', 1);
    notify(probe, *title, body);
}

void TResultWatch::notifyLookupFailure(HostProbe *probe, const QString &hostText)
{
    notify(probe, QStringLiteral("%1: name lookup failed, monitoring stopped").arg(HostText::display(hostText)),
        QString());
}

// Each probe's (each frame's) notification replaces its previous one.
void TResultWatch::notify(HostProbe *probe, const QString &title, const QString &body)
{
    if (!m_notifier)
        m_notifier = new DesktopNotifier(this);
    QPointer<HostProbe> guard(probe);
    m_notifier->notify(title, body, m_probes.value(probe).notificationId, [this, guard](uint id) {
        if (guard && m_probes.contains(guard.data()))
            m_probes[guard.data()].notificationId = id;
    });
}

void TResultWatch::flushLog()
{
    m_flushTimer->stop();
    try {
        m_log.flush();
    } catch (const SkylarkError &e) {
        m_settings.set(&TAppSettings::LogResults, false);
        m_log.clear();
        emit LoggingStopped();
        ErrorDisplay::show(e.message());
    }
}
