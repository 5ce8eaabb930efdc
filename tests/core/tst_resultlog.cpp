#include "resultlog.h"

#include "../support/fulldisk.h"
#include "skylarkerror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <tuple>

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
                               << QByteArray(
                                      "2026-12-10T09:05:07.042+01:00,gw.example,10.1.2.3,reply,12,10.1.2.3,,12.000\n");
        QTest::newRow("answer from a router")
            << outcome(EchoOutcome::Foreign, 3, QStringLiteral("10.9.9.9"))
            << QByteArray("2026-12-10T09:05:07.042+01:00,gw.example,10.1.2.3,foreign,3,10.9.9.9,,3.000\n");
        QTest::newRow("timeout: no RTT, no replying address") << outcome(
            EchoOutcome::Timeout, 0) << QByteArray("2026-12-10T09:05:07.042+01:00,gw.example,10.1.2.3,timeout,,,,\n");
        EchoOutcome west = outcome(EchoOutcome::Reply, 0, QStringLiteral("10.1.2.3"));
        west.when = QDateTime(QDate(2026, 1, 2), QTime(23, 59, 59), Qt::OffsetFromUTC, -(3 * 3600 + 30 * 60));
        QTest::newRow("negative offset with minutes, zero RTT")
            << west << QByteArray("2026-01-02T23:59:59.000-03:30,gw.example,10.1.2.3,reply,0,10.1.2.3,,0.000\n");
        EchoOutcome odd = outcome(EchoOutcome::Timeout);
        odd.host = QStringLiteral("a,b \"c\"");
        odd.target.clear();
        QTest::newRow(
            "host with comma and quotes is quoted; unresolved address empty; the word after the blank a label")
            << odd << QByteArray("2026-12-10T09:05:07.042+01:00,\"a,b \"\"c\"\"\",,timeout,,,\"\"\"c\"\"\",\n");
        EchoOutcome labelled = outcome(EchoOutcome::Reply, 4, QStringLiteral("10.1.2.3"));
        labelled.host = QStringLiteral("gw.example  core router, west");
        QTest::newRow("labelled host: the label quoted where needed")
            << labelled
            << QByteArray("2026-12-10T09:05:07.042+01:00,\"gw.example  core router, "
                          "west\",10.1.2.3,reply,4,10.1.2.3,\"core router, west\",4.000\n");
        // The engine's microseconds: whole milliseconds where they always were, the fraction last.
        for (const auto &[name, kind, us, expected] :
            {
                std::tuple { "loopback: 0 ms, 345 us", EchoOutcome::Reply, 345, QByteArray("reply,0,10.1.2.3,,0.345") },
                std::tuple { "20.456 ms", EchoOutcome::Reply, 20456, QByteArray("reply,20,10.1.2.3,,20.456") },
                std::tuple {
                    "router's answer 3.007 ms", EchoOutcome::Foreign, 3007, QByteArray("foreign,3,10.1.2.3,,3.007") },
                std::tuple {
                    "a second and 5 us", EchoOutcome::Reply, 1000005, QByteArray("reply,1000,10.1.2.3,,1000.005") },
            }) {
            EchoOutcome o = outcome(kind, us / 1000, QStringLiteral("10.1.2.3"));
            o.rttUs = us;
            QTest::newRow(name) << o << "2026-12-10T09:05:07.042+01:00,gw.example,10.1.2.3," + expected + '\n';
        }
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
        QTest::addColumn<QString>("identity");
        QTest::addColumn<QString>("expected");
        QTest::newRow("name, case kept, '_' written out") << "Router.Example-1_a"
                                                          << "Router.Example-1%5Fa-2026-12-10.csv";
        QTest::newRow("address") << "192.168.0.1"
                                 << "192.168.0.1-2026-12-10.csv";
        QTest::newRow("label: blanks as '_'") << "gw.example core  router"
                                              << "gw.example_core__router-2026-12-10.csv";
        QTest::newRow("IPv6 with a zone") << "fe80::1%eth0"
                                          << "fe80%3A%3A1%25eth0-2026-12-10.csv";
        QTest::newRow("path separators and parent folder") << "../../etc/passwd"
                                                           << "%2E.%2F..%2Fetc%2Fpasswd-2026-12-10.csv";
        QTest::newRow("dot only") << "."
                                  << "%2E-2026-12-10.csv";
        QTest::newRow("empty") << ""
                               << "~-2026-12-10.csv";
        QTest::newRow("non-ASCII as UTF-8 bytes") << QString::fromUtf8("bücher.de") << "b%C3%BCcher.de-2026-12-10.csv";
        QTest::newRow("tilde and comma") << "~a,b"
                                         << "%7Ea%2Cb-2026-12-10.csv";
        QTest::newRow("long text cut, its hash added") << QString(300, u'a')
                                                       << QString(55, u'a') + u'~'
                + QString::fromLatin1(
                    QCryptographicHash::hash(QByteArray(300, 'a'), QCryptographicHash::Sha256).toHex())
                + QStringLiteral("-2026-12-10.csv");
        QTest::newRow("long text cut before an escape")
            << QString(54, u'a') + QStringLiteral("/") + QString(100, u'b') << QStringLiteral("cut at 54");
    }
    void fileName()
    {
        QFETCH(QString, identity);
        QFETCH(QString, expected);
        const QString name = ResultLog::fileName(identity, QDate(2026, 12, 10));
        if (expected == QStringLiteral("cut at 54"))
            QCOMPARE(name.section(u'~', 0, 0), QString(54, u'a'));
        else
            QCOMPARE(name, expected);
        QVERIFY(!name.contains(u'/') && !name.startsWith(u'.'));
        QVERIFY(name.size() <= ResultLog::kMaxStem + 15);
        QCOMPARE(ResultLog::dayOfFile(name.toLatin1()), std::optional(QDate(2026, 12, 10)));
    }

    // Identities that a folding of case or of odd characters would bring together, each a file
    // of its own.
    void fileName_twoIdentitiesNeverShareAFile()
    {
        const QStringList identities { QStringLiteral("router"), QStringLiteral("Router"), QStringLiteral("a b"),
            QStringLiteral("a_b"), QStringLiteral("a/b"), QStringLiteral("a%2Fb"), QStringLiteral("a%5Fb"),
            QStringLiteral("a?b"), QStringLiteral("."), QStringLiteral("%2E"), QStringLiteral(""), QStringLiteral("~"),
            QStringLiteral(" "), QStringLiteral("_"), QStringLiteral(".a"), QStringLiteral("%2Ea"),
            QString::fromUtf8("é"), QStringLiteral("%C3%A9"), QString(300, u'a'), QString(299, u'a') + u'b',
            QString(55, u'a') + u'~' + QString(64, u'0'), QStringLiteral("a-2026-12-10"), QStringLiteral("a") };
        QHash<QString, QString> seen;
        for (const QString &id : identities) {
            const QString name = ResultLog::fileName(id, QDate(2026, 12, 10));
            QVERIFY2(!seen.contains(name), qPrintable(QStringLiteral("%1 and %2: %3").arg(id, seen.value(name), name)));
            seen.insert(name, id);
        }
        // Days apart, files apart, for the identity whose text looks like a dated name.
        QVERIFY(ResultLog::fileName(QStringLiteral("a-2026-12-10"), QDate(2026, 12, 11))
            != ResultLog::fileName(QStringLiteral("a"), QDate(2026, 12, 10)));
    }

    void dayOfFile_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QDate>("day"); // invalid: not a log name
        const QDate d(2026, 12, 10);
        QTest::newRow("plain") << QByteArray("10.0.0.1-2026-12-10.csv") << d;
        QTest::newRow("escapes and blanks") << QByteArray("fe80%3A%3A1_core-2026-12-10.csv") << d;
        QTest::newRow("empty identity") << QByteArray("~-2026-12-10.csv") << d;
        QTest::newRow("cut") << QByteArray(55, 'a') + '~' + QByteArray(64, 'f') + "-2026-12-10.csv" << d;
        QTest::newRow("cut, short hash") << QByteArray(55, 'a') + '~' + QByteArray(63, 'f') + "-2026-12-10.csv"
                                         << QDate();
        QTest::newRow("old undated log") << QByteArray("10.0.0.1.csv") << QDate();
        QTest::newRow("no stem") << QByteArray("-2026-12-10.csv") << QDate();
        QTest::newRow("hidden") << QByteArray(".x-2026-12-10.csv") << QDate();
        QTest::newRow("not a day") << QByteArray("x-2026-02-30.csv") << QDate();
        QTest::newRow("short month") << QByteArray("x-2026-1-10.csv") << QDate();
        QTest::newRow("backup copy") << QByteArray("x-2026-12-10.csv.bak") << QDate();
        QTest::newRow("other extension") << QByteArray("x-2026-12-10.txt") << QDate();
        QTest::newRow("blank in the stem") << QByteArray("a b-2026-12-10.csv") << QDate();
        QTest::newRow("broken escape") << QByteArray("a%2-2026-12-10.csv") << QDate();
        QTest::newRow("lower-case escape") << QByteArray("a%2f-2026-12-10.csv") << QDate();
        QTest::newRow("too long") << QByteArray(121, 'a') + "-2026-12-10.csv" << QDate();
    }
    void dayOfFile()
    {
        QFETCH(QByteArray, name);
        QFETCH(QDate, day);
        const std::optional<QDate> found = ResultLog::dayOfFile(name);
        QCOMPARE(found.value_or(QDate()), day);
    }

    // Results go to the file of their host and local day; the first result after midnight
    // starts the new day's file, and its flush removes the day that is now one too old.
    void rotatingLog_switchesAtMidnight_andPrunesOnTheNewDay_data()
    {
        QTest::addColumn<QList<QDateTime>>("times");
        QTest::addColumn<QStringList>("files"); // with their lines, "name:lines"
        const auto local = [](int day, int h, int m, int s, int ms) {
            return QDateTime(QDate(2026, 12, day), QTime(h, m, s, ms), Qt::LocalTime);
        };
        QTest::newRow("last of the day, first of the next")
            << QList { local(10, 23, 59, 59, 999), local(11, 0, 0, 0, 0) }
            << QStringList { QStringLiteral("gw.example_core-2026-12-10.csv:2"),
                   QStringLiteral("gw.example_core-2026-12-11.csv:2") };
        // A time in another offset belongs to the local day it falls on (23:00 local is the
        // next day in UTC).
        QTest::newRow("stamped in UTC") << QList { local(10, 22, 0, 0, 0), local(10, 23, 0, 0, 0).toUTC(),
            local(11, 0, 30, 0, 0) }
                                        << QStringList { QStringLiteral("gw.example_core-2026-12-10.csv:3"),
                                               QStringLiteral("gw.example_core-2026-12-11.csv:2") };
        // A clock set back: the result goes to its own day, and nothing newer is removed.
        QTest::newRow("clock set back over midnight")
            << QList { local(11, 0, 0, 1, 0), local(10, 23, 59, 58, 0), local(11, 0, 0, 2, 0) }
            << QStringList { QStringLiteral("gw.example_core-2026-12-10.csv:2"),
                   QStringLiteral("gw.example_core-2026-12-11.csv:3") };
    }
    void rotatingLog_switchesAtMidnight_andPrunesOnTheNewDay()
    {
        QFETCH(QList<QDateTime>, times);
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        const QString logs = dir.path() + QStringLiteral("/Logs/");
        QVERIFY(QDir().mkpath(logs));
        // Kept 3 days besides the newest: on the 10th the 7th is kept, on the 11th it goes.
        for (const char *old : { "gw.example_core-2026-12-06.csv", "gw.example_core-2026-12-07.csv",
                 "other-2026-12-07.csv", "other-2026-12-08.csv" }) {
            QFile f(logs + QLatin1String(old));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        RotatingLog log(3);
        EchoOutcome o = outcome(EchoOutcome::Reply, 4, QStringLiteral("10.1.2.3"));
        o.host = QStringLiteral("gw.example core interval=2s");
        bool sawTheEleventh = false;
        for (const QDateTime &t : times) {
            o.when = t;
            log.add(logs, o);
            log.flush();
            sawTheEleventh = sawTheEleventh || t.toLocalTime().date() == QDate(2026, 12, 11);
            QCOMPARE(QFile::exists(logs + QStringLiteral("gw.example_core-2026-12-07.csv")), !sawTheEleventh);
            QVERIFY(!QFile::exists(logs + QStringLiteral("gw.example_core-2026-12-06.csv")));
        }
        QStringList found;
        for (const QString &name : QDir(logs).entryList(QDir::Files, QDir::Name)) {
            if (!name.startsWith(QStringLiteral("gw.")))
                continue;
            const QByteArray text = readAll(logs + name);
            QVERIFY(text.startsWith(ResultLog::header()));
            found << name + u':' + QString::number(text.count('\n'));
        }
        QCOMPARE(found, files);
        QVERIFY(!QFile::exists(logs + QStringLiteral("other-2026-12-07.csv")));
        QVERIFY(QFile::exists(logs + QStringLiteral("other-2026-12-08.csv")));
    }

    // Only regular files named as logs of old days go; what else is in the folder stays, and
    // links are neither removed nor followed.
    void prune_removesOldLogFilesOnly()
    {
        QTemporaryDir dir;
        const QString logs = dir.path() + QStringLiteral("/Logs/");
        const QString outside = dir.path() + QStringLiteral("/outside/");
        QVERIFY(QDir().mkpath(logs + QStringLiteral("sub")) && QDir().mkpath(outside));
        const auto touch = [](const QString &path) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write("x\n") == 2;
        };
        const QStringList old { QStringLiteral("a-2026-11-01.csv"), QStringLiteral("a-2026-11-09.csv"),
            QStringLiteral("~-2026-01-01.csv"), QStringLiteral("fe80%3A%3A1-2025-12-31.csv") };
        const QStringList kept { QStringLiteral("a-2026-11-10.csv"), QStringLiteral("a-2026-12-10.csv"),
            QStringLiteral("a.csv"), QStringLiteral("notes-2026-01-01.txt"), QStringLiteral("a-2026-01-01.csv.bak"),
            QStringLiteral(".a-2026-01-01.csv"), QStringLiteral("a b-2026-01-01.csv") };
        for (const QString &name : old + kept)
            QVERIFY(touch(logs + name));
        QVERIFY(touch(logs + QStringLiteral("sub/a-2026-01-01.csv")));
        QVERIFY(QDir().mkpath(logs + QStringLiteral("folder-2026-01-01.csv")));
        QVERIFY(touch(outside + QStringLiteral("b-2026-01-01.csv")));
        // Links named as old logs: to a file outside, to a folder outside, and dangling.
        QVERIFY(QFile::link(outside + QStringLiteral("b-2026-01-01.csv"), logs + QStringLiteral("b-2026-01-01.csv")));
        QVERIFY(QFile::link(outside, logs + QStringLiteral("c-2026-01-01.csv")));
        QVERIFY(QFile::link(outside + QStringLiteral("gone"), logs + QStringLiteral("d-2026-01-01.csv")));

        QCOMPARE(ResultLog::prune(logs, QDate(2026, 11, 10)), int(old.size()));
        for (const QString &name : old)
            QVERIFY2(!QFile::exists(logs + name), qPrintable(name));
        for (const QString &name : kept)
            QVERIFY2(QFile::exists(logs + name), qPrintable(name));
        QVERIFY(QFile::exists(logs + QStringLiteral("sub/a-2026-01-01.csv")));
        QVERIFY(QFileInfo(logs + QStringLiteral("folder-2026-01-01.csv")).isDir());
        for (const char *link : { "b-2026-01-01.csv", "c-2026-01-01.csv", "d-2026-01-01.csv" })
            QVERIFY2(QFileInfo(logs + QLatin1String(link)).isSymLink(), link);
        QVERIFY(QFile::exists(outside + QStringLiteral("b-2026-01-01.csv")));
        // A folder that is not there is nothing to prune.
        QCOMPARE(ResultLog::prune(dir.path() + QStringLiteral("/none/"), QDate(2026, 11, 10)), 0);
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

// Days are local: a zone well away from UTC, with a half-hour offset, shows which day is used.
int main(int argc, char **argv)
{
    qputenv("TZ", "America/St_Johns");
    ::tzset();
    QCoreApplication app(argc, argv);
    TestResultLog test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_resultlog.moc"
