// Real frames against loopback and the network test kit's hosts.
#include "pingchart.h"
#include "pingframe.h"

#include <QComboBox>
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
        ::kill(qEnvironmentVariableIntValue("NETKIT_RESPONDER_PID"), SIGHUP);  // fresh answer counters
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
