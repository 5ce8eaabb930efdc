// Host texts with option words: what is pinged, the label, the identity and the timing.
#include "hostspec.h"

#include <QTest>

class TestHostSpec : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("identity");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("notes");

        const int di = HostSpec::kDefaultIntervalMs, dt = HostSpec::kDefaultTimeoutMs;
        // Texts without option words are what they always were.
        QTest::newRow("plain") << "10.0.0.1"
                               << "10.0.0.1"
                               << ""
                               << "10.0.0.1" << di << dt << 0;
        QTest::newRow("labelled") << "10.0.0.1 core  router"
                                  << "10.0.0.1"
                                  << "core  router"
                                  << "10.0.0.1 core  router" << di << dt << 0;
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << "" << di << dt << 0;
        // Options anywhere after the first word, in each unit.
        QTest::newRow("ms") << "gw interval=250ms"
                            << "gw"
                            << ""
                            << "gw" << 250 << dt << 0;
        QTest::newRow("s and m") << "gw core interval=2s timeout=1m"
                                 << "gw"
                                 << "core"
                                 << "gw core" << 2000 << 60000 << 0;
        QTest::newRow("fraction") << "gw timeout=0.5s edge"
                                  << "gw"
                                  << "edge"
                                  << "gw edge" << di << 500 << 0;
        QTest::newRow("hour") << "gw interval=1h"
                              << "gw"
                              << ""
                              << "gw" << 3600000 << dt << 0;
        // Out of bounds: used at the bound, and said.
        QTest::newRow("interval low") << "gw interval=10ms"
                                      << "gw"
                                      << ""
                                      << "gw" << 100 << dt << 1;
        QTest::newRow("interval high") << "gw interval=2h"
                                       << "gw"
                                       << ""
                                       << "gw" << 3600000 << dt << 1;
        QTest::newRow("timeout high") << "gw timeout=90s"
                                      << "gw"
                                      << ""
                                      << "gw" << di << 60000 << 1;
        QTest::newRow("zero") << "gw timeout=0s"
                              << "gw"
                              << ""
                              << "gw" << di << 100 << 1;
        QTest::newRow("huge") << "gw interval=99999999999999999999h"
                              << "gw"
                              << ""
                              << "gw" << 3600000 << dt << 1;
        // The last of a name given twice wins; both words leave the identity.
        QTest::newRow("twice") << "gw interval=5s a interval=3s"
                               << "gw"
                               << "a"
                               << "gw a" << 3000 << dt << 0;
        // Words that are not options stay in the label.
        QTest::newRow("no unit") << "gw interval=5"
                                 << "gw"
                                 << "interval=5"
                                 << "gw interval=5" << di << dt << 0;
        QTest::newRow("word") << "gw interval=fast"
                              << "gw"
                              << "interval=fast"
                              << "gw interval=fast" << di << dt << 0;
        QTest::newRow("upper case") << "gw Interval=5s"
                                    << "gw"
                                    << "Interval=5s"
                                    << "gw Interval=5s" << di << dt << 0;
        QTest::newRow("unknown") << "gw ttl=5s"
                                 << "gw"
                                 << "ttl=5s"
                                 << "gw ttl=5s" << di << dt << 0;
        QTest::newRow("sign") << "gw interval=-5s"
                              << "gw"
                              << "interval=-5s"
                              << "gw interval=-5s" << di << dt << 0;
        QTest::newRow("exponent") << "gw interval=1e3ms"
                                  << "gw"
                                  << "interval=1e3ms"
                                  << "gw interval=1e3ms" << di << dt << 0;
        QTest::newRow("two points") << "gw interval=1.2.3s"
                                    << "gw"
                                    << "interval=1.2.3s"
                                    << "gw interval=1.2.3s" << di << dt << 0;
        // The first word is always the host, even when it looks like an option.
        QTest::newRow("first word") << "interval=2s gw"
                                    << "interval=2s"
                                    << "gw"
                                    << "interval=2s gw" << di << dt << 0;
    }

    void parse()
    {
        QFETCH(QString, text);
        const HostSpec s = HostSpec::parse(text);
        QTEST(s.address, "address");
        QTEST(s.label, "label");
        QTEST(s.identity, "identity");
        QTEST(s.intervalMs, "interval");
        QTEST(s.timeoutMs, "timeout");
        QTEST(int(s.notes.size()), "notes");
    }

    // slow= takes a duration, loss= a share with or without its sign; both leave the identity,
    // and values out of bounds are used at the bound with a note.
    void thresholds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("identity");
        QTest::addColumn<int>("slowMs"); // -1: not given
        QTest::addColumn<double>("lossPercent"); // -1: not given
        QTest::addColumn<int>("notes");
        QTest::newRow("both") << "gw core slow=50ms loss=5%"
                              << "gw core" << 50 << 5.0 << 0;
        QTest::newRow("seconds, fraction, no sign") << "gw slow=0.5s loss=2.5"
                                                    << "gw" << 500 << 2.5 << 0;
        QTest::newRow("with interval") << "gw interval=2s slow=1s edge"
                                       << "gw edge" << 1000 << -1.0 << 0;
        QTest::newRow("slow too low") << "gw slow=0ms"
                                      << "gw" << 1 << -1.0 << 1;
        QTest::newRow("slow too high") << "gw slow=5m"
                                       << "gw" << 60000 << -1.0 << 1;
        QTest::newRow("loss above all") << "gw loss=150%"
                                        << "gw" << -1 << 100.0 << 1;
        QTest::newRow("loss zero: any loss") << "gw loss=0%"
                                             << "gw" << -1 << 0.0 << 0;
        QTest::newRow("loss as a duration: a label word") << "gw loss=5ms"
                                                          << "gw loss=5ms" << -1 << -1.0 << 0;
        QTest::newRow("slow without a unit: a label word") << "gw slow=50"
                                                           << "gw slow=50" << -1 << -1.0 << 0;
        QTest::newRow("negative loss: a label word") << "gw loss=-5%"
                                                     << "gw loss=-5%" << -1 << -1.0 << 0;
        QTest::newRow("two signs: a label word") << "gw loss=5%%"
                                                 << "gw loss=5%%" << -1 << -1.0 << 0;
        QTest::newRow("the last of two wins") << "gw slow=1s slow=20ms"
                                              << "gw" << 20 << -1.0 << 0;
    }
    void thresholds()
    {
        QFETCH(QString, text);
        QFETCH(int, slowMs);
        QFETCH(double, lossPercent);
        const HostSpec s = HostSpec::parse(text);
        QTEST(s.identity, "identity");
        QCOMPARE(s.slowGiven, slowMs >= 0);
        if (slowMs >= 0)
            QCOMPARE(s.slowMs, slowMs);
        QCOMPARE(s.lossGiven, lossPercent >= 0);
        if (lossPercent >= 0)
            QCOMPARE(s.lossPercent, lossPercent);
        QTEST(int(s.notes.size()), "notes");
        QCOMPARE(s.hasOptions(), slowMs >= 0 || lossPercent >= 0 || s.intervalGiven);
        // The timing dialog's rewrite keeps them.
        const HostSpec kept = HostSpec::parse(HostSpec::withTiming(text, 3000, 4000));
        QCOMPARE(kept.slowGiven, s.slowGiven);
        QCOMPARE(kept.lossGiven, s.lossGiven);
    }

    // The edit of the interval and time-out rewrites only their words.
    void withTiming_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("expected");
        QTest::newRow("add") << "gw core" << 2000 << 500 << "gw core interval=2s timeout=500ms";
        QTest::newRow("replace") << "gw interval=5s core" << 250 << 4000 << "gw core interval=250ms";
        QTest::newRow("back to defaults") << "gw interval=5s timeout=1s" << 1000 << 4000 << "gw";
        QTest::newRow("unchanged plain") << "gw  core" << 1000 << 4000 << "gw  core";
        QTest::newRow("keeps other words") << "gw interval=fast" << 1500 << 4000 << "gw interval=fast interval=1500ms";
    }

    void withTiming()
    {
        QFETCH(QString, text);
        QFETCH(int, interval);
        QFETCH(int, timeout);
        const QString out = HostSpec::withTiming(text, interval, timeout);
        QTEST(out, "expected");
        const HostSpec back = HostSpec::parse(out);
        QCOMPARE(back.intervalMs, interval);
        QCOMPARE(back.timeoutMs, timeout);
        QCOMPARE(back.identity, HostSpec::parse(text).identity);
    }
};

QTEST_GUILESS_MAIN(TestHostSpec)
#include "tst_hostspec.moc"
