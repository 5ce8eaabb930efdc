// Widget-free probes watching hosts of both families side by side in the network test kit
// (run through tests/netkit/netkit.sh): IPv6 hosts come out as their IPv4 counterparts do.
#include "hostprobe.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestHostProbeNet : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (tests/netkit/netkit.sh)");
    }

    void bothFamilies_onOneBoard()
    {
        struct Case
        {
            QString host;
            QString address;
            EchoOutcome::Kind kind;
            QString from;
        };
        const QList<Case> cases {
            { QStringLiteral("::1"), QStringLiteral("::1"), EchoOutcome::Reply, QStringLiteral("::1") },
            { QStringLiteral("v6only.netkit"), QStringLiteral("fd77:2::2"), EchoOutcome::Reply,
                QStringLiteral("fd77:2::2") },
            { QStringLiteral("[fd77:3::2]"), QStringLiteral("fd77:3::2"), EchoOutcome::Timeout, QString() },
            { QStringLiteral("fd77:9::9"), QStringLiteral("fd77:9::9"), EchoOutcome::Foreign,
                QStringLiteral("fd77:1::1") },
            { QStringLiteral("10.77.2.2"), QStringLiteral("10.77.2.2"), EchoOutcome::Reply,
                QStringLiteral("10.77.2.2") },
            { QStringLiteral("both.netkit"), QStringLiteral("10.77.2.2"), EchoOutcome::Reply,
                QStringLiteral("10.77.2.2") },
            { QStringLiteral("10.77.3.2"), QStringLiteral("10.77.3.2"), EchoOutcome::Timeout, QString() },
            { QStringLiteral("10.77.9.9"), QStringLiteral("10.77.9.9"), EchoOutcome::Foreign,
                QStringLiteral("10.77.1.1") },
        };
        std::vector<std::unique_ptr<HostProbe>> probes;
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const Case &c : cases) {
            probes.push_back(std::make_unique<HostProbe>());
            probes.back()->setHost(c.host);
            spies.push_back(std::make_unique<QSignalSpy>(probes.back().get(), &HostProbe::resultProcessed));
            probes.back()->start();
        }
        for (qsizetype i = 0; i < cases.size(); ++i) {
            const Case &c = cases[i];
            QTRY_VERIFY2_WITH_TIMEOUT(spies[i]->count() >= 2, qPrintable(c.host), 15000);
            for (int k = 0; k < 2; ++k) {
                const auto o = spies[i]->at(k).at(0).value<EchoOutcome>();
                QVERIFY2(o.kind == c.kind, qPrintable(c.host + QStringLiteral(": kind %1").arg(int(o.kind))));
                QCOMPARE(o.target, c.address);
                QCOMPARE(o.from, c.from);
            }
            QCOMPARE(probes[i]->address(), c.address);
        }
    }
};

QTEST_GUILESS_MAIN(TestHostProbeNet)
#include "tst_hostprobe_net.moc"
