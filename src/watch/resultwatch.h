#pragma once

#include "hostwatch.h"
#include "resultlog.h"

#include <QHash>
#include <QObject>

#include <functional>

class DesktopNotifier;
class QTimer;
class TPingFrame;
class TSettingsOwner;

// Follows the results of every frame it is given: tells the desktop when a host goes down or
// comes back, and appends each result to the host's log, as the two switches in the settings
// say at the moment of the result.
class TResultWatch : public QObject
{
    Q_OBJECT
public:
    // `logDir` gives the folder of the log files, with a trailing separator.
    TResultWatch(TSettingsOwner &settings, std::function<QString()> logDir, QObject *parent = nullptr);
    ~TResultWatch() override;

    void watch(TPingFrame *frame);
    // Writes the collected log lines now. A failure is shown once and turns logging off.
    void flushLog();

    static constexpr int kFlushIntervalMs = 2000;

signals:
    // Logging turned itself off after a write failure.
    void LoggingStopped();

private:
    struct FrameState
    {
        DownUpWatch hostState;
        uint notificationId = 0;
    };
    void onResult(TPingFrame *frame, const EchoOutcome &outcome);
    void notifyChange(TPingFrame *frame, DownUpWatch::Change change, const EchoOutcome &outcome, int lastRtt);
    void notifyLookupFailure(TPingFrame *frame, const QString &hostText);
    void notify(TPingFrame *frame, const QString &title, const QString &body);

    TSettingsOwner &m_settings;
    std::function<QString()> m_logDir;
    QHash<TPingFrame *, FrameState> m_frames;
    DesktopNotifier *m_notifier = nullptr;
    LogAppender m_log { ResultLog::header() };
    QTimer *m_flushTimer;
};
