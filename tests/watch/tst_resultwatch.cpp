#include "mainform.h"
#include "pingframe.h"
#include "fakenotifications.h"
#include "resultwatch.h"
#include "scripted.h"
#include "settingsform.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>

#include <QDir>
#include <QFile>
#include <QTest>

namespace {
QList<QByteArray> logLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return { "<missing>" };
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
// The fields after the time stamp.
QByteArray rest(const QByteArray &line)
{
    return line.mid(line.indexOf(',') + 1);
}
} // namespace

class TestResultWatch : public QObject
{
    Q_OBJECT

    PrivateSessionBus m_bus;
    FakeNotifications m_service;

    // The next result of a running frame: one timer interval later, echo and its answer.
    static void next(ScriptedWorld &world, PinnedClock &clock, TPingFrame *f, int rtt)
    {
        clock.advance(1000);
        f->PingTimerTimer();
        world.echoes.replyAndProcess(rtt);
    }

private slots:
    void initTestCase() { QVERIFY(m_bus.start(&m_service)); }
    void cleanupTestCase() { m_bus.stop(); }
    void init() { m_service.calls.clear(); }

    void notifications_downOnceBackOnce_eachFrameReplacingItsOwn()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::NotifyHostDownUp, true);
        form->AddHostFrame(QStringLiteral("10.0.0.1"), true);
        form->AddHostFrame(QStringLiteral("10.0.0.2"), true);
        TPingFrame *a = form->Board->ColumnFrames1.at(0);
        TPingFrame *b = form->Board->ColumnFrames1.at(1);
        world.echoes.replyAndProcess(7); // a at 12:00:00
        world.echoes.replyAndProcess(-1); // b
        for (int i = 0; i < 3; ++i)
            next(world, clock, a, -1); // down at 12:00:03
        QTRY_COMPARE(m_service.calls.size(), 1);
        QCOMPARE(m_service.calls[0].summary, QStringLiteral("10.0.0.1 is down since 12:00"));
        QCOMPARE(m_service.calls[0].body, QStringLiteral("down at 12:00:03. Last RTT: 7 ms. Loss: 75.0 %"));
        QCOMPARE(m_service.calls[0].replacesId, 0u);
        next(world, clock, a, -1); // still down: nothing new
        next(world, clock, b, -1);
        next(world, clock, b, -1); // b's third: down, never replied
        QTRY_COMPARE(m_service.calls.size(), 2);
        QCOMPARE(m_service.calls[1].summary, QStringLiteral("10.0.0.2 is down since 12:00"));
        QCOMPARE(m_service.calls[1].body, QStringLiteral("down at 12:00:06. Last RTT: none. Loss: 100.0 %"));
        QCOMPARE(m_service.calls[1].replacesId, 0u);
        // Back once answering held for three results.
        next(world, clock, a, 9);
        next(world, clock, a, 9);
        QTest::qWait(20);
        QCOMPARE(m_service.calls.size(), 2);
        next(world, clock, a, 9);
        QTRY_COMPARE(m_service.calls.size(), 3);
        QCOMPARE(m_service.calls[2].summary, QStringLiteral("10.0.0.1 is back after 8 s"));
        QCOMPARE(m_service.calls[2].body, QStringLiteral("degraded at 12:00:09. Last RTT: 9 ms. Loss: 50.0 %"));
        QCOMPARE(m_service.calls[2].replacesId, 101u); // a's own notification, not b's
        // A stop and start on the same host keeps its state: a reply there is no news.
        a->SetDown(false);
        a->ContinuousPingSpdBtnClick();
        a->SetDown(true);
        a->ContinuousPingSpdBtnClick();
        world.echoes.replyAndProcess(4);
        for (int i = 0; i < 3; ++i)
            next(world, clock, b, 3);
        QTRY_COMPARE(m_service.calls.size(), 4);
        QCOMPARE(m_service.calls[3].summary, QStringLiteral("10.0.0.2 is back after 12 s"));
        QCOMPARE(m_service.calls[3].replacesId, 102u);
    }

    // Slow by the host's own word and by the settings' limit, losing echoes by the settings;
    // each announced once, in its frame's own notification. Between up and degraded nothing is
    // told.
    void notifications_slowAndLossy()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::NotifyHostDownUp, true);
        form->Settings->set(&TAppSettings::SlowMs, 80);
        form->AddHostFrame(QStringLiteral("10.0.0.5 edge slow=50ms"), true);
        form->AddHostFrame(QStringLiteral("10.0.0.6"), true);
        TPingFrame *a = form->Board->ColumnFrames1.at(0);
        TPingFrame *b = form->Board->ColumnFrames1.at(1);
        world.echoes.replyAndProcess(60);
        world.echoes.replyAndProcess(100);
        for (int i = 0; i < 8; ++i) {
            next(world, clock, a, 60);
            next(world, clock, b, 100);
        }
        QTRY_COMPARE(m_service.calls.size(), 2);
        QCOMPARE(m_service.calls[0].summary, QStringLiteral("10.0.0.5 (edge) is slow: median 60 ms (limit 50 ms)"));
        QCOMPARE(m_service.calls[1].summary, QStringLiteral("10.0.0.6 is slow: median 100 ms (limit 80 ms)"));
        // Every second echo lost: degraded at once (not told), losing echoes from the tenth
        // result, told when that held for three.
        form->AddHostFrame(QStringLiteral("10.0.0.7"), true);
        TPingFrame *c = form->Board->ColumnFrames1.at(2);
        world.echoes.replyAndProcess(5);
        for (int i = 1; i < 30; ++i)
            next(world, clock, c, i % 2 ? -1 : 5);
        QTRY_COMPARE(m_service.calls.size(), 3);
        QTest::qWait(20);
        QCOMPARE(m_service.calls.size(), 3);
        QCOMPARE(m_service.calls[2].summary, QStringLiteral("10.0.0.7 is losing 50 % of echoes"));
        QCOMPARE(m_service.calls[2].replacesId, 0u);
    }

    void changeText_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("troubleSecs"); // -1: none
        QTest::addColumn<QString>("expected"); // empty: not told
        using S = HostState::State;
        QTest::newRow("down") << int(S::Degraded) << int(S::Down) << -1 << "10.0.0.1 (core router) is down since 14:02";
        QTest::newRow("back in minutes") << int(S::Down) << int(S::Degraded) << 312
                                         << "10.0.0.1 (core router) is back after 5 min 12 s";
        QTest::newRow("back in seconds") << int(S::Slow) << int(S::Up) << 45
                                         << "10.0.0.1 (core router) is back after 45 s";
        QTest::newRow("back in hours") << int(S::Lossy) << int(S::Up) << 7530
                                       << "10.0.0.1 (core router) is back after 2 h 5 min";
        QTest::newRow("slow") << int(S::Up) << int(S::Slow) << -1
                              << "10.0.0.1 (core router) is slow: median 240 ms (limit 50 ms)";
        QTest::newRow("lossy") << int(S::Degraded) << int(S::Lossy) << -1
                               << "10.0.0.1 (core router) is losing 18 % of echoes";
        QTest::newRow("degraded: not told") << int(S::Up) << int(S::Degraded) << -1 << "";
        QTest::newRow("up again: not told") << int(S::Degraded) << int(S::Up) << -1 << "";
    }
    void changeText()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, troubleSecs);
        QFETCH(QString, expected);
        const QDateTime since(QDate(2026, 3, 1), QTime(14, 2, 30));
        HostState::Announcement a { HostState::State(from), HostState::State(to), since, since.addSecs(700), {} };
        if (troubleSecs >= 0)
            a.troubleSince = a.at.addSecs(-troubleSecs);
        const std::optional<QString> text
            = ChangeText::summary(QStringLiteral("10.0.0.1 core router"), a, 240, { 50, 10 }, 17.8);
        QCOMPARE(text.value_or(QString()), expected);
    }

    void notifications_offByDefault()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        QVERIFY(!form->AppSettings.NotifyHostDownUp);
        form->AddHostFrame(QStringLiteral("10.0.0.3"), true);
        TPingFrame *f = form->Board->ColumnFrames1.at(0);
        world.echoes.replyAndProcess(-1);
        next(world, clock, f, -1);
        next(world, clock, f, -1); // down, unannounced
        form->Settings->set(&TAppSettings::NotifyHostDownUp, true);
        for (int i = 0; i < 3; ++i)
            next(world, clock, f, 5); // the first call the service sees is this one
        QTRY_COMPARE(m_service.calls.size(), 1);
        QCOMPARE(m_service.calls[0].summary, QStringLiteral("10.0.0.3 is back after 5 s"));
    }

    // A labelled host is named with its label; a failed lookup says so once, with
    // notifications on, and not at all with them off.
    void notifications_labelAndLookupFailure()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::NotifyHostDownUp, true);
        form->AddHostFrame(QStringLiteral("10.0.0.4 core router"), true);
        TPingFrame *f = form->Board->ColumnFrames1.at(0);
        world.echoes.replyAndProcess(-1);
        next(world, clock, f, -1);
        next(world, clock, f, -1);
        QTRY_COMPARE(m_service.calls.size(), 1);
        QCOMPARE(m_service.calls[0].summary, QStringLiteral("10.0.0.4 (core router) is down since 12:00"));

        form->AddHostFrame(QStringLiteral("no-such.example"), true);
        world.resolver.answer(11001);
        QTRY_COMPARE(m_service.calls.size(), 2);
        QCOMPARE(m_service.calls[1].summary, QStringLiteral("no-such.example: name lookup failed, monitoring stopped"));
        QTest::qWait(50);
        QCOMPARE(m_service.calls.size(), 2);

        form->Settings->set(&TAppSettings::NotifyHostDownUp, false);
        form->AddHostFrame(QStringLiteral("other.example"), true);
        world.resolver.answer(11001);
        QTRY_VERIFY(!form->Board->ColumnFrames1.last()->Running());
        QTest::qWait(50);
        QCOMPARE(m_service.calls.size(), 2);
    }

    void log_oneLinePerResult_framesOfOneHostShareItsFile_flushedAtClose()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        QVERIFY(!form->AppSettings.LogResults);
        form->Settings->set(&TAppSettings::LogResults, true);
        form->AddHostFrame(QStringLiteral("10.0.0.7"), true);
        form->AddHostFrame(QStringLiteral("10.0.0.7"), true);
        form->AddHostFrame(QStringLiteral("10.0.0.8"), true);
        world.echoes.replyAndProcess(5);
        world.echoes.replyAndProcess(-1);
        world.echoes.replyAndProcess(6, QStringLiteral("10.9.9.9"));
        const QString logs = form->DtaDir + QStringLiteral("Logs/");
        QVERIFY(!QFile::exists(logs + QStringLiteral("10.0.0.7-2026-12-10.csv"))); // collected, not yet written
        form->FlushResultLog();
        QCOMPARE(logLines(logs + QStringLiteral("10.0.0.7-2026-12-10.csv")).size(), 3);
        next(world, clock, form->Board->ColumnFrames1.at(1), 8);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->close(); // the last lines go out with the close
        const QList<QByteArray> seven = logLines(logs + QStringLiteral("10.0.0.7-2026-12-10.csv"));
        QCOMPARE(seven.size(), 4);
        QCOMPARE(seven[0], QByteArray("time,host,address,outcome,rtt_ms,from,label,rtt_ms_precise"));
        QCOMPARE(rest(seven[1]), QByteArray("10.0.0.7,10.0.0.7,reply,5,10.0.0.7,,5.000"));
        QCOMPARE(rest(seven[2]), QByteArray("10.0.0.7,10.0.0.7,timeout,,,,"));
        QCOMPARE(rest(seven[3]), QByteArray("10.0.0.7,10.0.0.7,reply,8,10.0.0.7,,8.000"));
        QVERIFY(seven[1].startsWith("2026-12-10T12:00:00.000"));
        QVERIFY(seven[3].startsWith("2026-12-10T12:00:01.000"));
        const QList<QByteArray> eight = logLines(logs + QStringLiteral("10.0.0.8-2026-12-10.csv"));
        QCOMPARE(eight.size(), 2);
        QCOMPARE(rest(eight[1]), QByteArray("10.0.0.8,10.0.0.8,foreign,6,10.9.9.9,,6.000"));
        QVERIFY(world.errors.messages.isEmpty());
    }

    // The desktop's logs by the program's clock: the first result after midnight starts the
    // host's file of the new day, and the days older than the history keeps go.
    void log_newFileAtMidnight_oldDaysRemoved()
    {
        ScriptedWorld world;
        PinnedClock clock(QDateTime(QDate(2026, 12, 10), QTime(23, 59, 59)));
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::LogResults, true);
        const QString logs = form->DtaDir + QStringLiteral("Logs/");
        QVERIFY(QDir().mkpath(logs));
        for (const char *name : { "10.0.0.7-2026-11-09.csv", "10.0.0.7-2026-11-10.csv", "notes.txt" }) {
            QFile f(logs + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        form->AddHostFrame(QStringLiteral("10.0.0.7 core interval=1s"), true);
        world.echoes.replyAndProcess(5);
        form->FlushResultLog();
        QCOMPARE(logLines(logs + QStringLiteral("10.0.0.7_core-2026-12-10.csv")).size(), 2);
        QVERIFY(!QFile::exists(logs + QStringLiteral("10.0.0.7-2026-11-09.csv"))); // 31 days before the 10th
        QVERIFY(QFile::exists(logs + QStringLiteral("10.0.0.7-2026-11-10.csv")));
        next(world, clock, form->Board->ColumnFrames1.at(0), 7);
        form->FlushResultLog();
        const QList<QByteArray> eleventh = logLines(logs + QStringLiteral("10.0.0.7_core-2026-12-11.csv"));
        QCOMPARE(eleventh.size(), 2);
        QVERIFY(eleventh[1].startsWith("2026-12-11T00:00:00.000"));
        QCOMPARE(logLines(logs + QStringLiteral("10.0.0.7_core-2026-12-10.csv")).size(), 2);
        QVERIFY(!QFile::exists(logs + QStringLiteral("10.0.0.7-2026-11-10.csv")));
        QVERIFY(QFile::exists(logs + QStringLiteral("notes.txt")));
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->close();
        QVERIFY(world.errors.messages.isEmpty());
    }

    void log_writeFailure_reportedOnce_andLoggingTurnsOff()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        QFile blocker(form->DtaDir + QStringLiteral("Logs")); // a file where the folder goes
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        form->aSettings->trigger(); // switched on where the user does it
        QTest::mouseClick(form->SettingsForm->MiscBtn, Qt::LeftButton);
        QCheckBox *box = form->SettingsForm->LogResultsCheckBox;
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QVERIFY(form->AppSettings.LogResults);
        form->AddHostFrame(QStringLiteral("10.0.0.9"), true);
        TPingFrame *f = form->Board->ColumnFrames1.at(0);
        world.echoes.replyAndProcess(5);
        form->FlushResultLog();
        QCOMPARE(world.errors.messages,
            QStringList { QStringLiteral("Unable to write to ") + form->DtaDir
                + QStringLiteral("Logs/10.0.0.9-2026-12-10.csv") });
        QVERIFY(!form->AppSettings.LogResults);
        QVERIFY(!box->isChecked());
        next(world, clock, f, 6);
        form->FlushResultLog();
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->close();
        QCOMPARE(world.errors.messages.size(), 1);
    }
};

QTEST_MAIN(TestResultWatch)
#include "tst_resultwatch.moc"
