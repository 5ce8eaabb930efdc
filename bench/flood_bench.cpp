// What a flood of unmatched echo replies costs: the main thread's CPU, and the whole
// process's, while hosts are pinged as frames ping them (one echo a second each), first
// without a flood and then with the network test kit's flooding host among them (about
// 50 000 replies a second carrying our identifier and sequence numbers of no echo in flight).
// Each socket kind in turn. Run inside the network test kit.
//   flood_bench [--seconds S] [--hosts N]
#include "benchkit.h"
#include "echoservice.h"
#include "pingthread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace bench;

namespace {

struct Figures
{
    double seconds = 0, mainCpu = 0, processCpu = 0;
    quint64 started = 0, delivered = 0, replies = 0, unmatched = 0;
};

// Every host one echo a second for the given time, spread over the second, completions
// handed to the main thread as a frame gets them; then the last echoes are awaited.
Figures run(const QStringList &hosts, int seconds)
{
    QObject owner;
    CompletionPort port(&owner);
    Figures f;
    const auto c0 = EchoService::instance().counters();
    const double main0 = cpuSeconds(RUSAGE_THREAD), proc0 = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    std::vector<std::unique_ptr<QTimer>> timers;
    auto fire = [&](const QString &host) {
        ++f.started;
        auto w = TPingThread::Create();
        w->PingHostName = host;
        w->PingTimeout = 4000;
        w->PingTTL = 32;
        w->OnTerminate = [&f](TPingThread *s) {
            ++f.delivered;
            f.replies += quint64(s->ReplyTotal);
        };
        w->Start(port.handle());
    };
    for (qsizetype i = 0; i < hosts.size(); ++i) {
        auto timer = std::make_unique<QTimer>();
        timer->setInterval(1000);
        QObject::connect(timer.get(), &QTimer::timeout, [&fire, host = hosts[i]] { fire(host); });
        QTimer *raw = timer.get();
        QTimer::singleShot(int(i * 1000 / hosts.size()), raw, [raw, &fire, host = hosts[i]] {
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
            if (f.delivered >= f.started)
                loop.quit();
        });
        check.start(20);
        QTimer::singleShot(6000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    f.seconds = t.elapsed() / 1000.0;
    f.mainCpu = cpuSeconds(RUSAGE_THREAD) - main0;
    f.processCpu = cpuSeconds(RUSAGE_SELF) - proc0;
    const auto c1 = EchoService::instance().counters();
    f.unmatched = c1.late - c0.late;
    return f;
}

// Waits until the flood has ended (the kit's flooder stops two seconds after the last request).
void awaitQuiet()
{
    quint64 last = ~quint64(0);
    for (int i = 0; i < 50; ++i) {
        const quint64 now = EchoService::instance().counters().late;
        if (now == last)
            return;
        last = now;
        QEventLoop loop;
        QTimer::singleShot(500, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!insideNetkit())
        return 2;
    const Args args(app.arguments().mid(1));
    const int seconds = args.value(QStringLiteral("--seconds"), QStringLiteral("20")).toInt();
    const int n = args.value(QStringLiteral("--hosts"), QStringLiteral("50")).toInt();
    // Half to a kernel host, half to the responder; the flooding host takes one place.
    QStringList quiet;
    for (int i = 0; i < n; ++i)
        quiet.append(i % 2 ? QStringLiteral("10.77.2.2") : QStringLiteral("10.77.4.10"));
    QStringList flooded = quiet;
    flooded.last() = QStringLiteral("10.77.4.80");

    std::printf("== %d hosts, 1 echo/s each, %d s; CPU in %% of one core\n", n, seconds);
    std::printf("%-7s %-6s %12s %10s %10s %9s %9s %9s\n", "socket", "flood", "unmatched/s", "main cpu", "process",
        "started", "delivered", "replies");
    for (auto [name, kind] :
        { std::pair { "ping", TICMP::SocketKind::PingOnly }, std::pair { "raw", TICMP::SocketKind::RawOnly } }) {
        TICMP::SetSocketPreference(kind);
        for (bool withFlood : { false, true }) {
            const Figures f = run(withFlood ? flooded : quiet, seconds);
            std::printf("%-7s %-6s %12.0f %10.2f %10.2f %9llu %9llu %9llu\n", name, withFlood ? "yes" : "no",
                f.unmatched / f.seconds, f.mainCpu / f.seconds * 100, f.processCpu / f.seconds * 100,
                (unsigned long long)f.started, (unsigned long long)f.delivered, (unsigned long long)f.replies);
            std::fflush(stdout);
            awaitQuiet();
        }
    }
    return 0;
}
