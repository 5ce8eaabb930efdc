#pragma once

#include "hostwatch.h"
#include "resultlog.h"

#include <QHash>
#include <QObject>

#include <functional>

class DesktopNotifier;
class QTimer;
class HostProbe;
class TSettingsOwner;

// Follows the results of every probe it is given (one per frame): tells the desktop when a host goes down or
// comes back, and appends each result to the host's log, as the two switches in the settings
// say at the moment of the result.
class TResultWatch : public QObject
{
    Q_OBJECT
public:
    // `logDir` gives the folder of the log files, with a trailing separator.
    TResultWatch(TSettingsOwner &settings, std::function<QString()> logDir, QObject *parent = nullptr);
    ~TResultWatch() override;

    void watch(HostProbe *probe);
    // Writes the collected log lines now. A failure is shown once and turns logging off.
    void flushLog();
    // The days of logs kept besides the current one.
    void setLogKeepDays(int days) { m_log.setKeepDays(days); }

    static constexpr int kFlushIntervalMs = 2000;

signals:
    // Logging turned itself off after a write failure.
    void LoggingStopped();

private:
    struct ProbeState
    {
        DownUpWatch hostState;
        uint notificationId = 0;
    };
    void onResult(HostProbe *probe, const EchoOutcome &outcome);
    void notifyChange(HostProbe *probe, DownUpWatch::Change change, const EchoOutcome &outcome, int lastRtt);
    void notifyLookupFailure(HostProbe *probe, const QString &hostText);
    void notify(HostProbe *probe, const QString &title, const QString &body);

    TSettingsOwner &m_settings;
    std::function<QString()> m_logDir;
    QHash<HostProbe *, ProbeState> m_probes;
    DesktopNotifier *m_notifier = nullptr;
    RotatingLog m_log;
    QTimer *m_flushTimer;
};
