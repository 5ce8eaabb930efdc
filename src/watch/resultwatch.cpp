#include "resultwatch.h"

#include "settingsowner.h"
#include "desktopnotifier.h"
#include "hoststate.h"
#include "hostprobe.h"
#include "skylarkerror.h"

#include <QPointer>
#include <QTimer>

TResultWatch::TResultWatch(TSettingsOwner &settings, std::function<QString()> logDir, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_logDir(std::move(logDir))
    , m_flushTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("ResultWatch"));
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

void TResultWatch::watch(HostProbe *probe)
{
    m_probes.insert(probe, ProbeState());
    connect(probe, &HostProbe::resultProcessed, this, [this, probe](const EchoOutcome &o) { onResult(probe, o); });
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
    const int lastRtt = it->hostState.lastRtt();
    const DownUpWatch::Change change = it->hostState.feed(outcome);
    if (change != DownUpWatch::Change::None && m_settings.get().NotifyHostDownUp)
        notifyChange(probe, change, outcome, lastRtt);
    if (m_settings.get().LogResults) {
        m_log.add(m_logDir() + QStringLiteral("Logs/"), outcome);
        if (!m_flushTimer->isActive())
            m_flushTimer->start();
    }
}

void TResultWatch::notifyChange(HostProbe *probe, DownUpWatch::Change change, const EchoOutcome &o, int lastRtt)
{
    const bool down = change == DownUpWatch::Change::Down;
    const QString title = HostText::display(o.host) + (down ? QStringLiteral(" is down") : QStringLiteral(" is back"));
    const int rtt = down ? lastRtt : o.rtt;
    const QString rttText = rtt < 0 ? QStringLiteral("none") : QStringLiteral("%1 ms").arg(rtt);
    const QString body = (down ? QStringLiteral("Down at %1. Last RTT: %2") : QStringLiteral("Back at %1. RTT: %2"))
                             .arg(o.when.time().toString(QStringLiteral("HH:mm:ss")), rttText);
    notify(probe, title, body);
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
