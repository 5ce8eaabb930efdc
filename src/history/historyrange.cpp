#include "historyrange.h"

namespace HistoryRange {

View load(const HistoryStore &store, qint64 hostId, qint64 fromMs, qint64 toMs, int pixels)
{
    View v;
    v.fromMs = fromMs;
    v.toMs = toMs;
    pixels = qBound(1, pixels, 20000);
    if (toMs <= fromMs)
        return v;
    if (toMs - fromMs <= kRawSpanMs) {
        v.raw = true;
        const QList<HistoryStore::RunResult> results = store.results(hostId, fromMs, toMs);
        // A host pinged far faster than once a second: the newest are kept.
        const qsizetype first = qMax<qsizetype>(0, results.size() - kMaxPoints);
        v.points.reserve(results.size() - first);
        for (qsizetype i = first; i < results.size(); ++i) {
            const History::Result &r = results.at(i).result;
            const bool answered = r.kind == History::Kind::Reply || r.kind == History::Kind::Foreign;
            v.points.append({ r.timeMs, r.kind, answered ? r.rttUs : 0 });
            if (answered)
                v.highestUs = qMax(v.highestUs, r.rttUs);
        }
        return v;
    }
    v.columns.resize(pixels);
    QList<qint64> sums(pixels, 0);
    const double perPixel = double(toMs - fromMs) / pixels;
    for (const HistoryStore::Minute &m : store.minutes(hostId, fromMs, toMs)) {
        const int x = qBound(0, int(double(m.startMs - fromMs) / perPixel), pixels - 1);
        Column &c = v.columns[x];
        if (m.replies > 0) {
            c.lowUs = c.replies == 0 ? m.lowUs : qMin(c.lowUs, m.lowUs);
            c.highUs = c.replies == 0 ? m.highUs : qMax(c.highUs, m.highUs);
            sums[x] += m.sumUs;
            v.highestUs = qMax(v.highestUs, m.highUs);
        }
        c.count += m.count;
        c.replies += m.replies;
    }
    for (int x = 0; x < pixels; ++x)
        if (v.columns[x].replies > 0)
            v.columns[x].meanUs = sums[x] / v.columns[x].replies;
    return v;
}

} // namespace HistoryRange
