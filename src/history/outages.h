#pragma once

#include "historyresult.h"

#include <QList>

// A host's outages over its results, by the down rule of the notifications: three results in
// a row without a reply (time-outs, foreign answers and router errors alike) make an outage
// that starts at the first of them and ends at the next reply; its kind is that of its first
// result. A failed lookup is an outage of its own (lookup_failed) at once, until a reply.
//
// Results come in the order they were recorded, each with the run that recorded it. An
// outage still open when its run's results end is cut there (its end is its last result),
// unless that run is the live one, being recorded now: then it is ongoing. A restart thus
// cuts an outage, and the next run counts its misses afresh.
//
// Durations add up the steps from one result to the next, so a wall-clock step back inside an
// outage adds nothing instead of making the duration short or negative. (A step forward cannot
// be told from a machine asleep, and counts.)
namespace History {

struct Recorded
{
    Result result;
    qint64 run = 0;
};

struct Outage
{
    enum class State { Ended, Ongoing, Cut };
    qint64 startMs = 0;
    qint64 endMs = -1; // the reply that ended it, or for a cut one its last result; -1 while ongoing
    qint64 lastMs = 0; // its last result without a reply
    qint64 durationMs = 0; // to its end, or while ongoing to its last result
    Kind kind = Kind::Timeout;
    State state = State::Ended;
    friend bool operator==(const Outage &, const Outage &) = default;
};

// "ended", "ongoing", "cut".
QString stateName(Outage::State state);

// Oldest first. liveRun is the run being recorded now, 0 for none.
QList<Outage> findOutages(const QList<Recorded> &results, qint64 liveRun);

} // namespace History
