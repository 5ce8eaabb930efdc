#pragma once

#include "hoststate.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <deque>
#include <functional>

class QProcess;

// Runs the user's command at every announced change of a host's state: a program and its
// arguments, started directly (no shell), with the change in its environment. At most
// kRunning run at once; further changes wait, and beyond kQueued waiting the oldest are
// dropped (their count is said in the log once the queue has drained). A run still going
// after the time limit is killed. What the program writes on its standard error goes to the
// log, up to kErrorKept bytes of it; its standard output is thrown away. Starting a run never waits for anything.
class ChangeHook : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRunning = 4;
    static constexpr int kQueued = 100;
    static constexpr int kTimeLimitMs = 10000;
    // Of a run's standard error, at most this much goes to the log; the rest is counted.
    static constexpr int kErrorKept = 4096;

    // `log` takes each line for the program's log (a line without its end).
    explicit ChangeHook(std::function<void(const QString &)> log, QObject *parent = nullptr);
    ~ChangeHook() override;

    // An empty program runs nothing.
    void setCommand(const QString &program, const QStringList &arguments);
    QString program() const { return m_program; }
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }

    struct Change
    {
        QString host; // the host text without its options and label: what is pinged
        QString label;
        QString address; // the address echoes go to
        HostState::Announcement announcement;
        int rttMs = -1; // the newest reply's, -1 without one
        double lossPercent = 0;
    };
    // The environment a run gets for this change, besides the program's own.
    static QHash<QString, QString> variables(const Change &change);
    void run(const Change &change);

    int running() const { return int(m_running.size()); }
    int waiting() const { return int(m_queue.size()); }

signals:
    // A run ended (killed or not); for whoever waits on the runs.
    void finished();

private:
    void startWaiting();
    void start(const QHash<QString, QString> &variables);

    std::function<void(const QString &)> m_log;
    QString m_program;
    QStringList m_arguments;
    int m_timeLimitMs = kTimeLimitMs;
    std::deque<QHash<QString, QString>> m_queue;
    QList<QProcess *> m_running;
    int m_dropped = 0;
    bool m_missingSaid = false;
};
