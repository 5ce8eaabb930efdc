#include "outages.h"

#include <optional>

namespace History {

QString stateName(Outage::State state)
{
    switch (state) {
    case Outage::State::Ended:
        return QStringLiteral("ended");
    case Outage::State::Ongoing:
        return QStringLiteral("ongoing");
    case Outage::State::Cut:
        return QStringLiteral("cut");
    }
    return QString();
}

QList<Outage> findOutages(const QList<Recorded> &results, qint64 liveRun)
{
    QList<Outage> out;
    std::optional<Outage> open;
    qint64 openRun = 0;
    // The misses in a row not yet making an outage, and the time they add up to.
    int misses = 0;
    Outage pending;
    qint64 prevRun = 0;
    qint64 prevMs = 0;
    bool first = true;

    auto close = [&](Outage::State state, qint64 endMs) {
        open->state = state;
        open->endMs = endMs;
        out.append(*open);
        open.reset();
    };
    for (const Recorded &rec : results) {
        const Result &r = rec.result;
        const bool newRun = first || rec.run != prevRun;
        const qint64 step = newRun ? 0 : qMax<qint64>(0, r.timeMs - prevMs);
        first = false;
        prevRun = rec.run;
        prevMs = r.timeMs;
        if (newRun) {
            if (open)
                close(Outage::State::Cut, open->lastMs);
            misses = 0;
        }
        if (r.kind == Kind::Reply) {
            if (open) {
                open->durationMs += step;
                close(Outage::State::Ended, r.timeMs);
            }
            misses = 0;
            continue;
        }
        if (open) {
            open->durationMs += step;
            open->lastMs = r.timeMs;
            continue;
        }
        if (r.kind == Kind::LookupFailed) {
            open = Outage { r.timeMs, -1, r.timeMs, 0, Kind::LookupFailed, Outage::State::Ongoing };
            openRun = rec.run;
            misses = 0;
            continue;
        }
        if (misses == 0)
            pending = Outage { r.timeMs, -1, r.timeMs, 0, r.kind, Outage::State::Ongoing };
        else
            pending.durationMs += step;
        pending.lastMs = r.timeMs;
        if (++misses == 3) {
            open = pending;
            openRun = rec.run;
            misses = 0;
        }
    }
    if (open) {
        if (openRun == liveRun)
            out.append(*open);
        else
            close(Outage::State::Cut, open->lastMs);
    }
    return out;
}

} // namespace History
