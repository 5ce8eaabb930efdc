#pragma once

#include "hoststate.h"
#include "resultlog.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <optional>

class ChangeHook;
class DesktopNotifier;
class QTimer;
class HostProbe;
class TSettingsOwner;

// The words of a notification for an announced change: "10.0.0.1 (core router) is down since
// 14:02", "... is back after 5 min 12 s", "... is slow: median 240 ms (limit 50 ms)", "... is
// losing 18 % of echoes"; none for a change that is not told (between up and degraded).
namespace ChangeText {
std::optional<QString> summary(const QString &host, const HostState::Announcement &a, double medianMs,
    const HostState::Thresholds &limits, double lossPercent);
} // namespace ChangeText

// Follows the results of every probe it is given (one per frame): gives each probe the
// thresholds and damping of the settings, tells the desktop of the changes its probe
// announces, runs the change command for each, and appends each result to the host's log,
// as the settings say at the moment of the result.
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
        uint notificationId = 0;
        QString host; // of the latest result
        QString address;
        int lastRtt = -1;
    };
    void applySettings();
    void onResult(HostProbe *probe, const EchoOutcome &outcome);
    void onAnnounced(HostProbe *probe, const HostState::Announcement &announcement);
    void notifyLookupFailure(HostProbe *probe, const QString &hostText);
    void notify(HostProbe *probe, const QString &title, const QString &body);

    TSettingsOwner &m_settings;
    std::function<QString()> m_logDir;
    QHash<HostProbe *, ProbeState> m_probes;
    DesktopNotifier *m_notifier = nullptr;
    ChangeHook *m_hook = nullptr;
    RotatingLog m_log;
    QTimer *m_flushTimer;
};
