// A real frame against the network test kit: a host that stops answering and answers again.
#include "settingsowner.h"
#include "fakenotifications.h"
#include "pingframe.h"
#include "resultwatch.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {
// Drops the echo replies of 10.77.2.2 at the client, or lets them in again.
bool silence(bool on)
{
    const QString rules = on ? QStringLiteral("add table inet skylark_test\n"
                                              "add chain inet skylark_test in { type filter hook input priority 0; }\n"
                                              "add rule inet skylark_test in ip saddr 10.77.2.2 drop\n")
                             : QStringLiteral("delete table inet skylark_test\n");
    QProcess nft;
    nft.start(QStringLiteral("nft"), { QStringLiteral("-f"), QStringLiteral("-") });
    nft.write(rules.toLatin1());
    nft.closeWriteChannel();
    return nft.waitForFinished() && nft.exitCode() == 0;
}
} // namespace

class TestResultWatchNet : public QObject
{
    Q_OBJECT
    PrivateSessionBus m_bus;
    FakeNotifications m_service;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (tests/netkit/netkit.sh)");
        QVERIFY(m_bus.start(&m_service));
    }
    void cleanupTestCase()
    {
        silence(false);
        m_bus.stop();
    }

    void hostFallsSilentAndAnswersAgain_oneDownOneBack_andALogLinePerResult()
    {
        QTemporaryDir dir;
        TSettingsOwner settings;
        settings.edit([](TAppSettings &s) {
            s.NotifyHostDownUp = true;
            s.LogResults = true;
        });
        TResultWatch watch(settings, [&dir] { return dir.path() + QStringLiteral("/"); });
        TPingFrame frame;
        watch.watch(frame.Probe());
        int results = 0;
        connect(&frame, &TPingFrame::ResultProcessed, this, [&results] { ++results; });
        frame.show();
        frame.HostEdit->setText(QStringLiteral("10.77.2.2"));
        frame.SetDown(true);
        frame.ContinuousPingSpdBtnClick();
        QTRY_VERIFY_WITH_TIMEOUT(results >= 2, 10000);
        QVERIFY(silence(true));
        QTRY_COMPARE_WITH_TIMEOUT(m_service.calls.size(), 1, 30000);
        QVERIFY2(m_service.calls[0].summary.startsWith(QStringLiteral("10.77.2.2 is down since ")),
            qPrintable(m_service.calls[0].summary));
        QVERIFY(silence(false));
        QTRY_COMPARE_WITH_TIMEOUT(m_service.calls.size(), 2, 15000);
        QVERIFY2(m_service.calls[1].summary.startsWith(QStringLiteral("10.77.2.2 is back after ")),
            qPrintable(m_service.calls[1].summary));
        QCOMPARE(m_service.calls[1].replacesId, 101u);
        frame.SetDown(false);
        frame.ContinuousPingSpdBtnClick();
        QTRY_VERIFY_WITH_TIMEOUT(!frame.InFlight(), 10000);
        watch.flushLog();
        // The day's file (two, should the test run over midnight), each with its header.
        const QDir logs(dir.path() + QStringLiteral("/Logs"));
        const QStringList days = logs.entryList({ QStringLiteral("10.77.2.2-\?\?\?\?-\?\?-\?\?.csv") }, QDir::Files);
        QVERIFY(!days.isEmpty() && days.size() <= 2);
        QList<QByteArray> lines;
        for (const QString &day : days) {
            QFile log(logs.filePath(day));
            QVERIFY(log.open(QIODevice::ReadOnly));
            lines += log.readAll().trimmed().split('\n');
        }
        QCOMPARE(lines.size(), results + days.size());
        QCOMPARE(lines.count(QByteArray()), 0);
        int timeouts = 0;
        for (const QByteArray &line : lines) {
            timeouts += line.contains(",timeout,");
            // A reply's RTT in whole milliseconds, and last the same to the microsecond.
            const QList<QByteArray> f = line.split(',');
            if (line.contains(",reply,")) {
                QCOMPARE(f.size(), 8);
                QVERIFY2(f[7].size() >= 5 && f[7].at(f[7].size() - 4) == '.', line.constData());
                QCOMPARE(f[7].left(f[7].size() - 4), f[4]);
            }
        }
        QVERIFY(timeouts >= 3);
        QCOMPARE(m_service.calls.size(), 2);
    }
};

QTEST_MAIN(TestResultWatchNet)
#include "tst_resultwatch_net.moc"
