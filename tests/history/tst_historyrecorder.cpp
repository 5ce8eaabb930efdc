#include "historyrecorder.h"
#include "historystore.h"
#include "historywriter.h"
#include "hostprobe.h"
#include "scriptedcore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

using History::Kind;
using Results = QList<History::Result>;

class TestHistoryRecorder : public QObject
{
    Q_OBJECT
private slots:
    // Each kind of result reaches the store with its IP status, under the host's identity.
    void probeResultsReachTheStore()
    {
        QTemporaryDir dir;
        ScriptedEchoLauncher echoes;
        ScriptedResolver resolver;
        PinnedClock clock;
        const qint64 t0 = clock.now.toMSecsSinceEpoch();
        {
            HistoryThread history(dir.path());
            HistoryRecorder recorder(&history);
            HostProbe probe;
            probe.setHost(QStringLiteral("192.0.2.9 core router interval=2s"));
            recorder.attach(&probe);
            auto next = [&](auto complete) {
                probe.beginCycle();
                complete();
                QCoreApplication::sendPostedEvents();
                clock.advance(1000);
            };
            next([&] { echoes.reply(12); });
            next([&] { echoes.timeout(); });
            next([&] { echoes.failWith(11003); });
            next([&] { echoes.reply(3, QStringLiteral("192.0.2.1")); });
            next([&] { echoes.noSocket(); });
            next([&] { echoes.replyUs(345); });

            HostProbe named;
            named.setHost(QStringLiteral("nowhere.example"));
            recorder.attach(&named);
            named.start();
            resolver.answer(11001);
            QCoreApplication::processEvents();
        }
        HistoryStore reader;
        QString error;
        QVERIFY(reader.openForReading(dir.path(), &error));
        const auto hosts = reader.hosts();
        QCOMPARE(hosts.size(), 2);
        QCOMPARE(hosts.at(0).identity, QStringLiteral("192.0.2.9 core router"));
        QCOMPARE(hosts.at(0).label, QStringLiteral("core router"));
        QCOMPARE(hosts.at(0).address, QStringLiteral("192.0.2.9"));
        Results got;
        for (const auto &r : reader.results(hosts.at(0).id, 0, t0 + 86400000))
            got.append(r.result);
        const Results expected { { t0, Kind::Reply, 0, 12000 }, { t0 + 1000, Kind::Timeout, 11010, 0 },
            { t0 + 2000, Kind::Unreachable, 11003, 0 }, { t0 + 3000, Kind::Foreign, 0, 3000 },
            { t0 + 4000, Kind::Timeout, 100, 0 }, { t0 + 5000, Kind::Reply, 0, 345 } };
        QCOMPARE(got, expected);

        QCOMPARE(hosts.at(1).identity, QStringLiteral("nowhere.example"));
        const auto failed = reader.results(hosts.at(1).id, 0, t0 + 86400000);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).result, (History::Result { t0 + 6000, Kind::LookupFailed, 11001, 0 }));
    }
};

QTEST_GUILESS_MAIN(TestHistoryRecorder)
#include "tst_historyrecorder.moc"
