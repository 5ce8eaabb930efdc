#include "historyrecorder.h"

#include "appclock.h"
#include "historywriter.h"
#include "hostprobe.h"
#include "hostspec.h"

HistoryRecorder::HistoryRecorder(HistoryThread *history, QObject *parent)
    : QObject(parent)
    , m_history(history)
{
}

void HistoryRecorder::attach(HostProbe *probe)
{
    connect(probe, &HostProbe::resultProcessed, this,
        [this, probe](const EchoOutcome &outcome) { m_history->record(entryFor(outcome, probe->hostSpec().label)); });
    connect(probe, &HostProbe::lookupFailed, this, [this](quint16 errCode, const QString &hostText) {
        m_history->record(lookupFailure(hostText, errCode, AppClock::now().toMSecsSinceEpoch()));
    });
}

HistoryStore::Entry HistoryRecorder::entryFor(const EchoOutcome &o, const QString &label)
{
    HistoryStore::Entry e { o.host, label, o.target, {} };
    History::Result &r = e.result;
    r.timeMs = o.when.toMSecsSinceEpoch();
    r.status = o.status;
    switch (o.kind) {
    case EchoOutcome::Reply:
    case EchoOutcome::Foreign:
        r.kind = o.kind == EchoOutcome::Reply ? History::Kind::Reply : History::Kind::Foreign;
        r.rttUs = o.rttMicros();
        break;
    case EchoOutcome::Timeout:
        r.kind = History::kindOfMiss(o.status);
        r.rttUs = 0;
        break;
    }
    return e;
}

HistoryStore::Entry HistoryRecorder::lookupFailure(const QString &hostText, int errCode, qint64 timeMs)
{
    const HostSpec parsed = HostSpec::parse(hostText);
    return { parsed.identity, parsed.label, parsed.address, { timeMs, History::Kind::LookupFailed, errCode, 0 } };
}
