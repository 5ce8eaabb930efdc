// Echo engine figures: round-trip accuracy against a responder with a known delay, and
// throughput of many concurrent echoes, each beside the system's own tools (iputils ping,
// fping) run against the same targets in the same run. Run inside the network test kit.
#include "pingthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

double cpuSeconds(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Stats
{
    double median = 0, worst = 0;
};

Stats stats(QList<double> v)
{
    if (v.isEmpty())
        return {};
    std::sort(v.begin(), v.end());
    Stats s;
    s.median = v[v.size() / 2];
    for (double x : v)
        s.worst = std::max(s.worst, std::abs(x));
    return s;
}

QList<double> ourRtts(const QString &target, int count)
{
    QList<double> out;
    for (int i = 0; i < count; ++i) {
        auto w = TPingThread::Create();
        w->PingHostName = target;
        w->PingTimeout = 2000;
        w->Execute();
        if (w->ReplyTotal)
            out.append(w->ReplyRTT);
    }
    return out;
}

QList<double> pingRtts(const QString &target, int count)
{
    QProcess p;
    p.start(QStringLiteral("ping"), {QStringLiteral("-n"), QStringLiteral("-c"), QString::number(count), QStringLiteral("-i"),
                                     QStringLiteral("0.2"), target});
    p.waitForFinished(60000);
    QList<double> out;
    static const QRegularExpression re(QStringLiteral("time=([0-9.]+) ms"));
    auto it = re.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
    while (it.hasNext())
        out.append(it.next().captured(1).toDouble());
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
    p.start(QStringLiteral("fping"), QStringList{QStringLiteral("-c1"), QStringLiteral("-t4000"), QStringLiteral("-i1"),
                                                 QStringLiteral("-q")} + targets);
    p.waitForFinished(120000);
    l.seconds = t.elapsed() / 1000.0;
    l.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    static const QRegularExpression re(QStringLiteral("xmt/rcv/%loss = 1/1/"));
    l.replies = int(QString::fromUtf8(p.readAllStandardError()).count(re));
    return l;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("NETKIT")) {
        std::fprintf(stderr, "run inside tests/netkit/netkit.sh\n");
        return 2;
    }
    std::printf("== RTT accuracy: ReplyRTT minus the responder's delay, ms (20 echoes each)\n");
    std::printf("%-8s %-10s %8s %8s   %-10s %8s %8s\n", "delay", "skylark", "median", "worst", "ping", "median", "worst");
    for (auto [target, delay] : {std::pair{"10.77.4.10", 0}, std::pair{"10.77.4.20", 20}, std::pair{"10.77.4.100", 100}}) {
        auto shift = [d = delay](QList<double> v) {
            for (double &x : v)
                x -= d;
            return v;
        };
        const auto ours = ourRtts(QString::fromLatin1(target), 20);
        const auto theirs = pingRtts(QString::fromLatin1(target), 20);
        const Stats a = stats(shift(ours)), b = stats(shift(theirs));
        std::printf("%-8d %-10lld %8.2f %8.2f   %-10lld %8.2f %8.2f\n", delay, (long long)ours.size(), a.median, a.worst,
                    (long long)theirs.size(), b.median, b.worst);
    }

    std::printf("\n== Load: concurrent echoes (half to a kernel host, half to the responder)\n");
    std::printf("%-6s %-8s %10s %8s %12s   %-8s %10s %8s %12s   %s\n", "n", "skylark", "echo/s", "lost", "cpu us/echo",
                "fping", "echo/s", "lost", "cpu us/echo", "cpu ratio");
    for (int n : {100, 500}) {
        QStringList targets;
        for (int i = 0; i < n; ++i)
            targets.append(i % 2 ? QStringLiteral("10.77.2.2") : QStringLiteral("10.77.4.10"));
        const Load a = ourLoad(targets);
        const Load b = fpingLoad(targets);
        const double ca = a.cpu / n * 1e6, cb = b.cpu / n * 1e6;
        std::printf("%-6d %-8s %10.0f %8d %12.1f   %-8s %10.0f %8d %12.1f   %.2f\n", n, "", n / a.seconds, n - a.replies, ca, "",
                    n / b.seconds, n - b.replies, cb, cb > 0 ? ca / cb : 0.0);
    }
    return 0;
}
