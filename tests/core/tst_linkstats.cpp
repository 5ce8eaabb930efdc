#include "linkstats.h"

#include <QTest>

namespace {
// "12" a reply of 12 ms, "t" a timeout, "f" an answer from another address.
QList<EchoOutcome> outcomes(const QString &sequence)
{
    QList<EchoOutcome> out;
    for (const QString &token : sequence.split(u' ', Qt::SkipEmptyParts)) {
        EchoOutcome o;
        if (token == QStringLiteral("t"))
            o.kind = EchoOutcome::Timeout;
        else if (token == QStringLiteral("f"))
            o.kind = EchoOutcome::Foreign, o.rtt = 1;
        else
            o.kind = EchoOutcome::Reply, o.rtt = token.toInt();
        out.append(o);
    }
    return out;
}
} // namespace

class TestLinkStats : public QObject
{
    Q_OBJECT
private slots:
    void compute_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing yet") << QString() << QStringLiteral("Loss: -  Jitter: -");
        QTest::newRow("down since start") << QStringLiteral("t t t t") << QStringLiteral("Loss: 100.0 %  Jitter: -");
        QTest::newRow("a single reply") << QStringLiteral("20") << QStringLiteral("Loss: 0.0 %  Jitter: -");
        QTest::newRow("steady") << QStringLiteral("20 20 20") << QStringLiteral("Loss: 0.0 %  Jitter: 0 ms");
        QTest::newRow("replies around a timeout")
            << QStringLiteral("10 t 16 13") << QStringLiteral("Loss: 25.0 %  Jitter: 4.5 ms");
        QTest::newRow("foreign answers count as loss, not as replies")
            << QStringLiteral("10 f 14") << QStringLiteral("Loss: 33.3 %  Jitter: 4 ms");
        QTest::newRow("large jitter in whole ms")
            << QStringLiteral("100 1101 100") << QStringLiteral("Loss: 0.0 %  Jitter: 1001 ms");
        QTest::newRow("every second dropped")
            << QStringLiteral("5 t 5 t 5 t 5 t") << QStringLiteral("Loss: 50.0 %  Jitter: 0 ms");
        QTest::newRow("one in forty") << QStringLiteral(
            "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 t")
                                      << QStringLiteral("Loss: 2.5 %  Jitter: 0 ms");
    }
    void compute()
    {
        QFETCH(QString, window);
        QFETCH(QString, shown);
        QCOMPARE(LinkStats::format(LinkStats::compute(outcomes(window))), shown);
    }
};

QTEST_GUILESS_MAIN(TestLinkStats)
#include "tst_linkstats.moc"
