// The probe's ping cycle with scripted echoes and lookups, under a plain core application.
#include "appclock.h"
#include "hostprobe.h"
#include "scriptedcore.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
// One result of a probe driven as a frame drives it: a cycle begun by hand, with nothing
// armed after it. rtt >= 0 is a reply, -1 no reply, -2 an answer from a router.
void feed(HostProbe &probe, ScriptedEchoLauncher &echoes, int rtt)
{
    probe.beginCycle();
    echoes.replyAndProcess(rtt == -2 ? 3 : rtt, rtt == -2 ? QStringLiteral("192.0.2.1") : QString());
}
} // namespace

class TestHostProbe : public QObject
{
    Q_OBJECT
private slots:
    // The status line's figures over the charted values: whole values, the average of all
    // points (timeout points level with the last included) rounded half to even.
    void lowAvgHigh_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("avg");
        QTest::addColumn<int>("high");
        QTest::newRow("none") << QList<double> {} << 0 << 0 << 0;
        QTest::newRow("one reply") << QList<double> { 12 } << 12 << 12 << 12;
        QTest::newRow("10.5 goes down to 10") << QList<double> { 10, 11 } << 10 << 10 << 11;
        QTest::newRow("11.5 goes up to 12") << QList<double> { 11, 12 } << 11 << 12 << 12;
        QTest::newRow("0.5 goes to 0") << QList<double> { 0, 1 } << 0 << 0 << 1;
        QTest::newRow("timeout point counted") << QList<double> { 10, 20, 20, 30 } << 10 << 20 << 30;
        QTest::newRow("22.5 with timeout points") << QList<double> { 20, 20, 20, 30 } << 20 << 22 << 30;
        QTest::newRow("not a half: 1.75 to 2") << QList<double> { 1, 2, 2, 2 } << 1 << 2 << 2;
        QTest::newRow("lowest first, highest last") << QList<double> { 7, 3, 9 } << 3 << 6 << 9;
        QTest::newRow("fractions are cut") << QList<double> { 5.7, 5.2 } << 5 << 5 << 5;
        QTest::newRow("zero ms") << QList<double> { 0 } << 0 << 0 << 0;
        QTest::newRow("largest time-outs") << QList<double>(300, 4000) << 4000 << 4000 << 4000;
    }
    void lowAvgHigh()
    {
        QFETCH(QList<double>, values);
        QFETCH(int, low);
        QFETCH(int, avg);
        QFETCH(int, high);
        const LinkStats::LowAvgHigh f = LinkStats::lowAvgHigh(values);
        QCOMPARE(f.low, low);
        QCOMPARE(f.avg, avg);
        QCOMPARE(f.high, high);
    }

    // A probe that keeps its points keeps as many as its window, a timeout's level with the
    // newest and none before the first; the figures come from the points at each reply.
    void keptPoints_windowKindsAndFigures()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        PinnedClock clock;
        HostProbe probe;
        probe.setKeepPoints(true);
        probe.setHost(QStringLiteral("192.0.2.9"));
        probe.setWindow(4);
        const QDateTime start = clock.now;
        for (int rtt : { -1, 10, 20, -1, -2, 30 }) {
            feed(probe, echoes, rtt);
            clock.advance(1000);
        }
        using K = EchoOutcome::Kind;
        QList<std::tuple<qint64, double, K>> points;
        for (const HostProbe::Point &p : probe.points())
            points.append({ start.secsTo(p.when), p.rtt, p.kind });
        const QList<std::tuple<qint64, double, K>> expected { { 2, 20, K::Reply }, { 3, 20, K::Timeout },
            { 4, 20, K::Foreign }, { 5, 30, K::Reply } };
        QCOMPARE(points, expected);
        QCOMPARE(probe.pointsAdded(), qint64(5));
        QCOMPARE(probe.lowAvgHigh(), (LinkStats::LowAvgHigh { 20, 22, 30 }));
        QCOMPARE(probe.timeouts(), (QList<QDateTime> { start.addSecs(4), start.addSecs(3), start }));
        QCOMPARE(probe.history().window().size(), 4);
        QCOMPARE(probe.state(), HostState::State::Stopped);

        // A timeout leaves the figures as the last reply left them; a clear drops the points,
        // the figures and the recent results, not the timeouts.
        feed(probe, echoes, -1);
        QCOMPARE(probe.lowAvgHigh(), (LinkStats::LowAvgHigh { 20, 22, 30 }));
        probe.clearPoints();
        QVERIFY(probe.points().isEmpty());
        QCOMPARE(probe.lowAvgHigh(), LinkStats::LowAvgHigh {});
        QCOMPARE(probe.resultCount(), 0);
        QVERIFY(probe.history().window().isEmpty());
        QCOMPARE(probe.timeouts().size(), 4);
        feed(probe, echoes, -1);
        QVERIFY(probe.points().isEmpty());
        feed(probe, echoes, 8);
        QCOMPARE(probe.lowAvgHigh(), (LinkStats::LowAvgHigh { 8, 8, 8 }));
        QCOMPARE(probe.figures().lossPercent, 50.0);
    }

    // An agent's probe keeps only the figures' short window.
    void agentProbe_keepsNoPoints()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setHost(QStringLiteral("192.0.2.9"));
        for (int rtt : { 10, -1, 20 })
            feed(probe, echoes, rtt);
        QVERIFY(probe.points().isEmpty());
        QVERIFY(probe.timeouts().isEmpty());
        QVERIFY(probe.history().window().isEmpty());
        QCOMPARE(probe.resultCount(), 3);
        QCOMPARE(probe.figures().lossPercent, 100.0 / 3);
    }

    // 120 timeouts in a row: the 99 newest, newest first.
    void timeouts_keepThe99Newest()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        PinnedClock clock;
        HostProbe probe;
        probe.setKeepPoints(true);
        probe.setHost(QStringLiteral("192.0.2.9"));
        const QDateTime start = clock.now;
        for (int i = 0; i < 120; ++i) {
            feed(probe, echoes, -1);
            QCOMPARE(probe.timeouts().first(), clock.now);
            clock.advance(1000);
        }
        QCOMPARE(probe.timeouts().size(), HostProbe::kTimeoutsKept);
        QCOMPARE(HostProbe::kTimeoutsKept, 99);
        QCOMPARE(probe.timeouts().first(), start.addSecs(119));
        QCOMPARE(probe.timeouts().last(), start.addSecs(21));
        probe.clearTimeouts();
        QVERIFY(probe.timeouts().isEmpty());
    }

    // A view shows the result, lets it be drawn, and only then is the next cycle armed.
    void resultShown_beforeTheNextCycleIsArmed()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setHost(QStringLiteral("192.0.2.9"));
        QStringList seen;
        connect(&probe, &HostProbe::resultProcessed, &probe,
            [&] { seen << QStringLiteral("processed, armed %1").arg(probe.timer()->isActive()); });
        connect(&probe, &HostProbe::resultShown, &probe,
            [&] { seen << QStringLiteral("shown, armed %1").arg(probe.timer()->isActive()); });
        probe.setRunning(true);
        probe.beginCycle();
        echoes.replyAndProcess(5);
        QCOMPARE(seen, (QStringList { QStringLiteral("processed, armed 0"), QStringLiteral("shown, armed 0") }));
        QVERIFY(probe.timer()->isActive());
        QVERIFY(probe.timer()->remainingTime() <= 1000);
    }

    // The owner of a probe may be freed by what a receiver of its result does (a view's event
    // pass runs other frames' events): the probe then touches nothing of itself.
    void freedByItsReceiver_touchesNothingAfterwards_data()
    {
        QTest::addColumn<bool>("inShown");
        QTest::newRow("while the result is processed") << false;
        QTest::newRow("while the result is shown") << true;
    }
    void freedByItsReceiver_touchesNothingAfterwards()
    {
        QFETCH(bool, inShown);
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        auto *owner = new QObject;
        auto *probe = new HostProbe(owner);
        probe->setKeepPoints(true);
        probe->setHost(QStringLiteral("192.0.2.9"));
        int shown = 0;
        const auto freeOwner = [&owner] {
            // As a board freeing the frame from inside an event pass: at once, not later.
            delete std::exchange(owner, nullptr);
        };
        connect(probe, &HostProbe::resultShown, probe, [&shown] { ++shown; });
        if (inShown)
            connect(probe, &HostProbe::resultShown, owner, freeOwner);
        else
            connect(probe, &HostProbe::resultProcessed, owner, freeOwner);
        QPointer<HostProbe> watch(probe);
        probe->setRunning(true);
        probe->beginCycle();
        QCOMPARE(echoes.count(), 1u);
        echoes.replyAndProcess(5);
        QVERIFY(echoes.lastDelivered);
        QVERIFY(!owner);
        QVERIFY(!watch);
        QCOMPARE(shown, inShown ? 1 : 0);
        // Nothing of the freed probe is left to fire.
        QTest::qWait(1100);
        QCOMPARE(resolver.asked.size(), 0);
        QCOMPARE(echoes.count(), 0u);
    }

    // A frame's stop lets the step under way finish: the armed cycle still begins, and a
    // lookup under way still sends its echo. The agent's stop drops both; a start after it
    // takes up the lookup still under way.
    void stopKinds_data()
    {
        QTest::addColumn<bool>("frameStop");
        QTest::addColumn<bool>("startAgain");
        QTest::addColumn<int>("echoes");
        QTest::newRow("frame: lookup still sends") << true << false << 1;
        QTest::newRow("agent: lookup dropped") << false << false << 0;
        QTest::newRow("agent: start takes it up") << false << true << 1;
    }
    void stopKinds()
    {
        QFETCH(bool, frameStop);
        QFETCH(bool, startAgain);
        QFETCH(int, echoes);
        ScriptedEchoLauncher launcher;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setHost(QStringLiteral("gw.example"));
        probe.start();
        QCOMPARE(resolver.asked.size(), 1);
        if (frameStop)
            probe.setRunning(false);
        else
            probe.stop();
        if (startAgain)
            probe.start();
        QCOMPARE(resolver.asked.size(), 1);
        resolver.answer(0, { QStringLiteral("192.0.2.7") });
        QCoreApplication::processEvents();
        QCOMPARE(int(launcher.count()), echoes);
    }

    void frameStop_armedCycleStillBegins()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setHost(QStringLiteral("192.0.2.9"));
        QSignalSpy beginning(&probe, &HostProbe::cycleBeginning);
        probe.setRunning(true);
        probe.beginCycle();
        echoes.replyAndProcess(5);
        QVERIFY(probe.timer()->isActive());
        probe.setRunning(false);
        QTRY_COMPARE_WITH_TIMEOUT(echoes.count(), 1u, 3000);
        QCOMPARE(beginning.size(), 1);
        echoes.replyAndProcess(6);
        QVERIFY(!probe.timer()->isActive());
    }
    void cycle_looksUpEchoesReportsAndRearms()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        PinnedClock clock;
        HostProbe probe;
        probe.setHost(QStringLiteral("gw.example"));
        QSignalSpy sent(&probe, &HostProbe::echoSent);
        QSignalSpy results(&probe, &HostProbe::resultProcessed);

        probe.start();
        QCOMPARE(resolver.asked, QStringList { QStringLiteral("gw.example") });
        resolver.answer(0, { QStringLiteral("192.0.2.7") });
        QCoreApplication::processEvents();
        QCOMPARE(sent.size(), 1);
        QVERIFY(probe.inFlight());
        QCOMPARE(echoes.pending.front()->PingHostName, QStringLiteral("192.0.2.7"));
        QCOMPARE(echoes.pending.front()->PingTimeout, 4000);
        QCOMPARE(echoes.pending.front()->PingTTL, 32);

        echoes.replyAndProcess(12);
        QCOMPARE(results.size(), 1);
        const auto o = results.takeFirst().first().value<EchoOutcome>();
        QCOMPARE(o.kind, EchoOutcome::Reply);
        QCOMPARE(o.rtt, 12);
        QCOMPARE(o.host, QStringLiteral("gw.example"));
        QCOMPARE(probe.address(), QStringLiteral("192.0.2.7"));
        QVERIFY(!probe.inFlight());

        // About a second later the cycle begins again with a new lookup.
        QTRY_COMPARE_WITH_TIMEOUT(resolver.asked.size(), 2, 3000);
        resolver.answer(0, { QStringLiteral("192.0.2.7") });
        QCoreApplication::processEvents();
        // An answer from another address is no reply.
        echoes.replyAndProcess(3, QStringLiteral("192.0.2.1"));
        QCOMPARE(results.takeFirst().first().value<EchoOutcome>().kind, EchoOutcome::Foreign);

        // Stopped with nothing in flight: no further lookup.
        probe.stop();
        QTest::qWait(1300);
        QCOMPARE(resolver.asked.size(), 2);
    }

    void stopWhileInFlight_resultStillCountsButNoRearm()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setHost(QStringLiteral("192.0.2.9"));
        QSignalSpy results(&probe, &HostProbe::resultProcessed);
        probe.start();
        QCoreApplication::processEvents();
        QCOMPARE(echoes.count(), 1u); // a dotted address needs no resolver
        probe.stop();
        echoes.timeout();
        QCoreApplication::processEvents();
        QCOMPARE(results.size(), 1);
        QCOMPARE(probe.resultCount(), 1);
        QTest::qWait(1300);
        QCOMPARE(echoes.count(), 0u);
        QVERIFY(!probe.running());
    }

    void downAfterThreeMisses_lossOverTheWindow()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setHost(QStringLiteral("192.0.2.9"));
        probe.setWindow(4);
        // Each result goes in by hand: the probe is started, its echo answered and stopped.
        const auto feed = [&](int rtt) {
            probe.start();
            QCoreApplication::processEvents();
            probe.stop();
            echoes.replyAndProcess(rtt);
        };
        for (int rtt : { 5, -1, -1 })
            feed(rtt);
        QVERIFY(!probe.isDown());
        feed(-1);
        QVERIFY(probe.isDown());
        QCOMPARE(probe.figures().lossPercent, 75.0);
        feed(7);
        QVERIFY(!probe.isDown());
        // The window keeps the newest four.
        QCOMPARE(probe.resultCount(), 4);
        QCOMPARE(probe.figures().lossPercent, 75.0);
    }

    // A host text's own words set its interval and time-out; otherwise the probe's defaults
    // (an agent's --interval and --timeout), otherwise the usual 1 s and 4 s.
    void timing_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("defaultInterval");
        QTest::addColumn<int>("defaultTimeout");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("interval");
        QTest::newRow("usual") << "192.0.2.9" << 0 << 0 << 4000 << 1000;
        QTest::newRow("own words") << "192.0.2.9 edge timeout=250ms interval=3s" << 0 << 0 << 250 << 3000;
        QTest::newRow("defaults") << "192.0.2.9 edge" << 2000 << 700 << 700 << 2000;
        QTest::newRow("own words win") << "192.0.2.9 timeout=1s" << 2000 << 700 << 1000 << 2000;
    }

    void timing()
    {
        QFETCH(QString, host);
        QFETCH(int, defaultInterval);
        QFETCH(int, defaultTimeout);
        QFETCH(int, timeout);
        QFETCH(int, interval);
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setDefaultTiming(defaultInterval, defaultTimeout);
        probe.setHost(host);
        probe.start();
        QTRY_COMPARE(echoes.count(), 1u);
        QCOMPARE(echoes.pending.front()->PingTimeout, timeout);
        QCOMPARE(echoes.pending.front()->PingHostName, QStringLiteral("192.0.2.9"));
        echoes.replyAndProcess(5);
        // Re-armed on the 20 ms step: within a step of the interval.
        QVERIFY(probe.timer()->isActive());
        QVERIFY(probe.timer()->remainingTime() <= interval);
        QVERIFY(probe.timer()->remainingTime() > interval - 40);
        // The results are the identity's: the words do not make the host another one.
        QCOMPARE(probe.hostSpec().identity, HostSpec::parse(host).identity);
        probe.stop();
    }

    void lookupFailure_stopsAndSaysSo()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        HostProbe probe;
        probe.setHost(QStringLiteral("no.such.host"));
        QSignalSpy failed(&probe, &HostProbe::lookupFailed);
        probe.start();
        resolver.answer(11001);
        QCoreApplication::processEvents();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().value<quint16>(), quint16(11001));
        QVERIFY(!probe.running());
        QCOMPARE(echoes.count(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestHostProbe)
#include "tst_hostprobe.moc"
