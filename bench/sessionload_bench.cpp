// Start-up with a large autosaved session: how long until the window answers events, how long
// until every frame is on the board, the longest stall of the event loop meanwhile, and the
// resident memory. Run it with a private HOME; it writes the settings and the session there.
//   sessionload_bench --frames N [--column2 M] [--stopped] [--height H]
#include "benchkit.h"
#include "columnpanel.h"
#include "hlbeditmemodlg.h"
#include "mainform.h"
#include "profilefile.h"
#include "sessionfile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {
double rssMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    f.open(QIODevice::ReadOnly);
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bench::Args args(app.arguments().mid(1));
    const int n1 = args.value(QStringLiteral("--frames"), QStringLiteral("1000")).toInt();
    const int n2 = args.value(QStringLiteral("--column2"), QStringLiteral("0")).toInt();
    const bool running = !args.has(QStringLiteral("--stopped"));

    const QString dta
        = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/Corvid/Skylark/");
    QDir().mkpath(dta + QStringLiteral("Sessions"));
    {
        ProfileFile ini(dta + QStringLiteral("Skylark.INI"));
        ini.writeBool(QStringLiteral("Section-Settings"), QStringLiteral("AutoStartPinging"), true);
        ini.save();
        ProfileFile s(dta + QStringLiteral("Sessions/Session_AutoSave.txt"));
        s.writeInteger(QStringLiteral("Frame"), QStringLiteral("Count"), n1);
        s.writeBool(QStringLiteral("FrameColumn2"), QStringLiteral("Visible"), n2 > 0);
        s.writeInteger(QStringLiteral("Frame2"), QStringLiteral("Count"), n2);
        for (int c = 1; c <= 2; ++c) {
            for (int i = 0; i < (c == 1 ? n1 : n2); ++i) {
                const QString sec
                    = (c == 1 ? QStringLiteral("Frame_") : QStringLiteral("Frame2_")) + QString::number(i);
                s.writeString(sec, QStringLiteral("HostEditText"), QStringLiteral("127.0.0.1"));
                s.writeBool(sec, QStringLiteral("AutoStart"), running);
            }
        }
        s.save();
    }

    QElapsedTimer clock;
    clock.start();
    qint64 last = -1, firstBeat = -1, longest = 0, loaded = -1;
    const int want = std::min(n1, 1000) + std::min(n2, 1000);
    TMainForm form;
    form.HLBEditMemoDlg = new THLBEditMemoDlg(&form);
    if (const int h = args.value(QStringLiteral("--height"), QStringLiteral("0")).toInt(); h > 0)
        form.resize(form.width(), h);
    // A 10 ms heartbeat: the first beat is the first moment the window answers events.
    QTimer heartbeat;
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (firstBeat < 0)
            firstBeat = now;
        else
            longest = std::max(longest, now - last - 10);
        last = now;
        if (loaded < 0 && form.Board->ColumnFrames1.size() + form.Board->ColumnFrames2.size() >= want
            && !form.BoardBusy())
            loaded = now;
    });
    heartbeat.start();
    form.show();
    QTimer::singleShot(0, [&] {
        // Still inside the load when the loop first turns (before the change): stamp it here.
        if (loaded < 0 && form.Board->ColumnFrames1.size() + form.Board->ColumnFrames2.size() >= want
            && !form.BoardBusy())
            loaded = clock.elapsed();
    });
    while (loaded < 0 && clock.elapsed() < 600000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 settleFrom = clock.elapsed();
    qint64 longestAfter = 0;
    last = settleFrom;
    QObject::disconnect(&heartbeat, nullptr, nullptr, nullptr);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestAfter = std::max(longestAfter, now - last - 10);
        last = now;
    });
    while (clock.elapsed() < settleFrom + 3000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    std::printf(
        "session of %d + %d %s frames: %lld + %lld made; first event answered at %lld ms, board complete at %lld ms, "
        "longest stall after the first answer %lld ms, in the 3 s after %lld ms, resident %.0f MiB\n",
        n1, n2, running ? "running" : "stopped", (long long)form.Board->ColumnFrames1.size(),
        (long long)form.Board->ColumnFrames2.size(), (long long)firstBeat, (long long)loaded, (long long)longest,
        (long long)longestAfter, rssMiB());
    QElapsedTimer io;
    io.start();
    const SessionFile::Board read
        = SessionFile::read(ProfileFile(dta + QStringLiteral("Sessions/Session_AutoSave.txt")));
    const qint64 readMs = io.restart();
    form.SaveFrameSession(dta + QStringLiteral("Sessions/bench-copy.txt"));
    const qint64 saveMs = io.restart();
    form.Settings->set(&TAppSettings::PauseForRemoveFrame, false);
    form.ClearAllFrames();
    const qint64 clearMs = io.restart();
    std::printf("reading the session file %lld ms (%lld frames), saving the board %lld ms, clearing it %lld ms\n",
        (long long)readMs, (long long)(read.column1.size() + read.column2.size()), (long long)saveMs,
        (long long)clearMs);
    form.Settings->set(&TAppSettings::AutoStartPinging, false); // leave the written session alone
    form.Settings->set(&TAppSettings::PauseForRemoveFrame, false);
    form.close();
    return 0;
}
