// The history store's figures: bytes on disk per result over days of mixed hosts written in
// two-second batches, the CPU a batch costs, and how long a host's range takes to read.
//   history_bench [--hosts 150] [--days 1 | --seconds N] [--batch 2]   size and write cost
//   history_bench --query [--hosts 20] [--days 30]          read times for ranges of one host, and the
//                                                           history window's view of them (800 pixels)
#include "benchkit.h"
#include "historygen.h"
#include "historyrange.h"
#include "historystore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int size(const bench::Args &args)
{
    const int hosts = args.value(QStringLiteral("--hosts"), QStringLiteral("150")).toInt();
    const int days = args.value(QStringLiteral("--days"), QStringLiteral("1")).toInt();
    const int batch = args.value(QStringLiteral("--batch"), QStringLiteral("2")).toInt();
    const int seconds = args.value(QStringLiteral("--seconds"), QStringLiteral("0")).toInt();
    QTemporaryDir dir;
    HistoryStore store;
    QString error;
    if (!store.openForWriting(dir.path(), {}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double cpu0 = threadCpuMs();
    QElapsedTimer wall;
    wall.start();
    const HistoryGen::Figures f = HistoryGen::fill(store, { days, hosts, 1796083200000, batch, 1, seconds });
    const double cpu = threadCpuMs() - cpu0;
    const qint64 ms = wall.elapsed();
    store.close(1796083200000 + days * 86400000LL);
    const qint64 bytes = QFileInfo(HistoryStore::fileName(dir.path())).size();
    const double perResult = double(bytes) / double(f.results);
    std::printf("history: %d hosts x %d day(s), batches of %d s: %lld results, %lld batches\n", hosts, days, batch,
        qint64(f.results), qint64(f.batches));
    std::printf("  file with indexes: %lld bytes, %.2f bytes per result\n", bytes, perResult);
    std::printf("  150 hosts x 30 days at 1 Hz: %.2f GB\n", perResult * 150 * 30 * 86400 / 1e9);
    std::printf("  write: %.3f ms CPU per batch (%.1f results each), %.2f us CPU per result; wall %lld ms\n",
        cpu / double(f.batches), double(f.results) / double(f.batches), 1000 * cpu / double(f.results), ms);
    return 0;
}

int query(const bench::Args &args)
{
    const int hosts = args.value(QStringLiteral("--hosts"), QStringLiteral("20")).toInt();
    const int days = args.value(QStringLiteral("--days"), QStringLiteral("30")).toInt();
    QTemporaryDir dir;
    {
        HistoryStore store;
        QString error;
        if (!store.openForWriting(dir.path(), { 400, 400 }, &error))
            return 1;
        HistoryGen::fill(store, { days, hosts, 1796083200000, 60, 1 });
    }
    HistoryStore reader;
    QString error;
    if (!reader.openForReading(dir.path(), &error))
        return 1;
    const auto list = reader.hosts();
    const qint64 end = 1796083200000 + days * 86400000LL;
    std::printf("history: reading one host of %d hosts x %d days\n", hosts, days);
    for (const auto &[name, span] : { std::pair { "1 h", 3600000LL }, { "24 h", 86400000LL }, { "7 d", 7 * 86400000LL },
             { "30 d", 30 * 86400000LL } }) {
        QElapsedTimer t;
        t.start();
        qint64 rows = 0;
        for (const auto &h : list)
            rows += reader.results(h.id, end - span, end).size();
        const double raw = double(t.nsecsElapsed()) / 1e6 / list.size();
        t.restart();
        qint64 minutes = 0;
        for (const auto &h : list)
            minutes += reader.minutes(h.id, end - span, end).size();
        const double agg = double(t.nsecsElapsed()) / 1e6 / list.size();
        std::printf("  last %-4s: results %8.2f ms (%lld rows), minutes %7.2f ms (%lld rows) per host\n", name, raw,
            rows / list.size(), agg, minutes / list.size());
    }
    // What the history window reads and reduces for a view, and its outage list; the slowest
    // host counts, as that is the one a user waits for.
    for (const auto &[name, span] : { std::pair { "1 h", 3600000LL }, { "2 h", 7200000LL }, { "24 h", 86400000LL },
             { "7 d", 7 * 86400000LL }, { "30 d", 30 * 86400000LL } }) {
        double worstView = 0, worstOutages = 0, sumView = 0;
        for (const auto &h : list) {
            QElapsedTimer t;
            t.start();
            const HistoryRange::View v = HistoryRange::load(reader, h.id, end - span, end, 800);
            const double view = double(t.nsecsElapsed()) / 1e6;
            t.restart();
            const auto outages = reader.outages(h.id, end - span, end, 0, 1000);
            const double out = double(t.nsecsElapsed()) / 1e6;
            worstView = std::max(worstView, view);
            worstOutages = std::max(worstOutages, out);
            sumView += view + out;
            Q_UNUSED(v);
            Q_UNUSED(outages);
        }
        std::printf("  window, last %-4s: view at most %7.2f ms, outages at most %7.2f ms, both %7.2f ms per host\n",
            name, worstView, worstOutages, sumView / list.size());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bench::Args args(app.arguments());
    return args.has(QStringLiteral("--query")) ? query(args) : size(args);
}
