#pragma once

#include "historystore.h"
#include "linkstats.h"

#include <QObject>

class HistoryThread;
class HostProbe;

// Hands each result of the probes it watches to the history's writer thread, under the
// host's identity, with its label and the address it went to.
class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    explicit HistoryRecorder(HistoryThread *history, QObject *parent = nullptr);

    // Records the probe's results and failed lookups until it is destroyed.
    void attach(HostProbe *probe);

    // What is kept of a result and of a failed lookup.
    static HistoryStore::Entry entryFor(const EchoOutcome &outcome, const QString &label);
    static HistoryStore::Entry lookupFailure(const QString &hostText, int errCode, qint64 timeMs);

private:
    HistoryThread *m_history;
};
