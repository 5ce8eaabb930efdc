#pragma once

#include "metricsserver.h"
#include "metricsstore.h"
#include "resultlog.h"

#include <QList>
#include <QObject>
#include <QStringList>

class HistoryRecorder;
class HistoryThread;
class HostProbe;
class QSocketNotifier;
class QTimer;

// Skylark without a display: the same probes as the frames, one per host, feeding the
// metrics endpoint and, when asked, the per-host result logs. It ends on SIGTERM or SIGINT.
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
        QString historyDir; // keeps every result there when not empty
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

    int probeCount() const { return int(m_probes.size()); }
    quint16 metricsPort() const { return m_server.port(); }

signals:
    // A termination signal arrived.
    void quitRequested();

private:
    void onResult(HostProbe *probe, int index, const EchoOutcome &outcome);
    bool flushLog();

    Options m_options;
    QString m_dtaDir;
    MetricsStore m_store;
    MetricsServer m_server;
    QList<HostProbe *> m_probes;
    LogAppender m_log { ResultLog::header() };
    QTimer *m_flushTimer = nullptr;
    QSocketNotifier *m_signals = nullptr;
    HistoryThread *m_history = nullptr;
    HistoryRecorder *m_recorder = nullptr;
};
