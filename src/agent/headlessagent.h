#pragma once

#include "metricsfeed.h"
#include "metricsserver.h"
#include "metricsstore.h"
#include "resultlog.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

class ChangeHook;
class HistoryRecorder;
class HistoryThread;
class HostProbe;
class QSocketNotifier;
class QTimer;

// Skylark without a display: the same probes as the frames, one per host, feeding the
// metrics endpoint and, when asked, the per-host result logs. It ends on SIGTERM or SIGINT,
// and rereads its host list on SIGHUP. A host whose name does not resolve stays watched: it
// shows as down and its lookup is tried again, less often the longer it fails.
class HeadlessAgent : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QStringList hosts;
        QString listFile;
        QString metricsAddress;
        bool log = false;
        // For hosts whose text sets none; 0 keeps the usual 1 s and 4 s.
        int intervalMs = 0;
        int timeoutMs = 0;
        QString historyDir; // keeps every result there when not empty
        // For hosts whose text sets none; 0 and -1 keep the usual 250 ms and 10 %.
        int slowMs = 0;
        double lossPercent = -1;
        int damping = 0; // 0: the usual 3
        QString onChange; // run at every announced change when not empty
        QStringList onChangeArgs;
        // Days of raw history and of logs kept besides the current one.
        int keepDays = ResultLog::kDefaultKeepDays;
    };

    // `dtaDir` is the program's data folder (with a trailing separator): the logs go below it.
    HeadlessAgent(Options options, QString dtaDir, QString version, QObject *parent = nullptr);
    ~HeadlessAgent() override;

    // Reads the hosts, starts the endpoint and the probes, and listens for the end signals.
    // Returns what stands in the way (the program then exits with 2), or an empty text.
    QString start();
    // Stops the probes and writes what the logs still hold. Returns false when a log could
    // not be written (said on standard error).
    bool finish();

    // Reads the hosts again (a SIGHUP does this): a host text still there keeps its probe,
    // counters and series, new ones start, and those no longer there stop and leave the
    // output. The logs are written out first. What changed is said on standard error; a list
    // that cannot be read leaves the hosts as they were.
    void reload();

    int probeCount() const { return int(m_probes.size()); }
    quint16 metricsPort() const { return m_server.port(); }

    // The first retry of a failed lookup, doubling up to the last.
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;

signals:
    // A termination signal arrived.
    void quitRequested();

private:
    struct Watched
    {
        QString name; // "Probe_3"
        int retryMs = 0; // the wait before the next lookup while lookups fail
    };
    // Hosts from the arguments and the list, or what stands in the way.
    QString readHosts(QStringList *out) const;
    HostProbe *watch(const QString &host, int startDelayMs);
    void onResult(HostProbe *probe, const EchoOutcome &outcome);
    void onLookupFailed(HostProbe *probe, quint16 errCode);
    bool flushLog();

    Options m_options;
    QString m_dtaDir;
    MetricsStore m_store;
    MetricsServer m_server;
    MetricsFeed m_feed { m_store };
    QList<HostProbe *> m_probes;
    QHash<HostProbe *, Watched> m_watched;
    int m_nextName = 0;
    RotatingLog m_log;
    QTimer *m_flushTimer = nullptr;
    QSocketNotifier *m_signals = nullptr;
    HistoryThread *m_history = nullptr;
    HistoryRecorder *m_recorder = nullptr;
    ChangeHook *m_hook = nullptr;
};
