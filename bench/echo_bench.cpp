// Echo engine figures: round-trip accuracy against a responder with a known delay,
// throughput of many concurrent echoes, and the steady cost of watching many hosts at one
// echo per host per second, each beside the system's own tools (iputils ping, fping) run
// against the same targets in the same run. Run inside the network test kit.
//   echo_bench [--seconds S] [--hosts N,N...] [--families 4,6] [--steady-only] [--no-peer]
//              [--rtt-only] [--ping-first]
// The RTT section takes 20 echoes 0.2 s apart to each host (ours, then `ping -c 20 -i 0.2`;
// --ping-first swaps the order) and prints the medians to the microsecond with their distance
// from the responder's delay; iputils ping prints 3 significant digits (100 ms and over whole).
// --no-peer leaves fping out of the steady load (for long runs of our own); --families runs
// the steady load over IPv4 hosts, IPv6 hosts (beside fping -6), or each in turn.
#include "benchkit.h"
#include "echoservice.h"
#include "pingthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace bench;

namespace {

struct Stats
{
    double median = 0, worst = 0, mean = 0;
};

Stats stats(QList<double> v)
{
    if (v.isEmpty())
        return {};
    std::sort(v.begin(), v.end());
    Stats s;
    s.median = v[v.size() / 2];
    for (double x : v) {
        s.worst = std::max(s.worst, std::abs(x));
        s.mean += x / double(v.size());
    }
    return s;
}

// ms, to the microsecond; paced as ping -i 0.2 paces its echoes.
QList<double> ourRtts(const QString &target, int count)
{
    QList<double> out;
    QElapsedTimer pace;
    pace.start();
    for (int i = 0; i < count; ++i) {
        while (pace.elapsed() < i * 200)
            QThread::msleep(std::max<qint64>(1, i * 200 - pace.elapsed()));
        auto w = TPingThread::Create();
        w->PingHostName = target;
        w->PingTimeout = 2000;
        w->Execute();
        if (w->ReplyTotal)
            out.append(w->ReplyRTTUs / 1000.0);
    }
    return out;
}

// Each echo's time= figure; `mean` gets the summary line's average, which ping prints to the
// microsecond where its per-echo figures are rounded (to whole ms from 100 ms on).
QList<double> pingRtts(const QString &target, int count, double *mean = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("ping"),
        { QStringLiteral("-n"), QStringLiteral("-c"), QString::number(count), QStringLiteral("-i"),
            QStringLiteral("0.2"), target });
    p.waitForFinished(60000);
    QList<double> out;
    static const QRegularExpression re(QStringLiteral("time=([0-9.]+) ms"));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    auto it = re.globalMatch(text);
    while (it.hasNext())
        out.append(it.next().captured(1).toDouble());
    static const QRegularExpression summary(QStringLiteral("= [0-9.]+/([0-9.]+)/"));
    if (mean)
        *mean = summary.match(text).captured(1).toDouble();
    return out;
}

struct Load
{
    int replies = 0;
    double seconds = 0, cpu = 0;
};

Load ourLoad(const QStringList &targets)
{
    QObject owner;
    CompletionPort port(&owner);
    Load l;
    int done = 0;
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    for (const QString &target : targets) {
        auto w = TPingThread::Create();
        w->PingHostName = target;
        w->PingTimeout = 4000;
        w->OnTerminate = [&](TPingThread *s) {
            ++done;
            l.replies += s->ReplyTotal;
        };
        w->Start(port.handle());
    }
    while (done < targets.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    l.seconds = t.elapsed() / 1000.0;
    l.cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    return l;
}

Load fpingLoad(const QStringList &targets)
{
    Load l;
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("fping"),
        QStringList { QStringLiteral("-c1"), QStringLiteral("-t4000"), QStringLiteral("-i1"), QStringLiteral("-q") }
            + targets);
    p.waitForFinished(120000);
    l.seconds = t.elapsed() / 1000.0;
    l.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    static const QRegularExpression re(QStringLiteral("xmt/rcv/%loss = 1/1/"));
    l.replies = int(QString::fromUtf8(p.readAllStandardError()).count(re));
    return l;
}

// Every host gets one echo a second (time-out 4000 ms, TTL 32, as a frame sends them), the
// hosts spread evenly over the second, for the given time; then the last echoes are awaited.
Steady ourSteady(const QStringList &hosts, int seconds)
{
    QObject owner;
    CompletionPort port(&owner);
    Steady st;
    quint64 started = 0;
    const auto c0 = EchoService::instance().counters();
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    std::vector<std::unique_ptr<QTimer>> timers;
    const qsizetype n = hosts.size();
    auto fire = [&](const QString &host) {
        ++started;
        auto w = TPingThread::Create();
        w->PingHostName = host;
        w->PingTimeout = 4000;
        w->PingTTL = 32;
        w->OnTerminate = [&st](TPingThread *s) {
            ++st.delivered;
            st.replies += quint64(s->ReplyTotal);
        };
        w->Start(port.handle());
    };
    for (qsizetype i = 0; i < n; ++i) {
        auto timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(1000);
        QObject::connect(timer.get(), &QTimer::timeout, [&fire, host = hosts[i]] { fire(host); });
        QTimer *raw = timer.get();
        QTimer::singleShot(int(i * 1000 / n), raw, [raw, &fire, host = hosts[i]] {
            raw->start();
            fire(host);
        });
        timers.push_back(std::move(timer));
    }
    {
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    timers.clear();
    {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (st.delivered >= started)
                loop.quit();
        });
        check.start(20);
        QTimer::singleShot(6000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    st.seconds = t.elapsed() / 1000.0;
    st.cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    const auto c1 = EchoService::instance().counters();
    st.sent = c1.sent - c0.sent;
    st.late = c1.late - c0.late;
    return st;
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
    for (const QString &v : args.value(QStringLiteral("--hosts"), QStringLiteral("200,1000")).split(QLatin1Char(',')))
        hostCounts.append(v.toInt());
    const bool steadyOnly = args.has(QStringLiteral("--steady-only"));
    const bool rttOnly = args.has(QStringLiteral("--rtt-only"));
    const bool pingFirst = args.has(QStringLiteral("--ping-first"));
    const QStringList families = args.value(QStringLiteral("--families"), QStringLiteral("4")).split(QLatin1Char(','));
    if (!steadyOnly) {
        std::printf("== RTT accuracy: median RTT of 20 echoes 0.2 s apart, ms, and its distance from the "
                    "responder's delay, us (%s first)\n",
            pingFirst ? "ping" : "skylark");
        std::printf("%-12s %5s   %3s %10s %8s %8s %8s   %3s %10s %8s %8s %8s   %s\n", "host", "delay", "n", "skylark",
            "-delay", "mean-d", "worst", "n", "ping", "-delay", "mean-d", "worst",
            "median, mean: |ours-delay| - |ping-delay|, us");
        for (auto [target, delay] : { std::pair { "127.0.0.1", 0 }, std::pair { "10.77.4.10", 0 },
                 std::pair { "10.77.4.20", 20 }, std::pair { "10.77.4.100", 100 } }) {
            auto shift = [d = delay](QList<double> v) {
                for (double &x : v)
                    x -= d;
                return v;
            };
            QList<double> ours, theirs;
            double pingMean = 0;
            if (pingFirst)
                theirs = pingRtts(QString::fromLatin1(target), 20, &pingMean);
            ours = ourRtts(QString::fromLatin1(target), 20);
            if (!pingFirst)
                theirs = pingRtts(QString::fromLatin1(target), 20, &pingMean);
            const Stats a = stats(shift(ours)), b = stats(shift(theirs));
            const double pingMeanOff = pingMean - delay;
            std::printf("%-12s %5d   %3lld %10.3f %8.0f %8.0f %8.0f   %3lld %10.3f %8.0f %8.0f %8.0f   %+.0f, %+.0f\n",
                target, delay, (long long)ours.size(), a.median + delay, a.median * 1000, a.mean * 1000, a.worst * 1000,
                (long long)theirs.size(), b.median + delay, b.median * 1000, pingMeanOff * 1000, b.worst * 1000,
                (std::abs(a.median) - std::abs(b.median)) * 1000, (std::abs(a.mean) - std::abs(pingMeanOff)) * 1000);
            std::fflush(stdout);
        }
        if (rttOnly)
            return 0;

        std::printf("\n== Load: concurrent echoes (half to a kernel host, half to the responder)\n");
        std::printf("%-6s %-8s %10s %8s %12s   %-8s %10s %8s %12s   %s\n", "n", "skylark", "echo/s", "lost",
            "cpu us/echo", "fping", "echo/s", "lost", "cpu us/echo", "cpu ratio");
        for (int n : { 100, 500 }) {
            QStringList targets;
            for (int i = 0; i < n; ++i)
                targets.append(i % 2 ? QStringLiteral("10.77.2.2") : QStringLiteral("10.77.4.10"));
            const Load a = ourLoad(targets);
            const Load b = fpingLoad(targets);
            const double ca = a.cpu / n * 1e6, cb = b.cpu / n * 1e6;
            std::printf("%-6d %-8s %10.0f %8d %12.1f   %-8s %10.0f %8d %12.1f   %.2f\n", n, "", n / a.seconds,
                n - a.replies, ca, "", n / b.seconds, n - b.replies, cb, cb > 0 ? ca / cb : 0.0);
        }
        std::printf("\n");
    }

    for (const QString &family : families) {
        const bool v6 = family == QStringLiteral("6");
        std::printf("== Steady load, IPv%s: every host 1 echo/s for %d s (whole-process CPU; fping%s beside)\n",
            v6 ? "6" : "4", seconds, v6 ? " -6" : "");
        std::printf("%-6s %-7s %9s %9s %9s %6s %6s %9s %12s %9s\n", "hosts", "tool", "sent", "replies", "delivered",
            "lost", "late", "cpu %", "cpu us/echo", "ratio");
        for (int n : hostCounts) {
            const QStringList hosts = v6 ? steadyHosts6(n) : steadyHosts(n);
            const Steady a = ourSteady(hosts, seconds);
            const Steady b = args.has(QStringLiteral("--no-peer"))
                ? Steady {}
                : fpingSteady(hosts, seconds, v6 ? QStringList { QStringLiteral("-6") } : QStringList {});
            const double ua = a.sent ? a.cpu / double(a.sent) * 1e6 : 0, ub = b.sent ? b.cpu / double(b.sent) * 1e6 : 0;
            std::printf("%-6d %-7s %9llu %9llu %9llu %6lld %6llu %9.2f %12.1f %9.2f\n", n, "skylark",
                (unsigned long long)a.sent, (unsigned long long)a.replies, (unsigned long long)a.delivered,
                (long long)a.sent - (long long)a.replies, (unsigned long long)a.late, a.cpu / a.seconds * 100, ua,
                ub > 0 ? ua / ub : 0.0);
            if (b.sent)
                std::printf("%-6d %-7s %9llu %9llu %9s %6lld %6s %9.2f %12.1f\n", n, "fping",
                    (unsigned long long)b.sent, (unsigned long long)b.replies, "-",
                    (long long)b.sent - (long long)b.replies, "-", b.cpu / b.seconds * 100, ub);
            std::fflush(stdout);
        }
    }
    return 0;
}
