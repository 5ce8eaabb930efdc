// N running frames in one main window, each pinging a host of its own in the network test kit
// at the normal pace: whole-process and user-interface thread CPU, resident memory, chart
// paint time, the interval between a frame's results, and the longest stall of the event
// loop; then fping on the same hosts for the same time.
//   frameboard_bench --frames N --seconds S [--width W] [--height H | --designed]
//                    [--hosts A,B,...] [--fping] [--log-compare] [--screenshot FILE]
// --designed makes the window tall enough for every frame to get its designed height.
#include "benchkit.h"
#include "columnpanel.h"
#include "echoservice.h"
#include "hlbeditmemodlg.h"
#include "mainform.h"
#include "pingchart.h"
#include "hostprobe.h"
#include "pingframe.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QLineEdit>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>

using namespace bench;

namespace {
double threadCpu()
{
    return cpuSeconds(RUSAGE_THREAD);
}

double rssMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    f.open(QIODevice::ReadOnly);
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double percentile(QList<double> v, double p)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size())))];
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bench::Args args(app.arguments().mid(1));
    const int n = args.value(QStringLiteral("--frames"), QStringLiteral("50")).toInt();
    const int seconds = args.value(QStringLiteral("--seconds"), QStringLiteral("60")).toInt();
    const QString shot = args.value(QStringLiteral("--screenshot"), QString());
    const QString only = args.value(QStringLiteral("--hosts"), QString());
    const QStringList hosts = !only.isEmpty()   ? only.split(u',')
        : qEnvironmentVariableIsEmpty("NETKIT") ? QStringList { QStringLiteral("127.0.0.1") }
                                                : steadyHosts(n);

    TMainForm form;
    form.HLBEditMemoDlg = new THLBEditMemoDlg(&form);
    const int width = args.value(QStringLiteral("--width"), QStringLiteral("1600")).toInt();
    form.resize(width, args.value(QStringLiteral("--height"), QStringLiteral("1000")).toInt());
    if (args.has(QStringLiteral("--designed"))) {
        // The board's column takes what the menu, tool and status bars leave.
        form.show();
        QCoreApplication::processEvents();
        const int chrome = form.height() - form.ColumnPanel1->height();
        form.resize(width, chrome + n * TPingFrame::kDesignedHeight);
    }
    form.show();
    QElapsedTimer wait;
    wait.start();
    while (!form.FormActivated && wait.elapsed() < 3000)
        app.processEvents();

    // Paint the whole window once, so that its backing store is resident before the first
    // reading and does not count as the frames' memory.
    form.repaint();
    const double rss0 = rssMiB();
    for (int i = 0; i < n; ++i)
        form.AddHostFrame(hosts[i % hosts.size()], true);

    // Event-loop stalls: a 10 ms timer that should never be late.
    QElapsedTimer beat;
    beat.start();
    qint64 last = 0, longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = beat.elapsed();
        longest = std::max(longest, now - last - 10);
        if (qEnvironmentVariableIsSet("BENCH_STALLS") && now - last - 10 > 15)
            std::fprintf(stderr, "stall %lld ms at %lld ms\n", (long long)(now - last - 10), (long long)now);
        last = now;
    });
    heartbeat.start();

    // BENCH_STALLS: for each busy spell of the event loop over 30 ms, what it delivered.
    struct SpellLog : QObject
    {
        QElapsedTimer spell;
        QHash<int, int> events;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            ++events[e->type() == QEvent::Paint && qobject_cast<TPingChart *>(o) ? -1 : int(e->type())];
            return false;
        }
    } spells;
    // The longest busy spell (from waking to waiting again) is the program's own stall; the
    // heartbeat below also sees the machine's, which a sleeping thread measures beside it.
    qint64 longestBusy = 0;
    const bool logSpells = qEnvironmentVariableIsSet("BENCH_STALLS");
    {
        auto *dispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&spells] {
            if (!spells.spell.isValid()) {
                spells.spell.start();
                spells.events.clear();
            }
        });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&spells, &longestBusy, logSpells] {
            if (spells.spell.isValid())
                longestBusy = std::max(longestBusy, spells.spell.elapsed());
            if (logSpells && spells.spell.isValid() && spells.spell.elapsed() > 30) {
                QStringList parts;
                for (auto it = spells.events.cbegin(); it != spells.events.cend(); ++it)
                    parts << QStringLiteral("%1:%2")
                                 .arg(it.key() == -1 ? QStringLiteral("chartPaint") : QString::number(it.key()))
                                 .arg(it.value());
                std::fprintf(
                    stderr, "busy %lld ms: %s\n", (long long)spells.spell.elapsed(), qPrintable(parts.join(u' ')));
            }
            spells.spell.invalidate();
        });
        if (logSpells)
            app.installEventFilter(&spells);
    }

    // Settle for a few seconds, then measure.
    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(3000);
    longest = 0;
    longestBusy = 0;
    // A thread that only sleeps 10 ms at a time: how late the machine itself wakes it.
    std::atomic<bool> measuring { true };
    std::atomic<qint64> machineLate { 0 };
    std::thread sleeper([&] {
        QElapsedTimer clock;
        clock.start();
        qint64 prev = 0;
        while (measuring) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const qint64 now = clock.elapsed();
            machineLate = std::max<qint64>(machineLate, now - prev - 10);
            prev = now;
        }
    });
    // Paint events during the measured time, charts apart from the rest.
    struct PaintCounter : QObject
    {
        quint64 charts = 0, others = 0;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                ++(qobject_cast<TPingChart *>(o) ? charts : others);
            return false;
        }
    } paints;
    app.installEventFilter(&paints);
    const double cpu0 = threadCpu(), processCpu0 = cpuSeconds(RUSAGE_SELF);
    const auto echoes0 = EchoService::instance().counters();
    QElapsedTimer t;
    t.start();
    runFor(seconds * 1000);
    const double cpu = threadCpu() - cpu0, processCpu = cpuSeconds(RUSAGE_SELF) - processCpu0;
    const auto echoes1 = EchoService::instance().counters();
    const double elapsed = t.elapsed() / 1000.0;
    const double rss1 = rssMiB();
    app.removeEventFilter(&paints);
    const qint64 busyMs = longestBusy;
    measuring = false;
    sleeper.join();
    const quint64 sent = echoes1.sent - echoes0.sent;

    // Result intervals of frames whose host always answers at once.
    QList<double> gaps;
    const int frameHeight = form.Board->ColumnFrames1.isEmpty() ? 0 : form.Board->ColumnFrames1.front()->height();
    for (TPingFrame *f : form.Board->ColumnFrames1) {
        if (f->HostEdit->text() != hosts.front() && hosts.size() < n)
            continue;
        // From the probe: a frame under the overview leaves its chart as it was.
        const QList<HostProbe::Point> &points = f->Probe()->points();
        for (qsizetype i = 1; i < points.size(); ++i)
            gaps.append(double(points[i - 1].when.msecsTo(points[i].when)));
    }

    // Paint cost of one chart with 180 points, at the board's chart size and pixel ratios 1 and 2.
    const QSize chartSize
        = form.Board->ColumnFrames1.isEmpty() ? QSize(360, 80) : form.Board->ColumnFrames1.front()->PingChart->size();
    TPingChart chart;
    chart.resize(chartSize.expandedTo(QSize(50, 20)));
    QDateTime x = QDateTime::currentDateTime();
    for (int i = 0; i < 180; ++i)
        chart.AddXY(x.addSecs(i), 5 + i % 17, i % 9 == 0 ? QColor(255, 0, 0) : QColor(0, 128, 0));
    chart.SetLeftMaximum(30);
    double paintMs[2];
    for (int dpr : { 1, 2 }) {
        QImage img(chart.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        img.setDevicePixelRatio(dpr);
        auto draw = [&] {
            QPainter painter(&img);
            painter.setFont(chart.font());
            chart.Draw(painter);
        };
        for (int i = 0; i < 50; ++i)
            draw();
        QElapsedTimer paint;
        paint.start();
        const int paints = 1000;
        for (int i = 0; i < paints; ++i)
            draw();
        paintMs[dpr - 1] = paint.nsecsElapsed() / 1e6 / paints;
    }

    std::printf("frames %d, %d s, window %dx%d, frames %d px high, %s\n", n, seconds, form.width(), form.height(),
        frameHeight, hosts.size() >= n ? "a host each" : qPrintable(QStringLiteral("hosts ") + hosts.join(u' ')));
    std::printf("  whole process CPU    %8.2f %% of one core, %.1f us per echo (%llu echoes)\n",
        processCpu / elapsed * 100.0, sent ? processCpu / double(sent) * 1e6 : 0.0, (unsigned long long)sent);
    std::printf("  UI thread CPU        %8.3f ms per frame per second (%.1f %% of one core)\n",
        cpu * 1000.0 / n / elapsed, cpu / elapsed * 100.0);
    std::printf("  paint events         %8.2f charts and %.2f other widgets per echo\n",
        sent ? double(paints.charts) / double(sent) : 0.0, sent ? double(paints.others) / double(sent) : 0.0);
    std::printf(
        "  resident memory      %8.1f KiB per frame (%.1f MiB for all)\n", (rss1 - rss0) * 1024.0 / n, rss1 - rss0);
    std::printf("  chart paint          %8.3f ms per update at pixel ratio 1, %.3f ms at 2 (180 points, %dx%d)\n",
        paintMs[0], paintMs[1], chart.width(), chart.height());
    std::printf("  result interval      median %.0f ms, p99 %.0f ms (%lld intervals)\n", percentile(gaps, 0.5),
        percentile(gaps, 0.99), (long long)gaps.size());
    std::printf("  longest loop stall   %8lld ms busy; %lld ms between heartbeats, the machine alone %lld ms\n",
        (long long)busyMs, (long long)longest, (long long)machineLate.load());

    // --log-compare: the same run again with the result log on, against the figure above.
    if (args.has(QStringLiteral("--log-compare"))) {
        form.Settings->set(&TAppSettings::LogResults, true);
        runFor(3000);
        const double logCpu0 = threadCpu();
        QElapsedTimer lt;
        lt.start();
        runFor(seconds * 1000);
        const double logCpu = threadCpu() - logCpu0;
        const double logElapsed = lt.elapsed() / 1000.0;
        form.FlushResultLog();
        std::printf(
            "  UI thread CPU, log   %8.3f ms per frame per second (%.1f %% of one core, %+.1f %% against log off)\n",
            logCpu * 1000.0 / n / logElapsed, logCpu / logElapsed * 100.0,
            ((logCpu / logElapsed) / (cpu / elapsed) - 1.0) * 100.0);
    }

    if (!shot.isEmpty())
        form.grab().save(shot);
    form.Settings->set(&TAppSettings::PauseForRemoveFrame, false);
    form.Settings->set(&TAppSettings::TimeToWait, 0);
    form.ClearAllFrames();
    std::fflush(stdout);

    // --fping: the same hosts, one echo a second each, for the same time.
    if (args.has(QStringLiteral("--fping"))) {
        const Steady peer = fpingSteady(hosts, seconds);
        std::printf("  fping, same hosts    %8.2f %% of one core, %.1f us per echo (%llu echoes, %llu replies)\n",
            peer.cpu / peer.seconds * 100.0, peer.sent ? peer.cpu / double(peer.sent) * 1e6 : 0.0,
            (unsigned long long)peer.sent, (unsigned long long)peer.replies);
    }
    return 0;
}
