// What the desktop and the agent both serve: a store fed from probes by one feed.
#include "appclock.h"
#include "hostprobe.h"
#include "metricsfeed.h"
#include "metricsstore.h"
#include "scriptedcore.h"

#include <QTest>

class TestMetricsFeed : public QObject
{
    Q_OBJECT

    static void feed(HostProbe &probe, ScriptedEchoLauncher &echoes, int rtt)
    {
        probe.beginCycle();
        echoes.replyAndProcess(rtt == -2 ? 3 : rtt, rtt == -2 ? QStringLiteral("192.0.2.1") : QString());
    }

private slots:
    // The counters, the down/up state and the loss over the results the chart keeps; the
    // name follows the frame; a stopped probe leaves the output; a probe
    // unwatched or freed takes its series along.
    void feed_seriesFollowTheProbe()
    {
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        PinnedClock clock;
        MetricsStore store;
        MetricsFeed metrics(store);
        auto probe = std::make_unique<HostProbe>();
        probe->setHost(QStringLiteral("192.0.2.9 edge router"));
        probe->setWindow(4); // the loss covers the results the chart keeps
        QString name = QStringLiteral("PingFrame_0");
        metrics.watch(probe.get(), [&name] { return name; });
        probe->setRunning(true);
        QCOMPARE(store.size(), 0); // nothing before the first echo

        // 200 results: every fifth lost, the last three lost too, one from a router.
        QList<int> results;
        for (int i = 0; i < 197; ++i)
            results << (i % 5 == 4 ? -1 : i == 100 ? -2 : 10);
        results << -1 << -1 << -1;
        for (int r : std::as_const(results))
            feed(*probe, echoes, r);

        QList<MetricsStore::Series> s = store.snapshot();
        QCOMPARE(s.size(), 1);
        QCOMPARE(s[0].id.frame, QStringLiteral("PingFrame_0"));
        QCOMPARE(s[0].id.hostWord, QStringLiteral("192.0.2.9"));
        QCOMPARE(s[0].id.label, QStringLiteral("edge router"));
        QCOMPARE(s[0].requests, std::uint64_t(200));
        QCOMPARE(s[0].replies, std::uint64_t(157));
        QCOMPARE(s[0].timeouts, std::uint64_t(42));
        QCOMPARE(s[0].foreign, std::uint64_t(1));
        QVERIFY(!s[0].up); // three in a row without a reply
        // The last 4 results: a reply and three time-outs.
        QCOMPARE(s[0].lossRatio, 0.75);

        feed(*probe, echoes, 10);
        QVERIFY(store.snapshot()[0].up);

        // The board renumbers the frame; the probe stops; it runs again.
        name = QStringLiteral("PingFrame_3");
        metrics.sweep();
        QCOMPARE(store.snapshot()[0].id.frame, QStringLiteral("PingFrame_3"));
        probe->setRunning(false);
        metrics.sweep();
        QCOMPARE(store.size(), 0);
        probe->setRunning(true);
        feed(*probe, echoes, 10);
        QCOMPARE(store.size(), 1);
        QCOMPARE(store.snapshot()[0].requests, std::uint64_t(202)); // counters kept across the stop

        metrics.unwatch(probe.get());
        QCOMPARE(store.size(), 0);
        feed(*probe, echoes, 10);
        QCOMPARE(store.size(), 0);

        metrics.watch(probe.get(), [] { return QStringLiteral("Probe_0"); });
        feed(*probe, echoes, 10);
        QCOMPARE(store.size(), 1);
        probe.reset();
        QCOMPARE(store.size(), 0);
    }

    // A series' loss counts its own host's results: another host starts it afresh, a new
    // option word (the same host) does not.
    void feed_lossStartsAfreshForANewHostOnly_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<double>("loss");
        QTest::addColumn<std::uint64_t>("requests");
        QTest::newRow("same host, new interval")
            << QStringLiteral("192.0.2.9 interval=2s") << 2.0 / 3.0 << std::uint64_t(3);
        QTest::newRow("another host") << QStringLiteral("192.0.2.10") << 0.0 << std::uint64_t(1);
    }
    void feed_lossStartsAfreshForANewHostOnly()
    {
        QFETCH(QString, next);
        QFETCH(double, loss);
        QFETCH(std::uint64_t, requests);
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        PinnedClock clock;
        MetricsStore store;
        MetricsFeed metrics(store);
        HostProbe probe;
        probe.setHost(QStringLiteral("192.0.2.9"));
        metrics.watch(&probe, [] { return QStringLiteral("PingFrame_0"); });
        feed(probe, echoes, -1);
        feed(probe, echoes, -1);
        probe.setHost(next);
        feed(probe, echoes, 10);
        const QList<MetricsStore::Series> s = store.snapshot();
        QCOMPARE(s.size(), 1);
        QCOMPARE(s[0].lossRatio, loss);
        QCOMPARE(s[0].requests, requests);
        QCOMPARE(s[0].id.host, next.split(QLatin1Char(' ')).first());
    }
};

QTEST_GUILESS_MAIN(TestMetricsFeed)
#include "tst_metricsfeed.moc"
