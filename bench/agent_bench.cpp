// The headless agent at scale: N hosts at one echo a second each, through the same probes,
// metrics store and endpoint as `skylark --headless`, beside fping on the same hosts in the
// same run. Prints the CPU per echo, the echo engine's counters, the memory per probe and the
// time a scrape of every host takes. Run inside the network test kit.
//   agent_bench [--seconds S] [--hosts N,N...] [--no-peer]
#include "benchkit.h"
#include "echoservice.h"
#include "headlessagent.h"
#include "metricsformat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace bench;

namespace {

double rssKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024;
}

void runFor(int ms)
{
    QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// One scrape as a Prometheus server makes it: ms until the whole answer is in, and its size.
std::pair<double, qint64> scrape(quint16 port)
{
    QElapsedTimer t;
    t.start();
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(2000))
        return { -1, 0 };
    s.write("GET /metrics HTTP/1.1\r\nHost: bench\r\n\r\n");
    qint64 size = 0;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
        size += s.readAll().size();
    size += s.readAll().size();
    return { t.nsecsElapsed() / 1e6, size };
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!insideNetkit())
        return 2;
    const Args args(app.arguments().mid(1));
    const int seconds
        = args.value(QStringLiteral("--seconds"), qEnvironmentVariable("BENCH_SECONDS", QStringLiteral("60"))).toInt();
    QList<int> hostCounts;
    for (const QString &v : args.value(QStringLiteral("--hosts"), QStringLiteral("1000,5000")).split(QLatin1Char(',')))
        hostCounts.append(v.toInt());

    std::printf(
        "== Headless agent: every host 1 echo/s for %d s, metrics served (whole-process CPU; fping beside)\n", seconds);
    std::printf("%-6s %-7s %9s %9s %9s %6s %6s %8s %12s %7s %10s %10s %9s\n", "hosts", "tool", "sent", "replies",
        "delivered", "lost", "late", "cpu %", "cpu us/echo", "ratio", "KiB/probe", "scrape ms", "scrape KB");
    for (int n : hostCounts) {
        const QStringList hosts = steadyHosts(n);
        const double rss0 = rssKiB();
        const EchoService::Counters c0 = EchoService::instance().counters();
        HeadlessAgent::Options options;
        options.hosts = hosts;
        options.metricsAddress = QStringLiteral("127.0.0.1:0");
        HeadlessAgent agent(options, {}, QStringLiteral("bench"));
        if (const QString why = agent.start(); !why.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(why));
            return 1;
        }
        // The first echoes spread over a second; the load is steady from then on.
        runFor(2000);
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        const EchoService::Counters c1 = EchoService::instance().counters();
        QElapsedTimer t;
        t.start();
        runFor(seconds * 1000);
        const double cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        const double elapsed = t.elapsed() / 1000.0;
        const EchoService::Counters c2 = EchoService::instance().counters();
        const double perProbe = (rssKiB() - rss0) / n;
        QList<double> times;
        qint64 size = 0;
        for (int i = 0; i < 5; ++i) {
            const auto [ms, bytes] = scrape(agent.metricsPort());
            times.append(ms);
            size = bytes;
        }
        std::sort(times.begin(), times.end());
        agent.finish();
        runFor(4500); // echoes in flight end before the next row
        const EchoService::Counters c3 = EchoService::instance().counters();

        const Steady b = args.has(QStringLiteral("--no-peer")) ? Steady {} : fpingSteady(hosts, seconds);
        const auto sent = c2.sent - c1.sent;
        const auto replies = c2.replies - c1.replies;
        const auto delivered = c2.completed - c1.completed;
        const double ua = sent ? cpu / double(sent) * 1e6 : 0, ub = b.sent ? b.cpu / double(b.sent) * 1e6 : 0;
        std::printf("%-6d %-7s %9llu %9llu %9llu %6lld %6llu %8.2f %12.1f %7.2f %10.1f %10.1f %9.0f\n", n, "skylark",
            (unsigned long long)sent, (unsigned long long)replies, (unsigned long long)delivered,
            (long long)sent - (long long)replies, (unsigned long long)(c2.late - c1.late), cpu / elapsed * 100, ua,
            ub > 0 ? ua / ub : 0.0, perProbe, times[times.size() / 2], size / 1000.0);
        if (b.sent)
            std::printf("%-6d %-7s %9llu %9llu %9s %6lld %6s %8.2f %12.1f\n", n, "fping", (unsigned long long)b.sent,
                (unsigned long long)b.replies, "-", (long long)b.sent - (long long)b.replies, "-",
                b.cpu / b.seconds * 100, ub);
        std::printf("       whole run: submitted %llu, completed %llu, timed out %llu, failed %llu\n",
            (unsigned long long)(c3.submitted - c0.submitted), (unsigned long long)(c3.completed - c0.completed),
            (unsigned long long)(c3.timedOut - c0.timedOut), (unsigned long long)(c3.failed - c0.failed));
        std::fflush(stdout);
    }
    // What a scrape costs the probes' thread at most: the copy taken under the store's lock
    // (each result waits for it), and beside it the formatting, done outside the lock.
    std::printf("\n== Scrape parts, %s\n", "median of 20");
    std::printf("%-6s %16s %14s\n", "hosts", "locked copy ms", "format ms");
    for (int n : hostCounts) {
        MetricsStore store;
        for (int i = 0; i < n; ++i) {
            const auto key = std::uintptr_t(i + 1);
            store.setIdentity(key,
                MetricsStore::Identity::of(QStringLiteral("Probe_%1").arg(i),
                    QStringLiteral("10.77.16.%1 label").arg(i), QStringLiteral("10.77.16.%1").arg(i)));
            store.record(key, EchoOutcome::Reply, i % 50, true, 0);
        }
        QList<double> copy, format;
        for (int r = 0; r < 20; ++r) {
            QElapsedTimer t;
            t.start();
            const auto snapshot = store.snapshot();
            copy.append(t.nsecsElapsed() / 1e6);
            t.restart();
            const QByteArray text
                = MetricsFormat::render(snapshot, QStringLiteral("bench"), MetricsFormat::Format::Prometheus);
            format.append(t.nsecsElapsed() / 1e6);
        }
        std::sort(copy.begin(), copy.end());
        std::sort(format.begin(), format.end());
        std::printf("%-6d %16.2f %14.2f\n", n, copy[10], format[10]);
    }
    return 0;
}
