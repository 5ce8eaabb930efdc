#include "blockcodec.h"
#include "historygen.h"
#include "historystore.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using History::Kind;
using History::Result;
using Results = QList<Result>;
using Minutes = QList<HistoryStore::Minute>;
Q_DECLARE_METATYPE(Results)
Q_DECLARE_METATYPE(Minutes)

namespace {

constexpr qint64 kT0 = 1796083200000; // 2026-12-01 00:00 UTC
constexpr qint64 kDay = 86400000;

Result reply(qint64 t, qint64 rttUs)
{
    return { t, Kind::Reply, 0, rttUs };
}
Result timeout(qint64 t)
{
    return { t, Kind::Timeout, History::kStatusTimedOut, 0 };
}

QList<Result> roundTrip(const QList<Result> &in)
{
    History::BlockEncoder e;
    for (const Result &r : in)
        e.add(r);
    QList<Result> out;
    if (!History::decodeBlock(e.data(), &out))
        out.append(Result { -1, Kind::LookupFailed, -1, -1 });
    return out;
}

HistoryStore::Entry entry(const QString &identity, const Result &r)
{
    return { identity, QString(), QStringLiteral("127.0.0.1"), r };
}

bool write(HistoryStore &store, const QList<Result> &results, const QString &identity = QStringLiteral("h"))
{
    QList<HistoryStore::Entry> batch;
    for (const Result &r : results)
        batch.append(entry(identity, r));
    QString error;
    return store.write(batch, &error) == HistoryStore::WriteStatus::Ok;
}

} // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT
private slots:
    void encoding_data()
    {
        QTest::addColumn<Results>("results");
        QTest::newRow("every kind") << Results { reply(kT0, 12000), timeout(kT0 + 5000),
            { kT0 + 6012, Kind::Foreign, 0, 3000 }, { kT0 + 7000, Kind::Unreachable, 11003, 0 },
            { kT0 + 8000, Kind::Unreachable, 11050, 0 }, { kT0 + 9000, Kind::LookupFailed, 11001, 0 },
            { kT0 + 9500, Kind::LookupFailed, 0, 0 } };
        QTest::newRow("unusual statuses")
            << Results { { kT0, Kind::Timeout, 11050, 0 }, { kT0 + 1, Kind::Timeout, 0, 0 },
                   { kT0 + 2, Kind::Reply, 11000, 5000 }, { kT0 + 3, Kind::Unreachable, 11002, 7 },
                   { kT0 + 4, Kind::Foreign, 1, 1 }, { kT0 + 5, Kind::Timeout, -5, 0 } };
        QTest::newRow("microseconds") << Results { reply(kT0, 1), reply(kT0 + 1000, 999), reply(kT0 + 2000, 1000),
            reply(kT0 + 3000, 1001), { kT0 + 4000, Kind::Foreign, 0, 123456 }, reply(kT0 + 5000, 2000) };
        QTest::newRow("RTT bounds") << Results { reply(kT0, 0), reply(kT0 + 1, History::kMaxRttUs), reply(kT0 + 2, 0),
            reply(kT0 + 3, History::kMaxRttUs - History::kMaxRttUs % 1000), reply(kT0 + 4, 60000000),
            { kT0 + 5, Kind::Foreign, 0, History::kMaxRttUs } };
        QTest::newRow("gaps") << Results { reply(kT0, 5000), reply(kT0 + 1000, 5000), reply(kT0 + 3 * kDay, 6000),
            reply(kT0 + 3 * kDay + 1000, 6000), reply(kT0 + 400 * kDay, 7000), timeout(kT0 + 400 * kDay + 4000) };
        QTest::newRow("clock steps") << Results { reply(kT0, 5000), reply(kT0 - 3600000, 5000),
            reply(kT0 - 3600000, 5000), timeout(kT0 + 7200000), reply(0, 1000), reply(kT0, 1000) };
        QTest::newRow("single") << Results { timeout(kT0) };
        QTest::newRow("none") << Results {};
    }
    void encoding()
    {
        QFETCH(Results, results);
        QCOMPARE(roundTrip(results), results);
    }

    void encodingKeepsRttWithinBounds()
    {
        const Results out = roundTrip({ reply(kT0, -5), reply(kT0 + 1, History::kMaxRttUs + 1), reply(kT0 + 2, 7) });
        QCOMPARE(out, (Results { reply(kT0, 0), reply(kT0 + 1, History::kMaxRttUs), reply(kT0 + 2, 7) }));
    }

    void decodingRefusesDamage()
    {
        History::BlockEncoder e;
        for (int i = 0; i < 10; ++i)
            e.add({ kT0 + i * 1000, Kind::Unreachable, 11003, 5 });
        Results out;
        QVERIFY(!History::decodeBlock(e.data().chopped(1), &out));
        out.clear();
        QVERIFY(!History::decodeBlock(QByteArray(12, '\xff'), &out));
    }

    // A steady host at one result a second packs into about two bytes a result.
    void encodingIsCompact()
    {
        History::BlockEncoder e;
        qint64 t = kT0;
        for (int i = 0; i < History::BlockEncoder().count() + 256; ++i) {
            const qint64 rtt = 20 + (i * 7) % 11;
            e.add(i % 50 == 49 ? timeout(t) : reply(t, rtt * 1000));
            t += 1000 + rtt;
        }
        QVERIFY2(e.data().size() <= 3 * 256, qPrintable(QString::number(e.data().size())));
    }

    void storeKeepsResultsInOrder()
    {
        QTemporaryDir dir;
        HistoryStore store;
        QString error;
        QVERIFY2(store.openForWriting(dir.path(), {}, &error), qPrintable(error));
        // More than a block, written in batches of three, with a clock step back in the middle.
        Results all;
        for (int i = 0; i < HistoryStore::kBlockResults * 2 + 10; ++i)
            all.append(i % 5 == 4 ? timeout(kT0 + i * 1000) : reply(kT0 + i * 1000, 1000 * (i % 30)));
        all[300].timeMs = kT0 - 3600000;
        for (qsizetype i = 0; i < all.size(); i += 3)
            QVERIFY(write(store, all.mid(i, 3)));
        QVERIFY(write(store, { reply(kT0 + 5000, 1) }, QStringLiteral("other")));

        HistoryStore reader;
        QVERIFY2(reader.openForReading(dir.path(), &error), qPrintable(error));
        const auto hosts = reader.hosts();
        QCOMPARE(hosts.size(), 2);
        QCOMPARE(hosts.at(0).identity, QStringLiteral("h"));
        QCOMPARE(hosts.at(0).address, QStringLiteral("127.0.0.1"));
        Results got;
        for (const auto &r : reader.results(hosts.at(0).id, 0, kT0 + kDay))
            got.append(r.result);
        QCOMPARE(got, all);
        // A range: from inclusive, to exclusive.
        const auto range = reader.results(hosts.at(0).id, kT0 + 10000, kT0 + 20000);
        QCOMPARE(range.size(), 10);
        QCOMPARE(range.first().result, all.at(10));
        QCOMPARE(range.first().run, store.run());
        QCOMPARE(reader.earliestRawMs(), kT0 - 3600000);
    }

    void aggregation_data()
    {
        QTest::addColumn<Results>("first");
        QTest::addColumn<Results>("second"); // written by a later run
        QTest::addColumn<Minutes>("expected");
        const qint64 m = kT0 + 60000;
        QTest::newRow("one minute") << Results { reply(m, 10000), timeout(m + 1000), reply(m + 59999, 30001) }
                                    << Results {} << Minutes { { m, 3, 2, 10000, 40001, 30001 } };
        QTest::newRow("only losses") << Results { timeout(m), { m + 1, Kind::Unreachable, 11003, 0 },
            { m + 2, Kind::Foreign, 0, 5000 }, { m + 3, Kind::LookupFailed, 11001, 0 } }
                                     << Results {} << Minutes { { m, 4, 0, 0, 0, 0 } };
        QTest::newRow("minute edges") << Results { reply(m - 1, 1000), reply(m, 2000), reply(m + 60000, 3000) }
                                      << Results {}
                                      << Minutes { { m - 60000, 1, 1, 1000, 1000, 1000 }, { m, 1, 1, 2000, 2000, 2000 },
                                             { m + 60000, 1, 1, 3000, 3000, 3000 } };
        QTest::newRow("clock step back into a minute")
            << Results { reply(m, 5000), reply(m + 60000, 1000), reply(m + 30000, 7000) } << Results {}
            << Minutes { { m, 2, 2, 5000, 12000, 7000 }, { m + 60000, 1, 1, 1000, 1000, 1000 } };
        QTest::newRow("restart within a minute")
            << Results { reply(m, 5000), timeout(m + 1000) }
            << Results { reply(m + 20000, 2000), reply(m + 61000, 9000) }
            << Minutes { { m, 3, 2, 2000, 7000, 5000 }, { m + 60000, 1, 1, 9000, 9000, 9000 } };
    }
    void aggregation()
    {
        QFETCH(Results, first);
        QFETCH(Results, second);
        QFETCH(Minutes, expected);
        QTemporaryDir dir;
        QString error;
        {
            HistoryStore store;
            QVERIFY(store.openForWriting(dir.path(), {}, &error));
            for (const Result &r : first)
                QVERIFY(write(store, { r }));
        }
        if (!second.isEmpty()) {
            HistoryStore store;
            QVERIFY(store.openForWriting(dir.path(), {}, &error));
            QVERIFY(write(store, second));
        }
        HistoryStore reader;
        QVERIFY(reader.openForReading(dir.path(), &error));
        QCOMPARE(reader.minutes(reader.hosts().at(0).id, 0, kT0 + kDay), expected);
    }

    void pruning_data()
    {
        QTest::addColumn<int>("rawDays");
        QTest::addColumn<int>("minuteDays");
        QTest::addColumn<int>("rawLeft"); // results
        QTest::addColumn<int>("minutesLeft");
        QTest::newRow("defaults keep it all")
            << HistoryStore::kDefaultRawDays << HistoryStore::kDefaultMinuteDays << 4 * 600 << 4 * 10;
        QTest::newRow("a week") << 7 << 400 << 2 * 600 << 4 * 10;
        QTest::newRow("a day of raw, a week of minutes") << 1 << 7 << 600 << 2 * 10;
    }
    void pruning()
    {
        QFETCH(int, rawDays);
        QFETCH(int, minuteDays);
        QFETCH(int, rawLeft);
        QFETCH(int, minutesLeft);
        QTemporaryDir dir;
        QString error;
        HistoryStore store;
        QVERIFY(store.openForWriting(dir.path(), { rawDays, minuteDays }, &error));
        // Ten minutes at one a second, 20, 10, 3 days and half a day old, for two hosts.
        const qint64 now = kT0 + 30 * kDay;
        for (const qint64 age : { 20 * kDay, 10 * kDay, 3 * kDay, kDay / 2 })
            for (const char *host : { "a", "b" }) {
                Results ten;
                for (int s = 0; s < 600; ++s)
                    ten.append(reply(now - age + s * 1000, 1000));
                QVERIFY(write(store, ten, QString::fromLatin1(host)));
            }
        // Small steps, as many as it takes.
        for (int steps = 0, idle = 0; idle < 3 && steps < 1000; ++steps)
            idle = store.pruneStep(now, 5) == 0 ? idle + 1 : 0;
        for (const auto &h : store.hosts()) {
            QCOMPARE(store.results(h.id, 0, now).size(), rawLeft);
            QCOMPARE(store.minutes(h.id, 0, now).size(), minutesLeft);
        }
    }

    // The outages of a range, read through the minutes with misses, are those found over every
    // result of the host: for each host of a mix, with a restart in the middle of an outage,
    // an outage still going on, and ranges that begin or end inside one.
    void outagesOfRange_matchThoseOfEveryResult_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<bool>("live");
        const qint64 h = 3600000, m = 60000;
        QTest::newRow("everything, run ended") << qint64(0) << kT0 + kDay << false;
        QTest::newRow("everything, live run") << qint64(0) << kT0 + kDay << true;
        QTest::newRow("inside the cut outage") << kT0 + 3 * h + 10 * m << kT0 + 3 * h + 11 * m << false;
        QTest::newRow("ends inside the ongoing one") << kT0 + 5 * h << kT0 + 6 * h + 20 * m << true;
        QTest::newRow("begins inside the ongoing one") << kT0 + 6 * h + 30 * m << kT0 + kDay << true;
        QTest::newRow("an hour") << kT0 + h << kT0 + 2 * h << false;
    }
    void outagesOfRange_matchThoseOfEveryResult()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(bool, live);
        // Host 5 is down for half an hour three hours after each run begins: the first run
        // ends at 03:15, inside its outage; the second begins at 03:16 and ends at 06:36,
        // inside its own.
        static QTemporaryDir dir;
        static qint64 secondRun = 0;
        QString error;
        if (secondRun == 0) {
            const int stop = 3 * 3600 + 15 * 60;
            {
                HistoryStore store;
                QVERIFY(store.openForWriting(dir.path(), {}, &error));
                QVERIFY(HistoryGen::fill(store, { 0, 12, kT0, 60, 3, stop }).results > 0);
            }
            HistoryStore store;
            QVERIFY(store.openForWriting(dir.path(), {}, &error));
            secondRun = store.run();
            HistoryGen::fill(store, { 0, 12, kT0 + (stop + 60) * 1000LL, 60, 4, 3 * 3600 + 20 * 60 });
        }
        HistoryStore reader;
        QVERIFY(reader.openForReading(dir.path(), &error));
        const qint64 liveRun = live ? secondRun : 0;
        int seen = 0;
        for (const HistoryStore::Host &host : reader.hosts()) {
            QList<History::Outage> expected;
            for (const History::Outage &o : History::findOutages(reader.results(host.id, 0, kT0 + kDay), liveRun))
                if (o.startMs < to && (o.state == History::Outage::State::Ongoing || o.endMs >= from))
                    expected.append(o);
            QCOMPARE(reader.outages(host.id, from, to, liveRun), expected);
            seen += int(expected.size());
        }
        QVERIFY(seen > 0);
    }

    // The whole file with its indexes, over a day of mixed hosts.
    void bytesPerResult()
    {
        QTemporaryDir dir;
        QString error;
        HistoryStore store;
        QVERIFY(store.openForWriting(dir.path(), {}, &error));
        const HistoryGen::Figures f = HistoryGen::fill(store, { 1, 24, kT0, 60, 7 });
        QVERIFY(f.results > 24 * 60000);
        store.close(kT0 + kDay);
        const double perResult = double(QFileInfo(HistoryStore::fileName(dir.path())).size()) / double(f.results);
        qInfo("%.2f bytes per result", perResult);
        QVERIFY2(perResult <= 4.0, qPrintable(QString::number(perResult)));
    }
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
