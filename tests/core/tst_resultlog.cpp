#include "resultlog.h"

#include "../support/fulldisk.h"
#include "skylarkerror.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

EchoOutcome outcome(EchoOutcome::Kind kind, int rtt = 0, const QString &from = QString())
{
    EchoOutcome o;
    o.when = QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7, 42), Qt::OffsetFromUTC, 3600);
    o.host = QStringLiteral("gw.example");
    o.target = QStringLiteral("10.1.2.3");
    o.kind = kind;
    o.rtt = rtt;
    o.from = from;
    return o;
}
} // namespace

class TestResultLog : public QObject
{
    Q_OBJECT
private slots:
    void line_data()
    {
        QTest::addColumn<EchoOutcome>("outcome");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("reply") << outcome(EchoOutcome::Reply, 12, QStringLiteral("10.1.2.3"))
                               << QByteArray("2026-12-10T09:05:07.042+01:00,gw.example,10.1.2.3,reply,12,10.1.2.3,\n");
        QTest::newRow("answer from a router")
            << outcome(EchoOutcome::Foreign, 3, QStringLiteral("10.9.9.9"))
            << QByteArray("2026-12-10T09:05:07.042+01:00,gw.example,10.1.2.3,foreign,3,10.9.9.9,\n");
        QTest::newRow("timeout: no RTT, no replying address") << outcome(
            EchoOutcome::Timeout, 0) << QByteArray("2026-12-10T09:05:07.042+01:00,gw.example,10.1.2.3,timeout,,,\n");
        EchoOutcome west = outcome(EchoOutcome::Reply, 0, QStringLiteral("10.1.2.3"));
        west.when = QDateTime(QDate(2026, 1, 2), QTime(23, 59, 59), Qt::OffsetFromUTC, -(3 * 3600 + 30 * 60));
        QTest::newRow("negative offset with minutes, zero RTT")
            << west << QByteArray("2026-01-02T23:59:59.000-03:30,gw.example,10.1.2.3,reply,0,10.1.2.3,\n");
        EchoOutcome odd = outcome(EchoOutcome::Timeout);
        odd.host = QStringLiteral("a,b \"c\"");
        odd.target.clear();
        QTest::newRow(
            "host with comma and quotes is quoted; unresolved address empty; the word after the blank a label")
            << odd << QByteArray("2026-12-10T09:05:07.042+01:00,\"a,b \"\"c\"\"\",,timeout,,,\"\"\"c\"\"\"\n");
        EchoOutcome labelled = outcome(EchoOutcome::Reply, 4, QStringLiteral("10.1.2.3"));
        labelled.host = QStringLiteral("gw.example  core router, west");
        QTest::newRow("labelled host: the label last, quoted where needed")
            << labelled
            << QByteArray("2026-12-10T09:05:07.042+01:00,\"gw.example  core router, "
                          "west\",10.1.2.3,reply,4,10.1.2.3,\"core router, west\"\n");
    }
    void line()
    {
        QFETCH(EchoOutcome, outcome);
        QFETCH(QByteArray, expected);
        QCOMPARE(ResultLog::line(outcome), expected);
    }

    void line_localTimeCarriesItsOffset()
    {
        EchoOutcome o = outcome(EchoOutcome::Timeout);
        o.when = QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::LocalTime);
        const int off = o.when.offsetFromUtc();
        const QByteArray sign = off < 0 ? "-" : "+";
        const QByteArray offset = sign + QByteArray::number(qAbs(off) / 3600).rightJustified(2, '0') + ':'
            + QByteArray::number(qAbs(off) % 3600 / 60).rightJustified(2, '0');
        QVERIFY(ResultLog::line(o).startsWith("2026-07-01T12:00:00.000" + offset + ','));
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("expected");
        QTest::newRow("name, lower-cased") << "Router.Example-1_a"
                                           << "router.example-1_a.csv";
        QTest::newRow("address") << "192.168.0.1"
                                 << "192.168.0.1.csv";
        QTest::newRow("IPv6") << "fe80::1%eth0"
                              << "fe80__1_eth0.csv";
        QTest::newRow("path separators and parent folder") << "../../etc/passwd"
                                                           << "_.._.._etc_passwd.csv";
        QTest::newRow("dot only") << "."
                                  << "_..csv";
        QTest::newRow("empty") << ""
                               << "_.csv";
        QTest::newRow("spaces trimmed, inner ones replaced") << "  my host  "
                                                             << "my_host.csv";
        QTest::newRow("non-ASCII replaced") << QString::fromUtf8("bücher.de") << "b_cher.de.csv";
        QTest::newRow("long text cut") << QString(300, u'a') << QString(200, u'a') + QStringLiteral(".csv");
    }
    void fileName()
    {
        QFETCH(QString, host);
        QFETCH(QString, expected);
        QCOMPARE(ResultLog::fileName(host), expected);
    }

    void appender_appendsAcrossRunsWithOneHeader_andSharesAFilePerHost()
    {
        QTemporaryDir dir;
        const QString a = dir.path() + QStringLiteral("/Logs/a.csv");
        const QString b = dir.path() + QStringLiteral("/Logs/b.csv");
        {
            LogAppender log("H\n");
            log.add(a, "a1\n");
            log.add(b, "b1\n");
            log.add(a, "a2\n");
            QVERIFY(log.hasPending());
            log.flush();
            QVERIFY(!log.hasPending());
            log.flush();
        }
        {
            LogAppender log("H\n"); // a later run
            log.add(a, "a3\n");
            log.flush();
        }
        QCOMPARE(readAll(a), QByteArray("H\na1\na2\na3\n"));
        QCOMPARE(readAll(b), QByteArray("H\nb1\n"));
        // An empty file, as left by a crash between creation and the first write, gets the header.
        QFile(b).resize(0);
        LogAppender log("H\n");
        log.add(b, "b2\n");
        log.flush();
        QCOMPARE(readAll(b), QByteArray("H\nb2\n"));
    }

    void appender_failure_namesTheFile_andKeepsTheLines()
    {
        QTemporaryDir dir;
        QFile blocker(dir.path() + QStringLiteral("/Logs"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        const QString a = dir.path() + QStringLiteral("/Logs/a.csv");
        LogAppender log("H\n");
        log.add(a, "a1\n");
        try {
            log.flush();
            QFAIL("no error raised");
        } catch (const SkylarkError &e) {
            QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + a);
        }
        QVERIFY(log.hasPending());
    }

    void appender_fullDisk_isAnError()
    {
        QTemporaryDir dir;
        FullDisk disk(dir.path() + QStringLiteral("/Logs"));
        if (!disk.available())
            QSKIP("needs root to mount a small file system");
        const QString a = dir.path() + QStringLiteral("/Logs/a.csv");
        {
            LogAppender log("H\n");
            log.add(a, "a1\n");
            log.flush();
        }
        disk.fill();
        LogAppender log("H\n");
        log.add(a, QByteArray(8192, 'x') + '\n');
        QVERIFY_THROWS_EXCEPTION(SkylarkError, log.flush());
    }
};

QTEST_GUILESS_MAIN(TestResultLog)
#include "tst_resultlog.moc"
