#include "commandline.h"
#include "historyexport.h"
#include "historystore.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <memory>

using History::Kind;

namespace {

// Local 2026-12-01 23:59:58: the results run over midnight.
const qint64 kT0 = QDateTime(QDate(2026, 12, 1), QTime(23, 59, 58)).toMSecsSinceEpoch();

QString local(qint64 ms)
{
    return HistoryExport::formatTime(ms);
}

// Two hosts: "gw.example office" (a reply with microseconds, three time-outs, a router error
// and a reply from elsewhere, then a reply that ends the outage) and "10.0.0.9" (one reply).
void fill(const QString &dir)
{
    HistoryStore store;
    QString error;
    QVERIFY(store.openForWriting(dir, {}, &error));
    const QString gw = QStringLiteral("gw.example office");
    auto e = [&](qint64 s, Kind kind, int status, qint64 rtt) {
        return HistoryStore::Entry { gw, QStringLiteral("office"), QStringLiteral("192.0.2.1"),
            { kT0 + s * 1000, kind, status, rtt } };
    };
    QList<HistoryStore::Entry> batch { e(0, Kind::Reply, 0, 12345), e(1, Kind::Timeout, 11010, 0),
        e(6, Kind::Unreachable, 11003, 0), e(7, Kind::Foreign, 0, 2000), e(8, Kind::Reply, 0, 9000) };
    batch.append(
        { QStringLiteral("10.0.0.9"), QString(), QStringLiteral("10.0.0.9"), { kT0 + 3000, Kind::Reply, 0, 1000 } });
    QCOMPARE(store.write(batch, &error), HistoryStore::WriteStatus::Ok);
}

struct Output
{
    int code = -1;
    QString out;
    QString err;
};

Output exportOf(
    const QString &dir, const QStringList &hosts, const QString &from, const QString &to, HistoryExport::Rows rows)
{
    Output o;
    QTextStream out(&o.out), err(&o.err);
    o.code = HistoryExport::run({ dir, hosts, from, to, rows }, out, err, kT0 + 60000);
    out.flush();
    err.flush();
    return o;
}

} // namespace

class TestHistoryExport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        fill(m_dir.path());
    }

    void results()
    {
        const Output o = exportOf(m_dir.path(), {}, {}, {}, HistoryExport::Rows::Results);
        QCOMPARE(o.code, 0);
        const QString gw = QStringLiteral(",gw.example office,office,192.0.2.1,");
        QCOMPARE(o.out,
            QStringLiteral("time,host,label,address,kind,status,rtt_ms\n") + local(kT0 + 3000)
                + QStringLiteral(",10.0.0.9,,10.0.0.9,reply,0,1.000\n") + local(kT0) + gw
                + QStringLiteral("reply,0,12.345\n") + local(kT0 + 1000) + gw + QStringLiteral("timeout,11010,\n")
                + local(kT0 + 6000) + gw + QStringLiteral("unreachable,11003,\n") + local(kT0 + 7000) + gw
                + QStringLiteral("foreign,0,2.000\n") + local(kT0 + 8000) + gw + QStringLiteral("reply,0,9.000\n"));
        QVERIFY(o.err.isEmpty());
        QVERIFY(local(kT0).startsWith(QStringLiteral("2026-12-01T23:59:58.000")));
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("hosts");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("rows");
        QTest::newRow("identity") << QStringList { QStringLiteral("gw.example office") } << QString() << QString() << 5;
        QTest::newRow("first word") << QStringList { QStringLiteral("gw.example") } << QString() << QString() << 5;
        QTest::newRow("repeated") << QStringList { QStringLiteral("gw.example"), QStringLiteral("10.0.0.9") }
                                  << QString() << QString() << 6;
        QTest::newRow("no such host") << QStringList { QStringLiteral("office") } << QString() << QString() << 0;
        QTest::newRow("from inclusive, to exclusive") << QStringList {} << local(kT0 + 1000) << local(kT0 + 7000) << 3;
        QTest::newRow("a date is local midnight") << QStringList {} << "2026-12-02" << QString() << 4;
        QTest::newRow("to a date") << QStringList {} << QString() << "2026-12-02" << 2;
        QTest::newRow("with an offset") << QStringList {}
                                        << QDateTime::fromMSecsSinceEpoch(kT0 + 6000, Qt::UTC).toString(Qt::ISODate)
                                        << QString() << 3;
        QTest::newRow("nothing in range") << QStringList {} << "2027-01-01" << QString() << 0;
    }
    void options()
    {
        QFETCH(QStringList, hosts);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, rows);
        const Output o = exportOf(m_dir.path(), hosts, from, to, HistoryExport::Rows::Results);
        QCOMPARE(o.code, 0);
        QCOMPARE(o.out.count(u'\n'), rows + 1);
        QVERIFY(o.out.startsWith(QStringLiteral("time,host,label,address,kind,status,rtt_ms\n")));
    }

    void earlierFromSaysWhenResultsBegin()
    {
        const Output o = exportOf(m_dir.path(), {}, QStringLiteral("2026-11-01"), {}, HistoryExport::Rows::Results);
        QCOMPARE(o.code, 0);
        QVERIFY2(o.err.contains(QStringLiteral("results are kept from ") + local(kT0)), qPrintable(o.err));
    }

    void minutes()
    {
        const Output o = exportOf(m_dir.path(), { QStringLiteral("gw.example") }, {}, {}, HistoryExport::Rows::Minutes);
        QCOMPARE(o.code, 0);
        const qint64 minute = (kT0 / 60000) * 60000;
        QCOMPARE(o.out,
            QStringLiteral("minute,host,label,count,replies,low_ms,avg_ms,high_ms,loss\n") + local(minute)
                + QStringLiteral(",gw.example office,office,2,1,12.345,12.345,12.345,0.500\n") + local(minute + 60000)
                + QStringLiteral(",gw.example office,office,3,1,9.000,9.000,9.000,0.667\n"));
    }

    void outages()
    {
        const Output o = exportOf(m_dir.path(), {}, {}, {}, HistoryExport::Rows::Outages);
        QCOMPARE(o.code, 0);
        // The writer has ended, so nothing is ongoing; the outage ends at the reply after midnight.
        QCOMPARE(o.out,
            QStringLiteral("host,label,start,end,duration_s,kind,state\ngw.example office,office,") + local(kT0 + 1000)
                + u',' + local(kT0 + 8000) + QStringLiteral(",7.000,timeout,ended\n"));
    }

    // An outage at the end of the results is ongoing while a writer records them, and cut by
    // the end of its run.
    void outageOngoingThenCut()
    {
        QTemporaryDir dir;
        auto store = std::make_unique<HistoryStore>();
        QString error;
        QVERIFY(store->openForWriting(dir.path(), {}, &error));
        QList<HistoryStore::Entry> batch;
        for (int s = 0; s < 5; ++s)
            batch.append({ QStringLiteral("h"), QString(), QStringLiteral("192.0.2.5"),
                { kT0 + s * 1000, s == 0 ? Kind::Reply : Kind::Timeout, s == 0 ? 0 : 11010, s == 0 ? 1000 : 0 } });
        QCOMPARE(store->write(batch, &error), HistoryStore::WriteStatus::Ok);
        // Exported at kT0 + 60 s: the duration so far.
        Output o = exportOf(dir.path(), {}, {}, {}, HistoryExport::Rows::Outages);
        QCOMPARE(o.out.section(u'\n', 1, 1),
            QStringLiteral("h,,") + local(kT0 + 1000) + QStringLiteral(",,59.000,timeout,ongoing"));
        store.reset();
        o = exportOf(dir.path(), {}, {}, {}, HistoryExport::Rows::Outages);
        QCOMPARE(o.out.section(u'\n', 1, 1),
            QStringLiteral("h,,") + local(kT0 + 1000) + u',' + local(kT0 + 4000)
                + QStringLiteral(",3.000,timeout,cut"));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("says");
        QTest::newRow("bad time") << QString() << "yesterday"
                                  << "--from wants an ISO 8601";
        QTest::newRow("date-time without seconds is fine but not this") << QString() << "2026-13-01"
                                                                        << "--from wants";
        QTest::newRow("no store") << "/nonexistent/History" << QString() << "There is no history in";
        QTest::newRow("not a store") << "garbage" << QString() << "Unable to read the history";
    }
    void refusals()
    {
        QFETCH(QString, dir);
        QFETCH(QString, from);
        QFETCH(QString, says);
        QTemporaryDir garbage;
        if (dir == QStringLiteral("garbage")) {
            QFile f(HistoryStore::fileName(garbage.path()));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
            f.close();
            dir = garbage.path();
        }
        const Output o = exportOf(dir.isEmpty() ? m_dir.path() : dir, {}, from, {}, HistoryExport::Rows::Results);
        QCOMPARE(o.code, 2);
        QVERIFY(o.out.isEmpty());
        QVERIFY2(o.err.contains(says), qPrintable(o.err));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says"); // empty when accepted
        QTest::newRow("export") << QStringList { QStringLiteral("--export-history"), QStringLiteral("--history"),
            QStringLiteral("/x"), QStringLiteral("--host"), QStringLiteral("a"), QStringLiteral("--host"),
            QStringLiteral("b"), QStringLiteral("--from"), QStringLiteral("2026-12-01"), QStringLiteral("--to"),
            QStringLiteral("2026-12-02"), QStringLiteral("--outages") }
                                << QString();
        QTest::newRow("agent with history") << QStringList { QStringLiteral("--headless"), QStringLiteral("--history"),
            QStringLiteral("/x"), QStringLiteral("h") }
                                            << QString();
        QTest::newRow("history alone") << QStringList { QStringLiteral("--history"), QStringLiteral("/x"),
            QStringLiteral("h") } << QStringLiteral("--history goes with --headless or --export-history");
        QTest::newRow("host words") << QStringList { QStringLiteral("--export-history"), QStringLiteral("h") }
                                    << QStringLiteral("--export-history takes no hosts");
        QTest::newRow("with --headless") << QStringList { QStringLiteral("--export-history"),
            QStringLiteral("--headless") }
                                         << QStringLiteral("takes no hosts");
        QTest::newRow("with --metrics") << QStringList { QStringLiteral("--export-history"),
            QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:9") }
                                        << QStringLiteral("takes no hosts");
        QTest::newRow("with --list") << QStringList { QStringLiteral("--export-history"), QStringLiteral("--list"),
            QStringLiteral("l.txt") } << QStringLiteral("go with --headless");
        QTest::newRow("with --log") << QStringList { QStringLiteral("--export-history"), QStringLiteral("--log") }
                                    << QStringLiteral("go with --headless");
        QTest::newRow("outages and minutes") << QStringList { QStringLiteral("--export-history"),
            QStringLiteral("--outages"), QStringLiteral("--minutes") }
                                             << QStringLiteral("do not go together");
        QTest::newRow("export options alone")
            << QStringList { QStringLiteral("--minutes") } << QStringLiteral("go with --export-history");
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const CommandLine cl = CommandLine::parse(QStringList { QStringLiteral("skylark") } + args, QString());
        if (says.isEmpty()) {
            QCOMPARE(cl.action, CommandLine::Action::Run);
            QCOMPARE(cl.historyDir, QStringLiteral("/x"));
        } else {
            QCOMPARE(cl.action, CommandLine::Action::Fail);
            QVERIFY2(cl.text.contains(says), qPrintable(cl.text));
        }
    }

    // The program exports without a display, and exits 2 on a bad option.
    void programWithoutDisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SKYLARK_EXE),
            { QStringLiteral("--export-history"), QStringLiteral("--history"), m_dir.path(), QStringLiteral("--host"),
                QStringLiteral("10.0.0.9") });
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(),
            "time,host,label,address,kind,status,rtt_ms\n" + local(kT0 + 3000).toUtf8()
                + ",10.0.0.9,,10.0.0.9,reply,0,1.000\n");
        p.start(QStringLiteral(SKYLARK_EXE), { QStringLiteral("--export-history"), QStringLiteral("h") });
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestHistoryExport)
#include "tst_historyexport.moc"
