// The probe's ping cycle with scripted echoes and lookups, under a plain core application.
#include "appclock.h"
#include "hostprobe.h"
#include "scriptedcore.h"

#include <QSignalSpy>
#include <QTest>

class TestHostProbe : public QObject
{
    Q_OBJECT
private slots:
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
