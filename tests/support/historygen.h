#pragma once

#include "historystore.h"

#include <QList>

#include <random>

// Fills a store with days of results of a mix of hosts, as an agent at one result a second
// would have written them: near and far hosts, lossy ones, one with a daily outage and one
// behind a router that answers with errors. Each batch covers batchSeconds of every host.
namespace HistoryGen {

struct Options
{
    int days = 1;
    int hosts = 10;
    qint64 startMs = 1796083200000; // 2026-12-01 00:00 UTC
    int batchSeconds = 60;
    unsigned seed = 1;
    int seconds = 0; // instead of days when above 0
};

struct Figures
{
    qint64 results = 0;
    qint64 batches = 0;
};

inline QString hostText(int i)
{
    return QStringLiteral("host%1.example site %2").arg(i).arg(i % 7);
}

inline Figures fill(HistoryStore &store, const Options &o)
{
    struct Host
    {
        HistoryStore::Entry entry;
        qint64 next = 0; // when the next result is processed
    };
    std::mt19937 rng(o.seed);
    QList<Host> hosts(o.hosts);
    for (int i = 0; i < o.hosts; ++i) {
        hosts[i].entry.identity = hostText(i);
        hosts[i].entry.label = QStringLiteral("site %1").arg(i % 7);
        hosts[i].entry.address = QStringLiteral("192.0.2.%1").arg(i % 250 + 1);
        hosts[i].next = o.startMs + std::uniform_int_distribution<int>(0, 999)(rng);
    }
    auto unit = [&rng]() { return std::uniform_real_distribution<double>(0, 1)(rng); };
    auto result = [&](int profile, qint64 at) {
        History::Result r;
        r.timeMs = at;
        const double u = unit();
        const qint64 dayMs = (at - o.startMs) % 86400000;
        bool miss = false;
        int base = 1, spread = 1;
        switch (profile) {
        case 0: // the same network
            base = 0, spread = 2, miss = u < 0.001;
            break;
        case 1: // the region
            base = 11, spread = 4, miss = u < 0.002;
            break;
        case 2: // across the internet
            base = 25, spread = 30, miss = u < 0.01;
            break;
        case 3: // another continent
            base = 160, spread = 120, miss = u < 0.02;
            break;
        case 4: // a lossy link; its router answers with errors now and then
            base = 30, spread = 15, miss = u < 0.1;
            if (miss && unit() < 0.3) {
                r.kind = History::Kind::Unreachable;
                r.status = 11003;
                return r;
            }
            break;
        default: // down for half an hour each day
            base = 8, spread = 3, miss = dayMs >= 3 * 3600000 && dayMs < 3 * 3600000 + 1800000;
            break;
        }
        if (miss) {
            r.kind = History::Kind::Timeout;
            r.status = History::kStatusTimedOut;
            return r;
        }
        r.kind = History::Kind::Reply;
        r.status = 0;
        r.rttUs = 1000LL * (base + std::uniform_int_distribution<int>(0, spread)(rng));
        return r;
    };

    Figures f;
    const qint64 endMs = o.startMs + (o.seconds > 0 ? o.seconds * 1000LL : qint64(o.days) * 86400000);
    QList<HistoryStore::Entry> batch;
    for (qint64 batchEnd = o.startMs + o.batchSeconds * 1000LL; batchEnd <= endMs;
         batchEnd += o.batchSeconds * 1000LL) {
        batch.clear();
        for (int i = 0; i < o.hosts; ++i) {
            Host &h = hosts[i];
            while (h.next < batchEnd) {
                h.entry.result = result(i % 6, h.next);
                batch.append(h.entry);
                // The next echo leaves a second after this result and takes its RTT, or the
                // time-out of four seconds.
                const History::Result &r = h.entry.result;
                h.next += 1000 + (r.kind == History::Kind::Reply ? r.rttUs / 1000 : 4000);
            }
        }
        QString error;
        if (store.write(batch, &error) != HistoryStore::WriteStatus::Ok)
            return f;
        f.results += batch.size();
        ++f.batches;
    }
    return f;
}

} // namespace HistoryGen
