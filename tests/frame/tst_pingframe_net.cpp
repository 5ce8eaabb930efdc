// Real frames against loopback and the network test kit's hosts.
#include "pingchart.h"
#include "pingframe.h"
#include "icmp.h"
#include "icmpaccess.h"

#include <QComboBox>
#include <QFile>
#include <QSignalSpy>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <csignal>

namespace {
const QColor kGreen(0, 128, 0), kRed(255, 0, 0);

TPingFrame *startFrame(const QString &host)
{
    auto *f = new TPingFrame;
    f->show();
    f->HostEdit->setText(host);
    f->SetDown(true);
    f->ContinuousPingSpdBtnClick();
    return f;
}
} // namespace

class TestPingFrameNet : public QObject
{
    Q_OBJECT
private slots:
    // With ping sockets closed to every group and no raw socket to fall back on, the real
    // engine fails each echo with "Unable to get IPv4 ICMP handle": the frame records a
    // timeout as designed, and the program is told so that it can explain.
    void noIcmpSocketAllowed_reportedAndCountedAsTimeout()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (tests/netkit/netkit.sh)");
        const QString range = QStringLiteral("/proc/sys/net/ipv4/ping_group_range");
        QFile f(range);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        auto setRange = [&](const QByteArray &value) {
            QFile w(range);
            QVERIFY(w.open(QIODevice::WriteOnly));
            w.write(value);
        };
        setRange("1 0"); // no group may open a ping socket
        TICMP::SetSocketPreference(TICMP::SocketKind::PingOnly); // as without CAP_NET_RAW
        QSignalSpy told(IcmpAccess::instance(), &IcmpAccess::unavailable);
        std::unique_ptr<TPingFrame> f1(startFrame(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE_WITH_TIMEOUT(f1->TimeoutsLbl->text(), QStringLiteral("Timeouts: 1"), 6000);
        QVERIFY(told.count() >= 1);
        QCOMPARE(f1->PingChart->Count(), 0);
        f1.reset();
        setRange(before.trimmed());
        TICMP::SetSocketPreference(TICMP::SocketKind::Auto);

        // Allowed again: replies, and nothing more is reported.
        told.clear();
        std::unique_ptr<TPingFrame> f2(startFrame(QStringLiteral("127.0.0.1")));
        QTRY_VERIFY_WITH_TIMEOUT(f2->PingChart->Count() >= 1, 6000);
        QCOMPARE(told.count(), 0);
    }

    void loopback_greenPointsAboutASecondApart()
    {
        std::unique_ptr<TPingFrame> f(startFrame(QStringLiteral("127.0.0.1")));
        QTRY_VERIFY_WITH_TIMEOUT(f->PingChart->Count() >= 4, 8000);
        for (int i = 0; i < f->PingChart->Count(); ++i)
            QCOMPARE(f->PingChart->PointColor(i), kGreen);
        for (int i = 1; i < f->PingChart->Count(); ++i) {
            const qint64 gap = f->PingChart->XValue(i - 1).msecsTo(f->PingChart->XValue(i));
            QVERIFY2(gap >= 950 && gap <= 1500, qPrintable(QString::number(gap)));
        }
        QCOMPARE(f->IPAddressLbl->text(), QStringLiteral("127.0.0.1"));
        QVERIFY(f->StatusLbl->text().startsWith(QStringLiteral("Low: ")));
    }

    void hostThatFallsSilent_redAtLastHeight_andSilentFromStartAddsNoPoint()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (tests/netkit/netkit.sh)");
        ::kill(qEnvironmentVariableIntValue("NETKIT_RESPONDER_PID"), SIGHUP); // fresh answer counters
        QTest::qWait(50);
        std::unique_ptr<TPingFrame> fading(startFrame(QStringLiteral("10.77.4.30")));
        std::unique_ptr<TPingFrame> silent(startFrame(QStringLiteral("10.77.3.2")));
        // A frame freed with its echo in flight: the late result must go nowhere.
        delete startFrame(QStringLiteral("10.77.3.2"));

        QTRY_VERIFY_WITH_TIMEOUT(fading->PingChart->Count() >= 4, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(silent->TimeoutsLbl->text(), QStringLiteral("Timeouts: 1"), 8000);
        QCOMPARE(silent->PingChart->Count(), 0);
        QVERIFY(silent->TimeoutMarked());

        for (int i = 0; i < 3; ++i)
            QCOMPARE(fading->PingChart->PointColor(i), kGreen);
        QCOMPARE(fading->PingChart->PointColor(3), kRed);
        QCOMPARE(fading->PingChart->YValue(3), fading->PingChart->YValue(2));
        QCOMPARE(fading->TimeoutsLbl->text(), QStringLiteral("Timeouts: 1"));
        QCOMPARE(fading->LastTimeoutComboBox->count(), 1);
    }
};

QTEST_MAIN(TestPingFrameNet)
#include "tst_pingframe_net.moc"
