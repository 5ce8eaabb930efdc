// The desktop's metrics endpoint: the board's frames as Prometheus sees them, and the setting
// that turns the endpoint on and off.
#include "mainform.h"
#include "metricswatch.h"
#include "pingframe.h"
#include "popupmenu.h"
#include "scripted.h"
#include "settingsform.h"

#include <QAction>
#include <QLineEdit>
#include <QTcpSocket>
#include <QTest>
#include <QToolButton>

namespace {

QByteArray scrape(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(2000))
        return {};
    s.write("GET /metrics HTTP/1.1\r\n\r\n");
    QByteArray answer;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(3000))
        answer += s.readAll();
    return answer + s.readAll();
}

// The value of one sample, by the start of its line; -1 when there is none.
double sample(const QByteArray &text, const QByteArray &start)
{
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(start))
            return line.mid(line.lastIndexOf(' ') + 1).toDouble();
    return -1;
}

void next(ScriptedWorld &world, TPingFrame *f, int rtt)
{
    f->PingTimerTimer();
    world.echoes.replyAndProcess(rtt);
}

} // namespace

class TestMetricsWatch : public QObject
{
    Q_OBJECT
private slots:
    void board_countsPerFrame_stoppedFramesLeaveTheOutput_namesFollowTheBoard()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::MetricsAddress, QStringLiteral("127.0.0.1:0"));
        form->ApplyMetricsAddress();
        QVERIFY(form->MetricsWatch && form->MetricsWatch->serving());
        const quint16 port = form->MetricsWatch->port();

        form->AddHostFrame(QStringLiteral("10.0.0.1"), true);
        form->AddHostFrame(QStringLiteral("10.0.0.1"), true); // the same host twice: two series
        TPingFrame *a = form->Board->ColumnFrames1.at(0);
        TPingFrame *b = form->Board->ColumnFrames1.at(1);
        for (TPingFrame *f : { a, b })
            if (!f->InFlight())
                f->PingTimerTimer();
        while (world.echoes.count() > 0)
            world.echoes.replyAndProcess(7);
        next(world, a, -1);
        next(world, a, 9);

        QByteArray text = scrape(port);
        const QByteArray aLabels = "{frame=\"PingFrame_0\",host=\"10.0.0.1\",ip=\"10.0.0.1\",label=\"\"}";
        const QByteArray bLabels = "{frame=\"PingFrame_1\",host=\"10.0.0.1\",ip=\"10.0.0.1\",label=\"\"}";
        QCOMPARE(sample(text, "skylark_echo_replies_total" + aLabels), 2.0);
        QCOMPARE(sample(text, "skylark_echo_timeouts_total" + aLabels), 1.0);
        QCOMPARE(sample(text, "skylark_echo_requests_total" + aLabels), 3.0);
        QCOMPARE(sample(text, "skylark_echo_replies_total" + bLabels), 1.0);
        QCOMPARE(sample(text, "skylark_probes "), 2.0);

        // Requests are echoes sent: one on its way counts before its result.
        a->PingTimerTimer();
        text = scrape(port);
        QCOMPARE(sample(text, "skylark_echo_requests_total" + aLabels), 4.0);
        QCOMPARE(sample(text, "skylark_echo_replies_total" + aLabels), 2.0);
        world.echoes.replyAndProcess(5);

        // "C" clears the chart, not the counters.
        a->ClearChartPnlClick();
        next(world, a, 5);
        QCOMPARE(sample(scrape(port), "skylark_echo_replies_total" + aLabels), 4.0);

        // Stopped: gone from the output within the sweep (a stopped frame's timer may still
        // send one last echo, answered here); started again: counting on from where it was.
        a->SetDown(false);
        a->ContinuousPingSpdBtnClick();
        const auto settled = [&] {
            while (world.echoes.count() > 0)
                world.echoes.replyAndProcess(5);
            return sample(scrape(port), "skylark_probes ") == 1.0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 5000);
        a->SetDown(true);
        a->ContinuousPingSpdBtnClick();
        world.echoes.replyAndProcess(5);
        text = scrape(port);
        QCOMPARE(sample(text, "skylark_probes "), 2.0);
        QVERIFY(sample(text, "skylark_echo_replies_total" + aLabels) >= 4.0);

        // Removing the first frame renumbers the second, whose series follows its new name.
        const double bReplies = sample(scrape(port), "skylark_echo_replies_total" + bLabels);
        QVERIFY(bReplies >= 1);
        a->SetDown(false);
        a->ContinuousPingSpdBtnClick();
        form->FramePM1->prepareFor(a);
        form->pmiRemoveFrameObject->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(
            sample(scrape(port), "skylark_echo_replies_total{frame=\"PingFrame_0\",host=\"10.0.0.1\"") >= bReplies,
            3000);
        text = scrape(port);
        QCOMPARE(sample(text, "skylark_probes "), 1.0);
        QVERIFY(!text.contains("PingFrame_1"));
        QVERIFY(b);
    }

    void setting_turnsTheEndpointOnAndOff_aBadAddressSaysSoOnce()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        TSettingsForm *dialog = form->SettingsForm;
        QVERIFY(dialog);
        dialog->Execute();
        QLineEdit *edit = dialog->MetricsAddressEdit;
        QCOMPARE(edit->objectName(), QStringLiteral("MetricsAddressEdit"));
        QVERIFY(edit->text().isEmpty());
        QVERIFY(!form->MetricsWatch || !form->MetricsWatch->serving());

        const auto enter = [edit](const QString &text) {
            edit->setText(text);
            emit edit->editingFinished();
            QCoreApplication::processEvents();
        };
        enter(QStringLiteral("127.0.0.1:0"));
        QVERIFY(form->MetricsWatch->serving());
        QCOMPARE(form->AppSettings.MetricsAddress, QStringLiteral("127.0.0.1:0"));
        QVERIFY(scrape(form->MetricsWatch->port()).startsWith("HTTP/1.1 200 OK"));

        enter(QStringLiteral("example.org:80"));
        QTRY_COMPARE(world.errors.messages.size(), 1);
        QVERIFY2(world.errors.messages.first().startsWith(QStringLiteral("Cannot serve metrics")),
            qPrintable(world.errors.messages.first()));
        QVERIFY(!form->MetricsWatch->serving());
        emit edit->editingFinished(); // unchanged: not tried again
        QCoreApplication::processEvents();
        QCOMPARE(world.errors.messages.size(), 1);

        enter(QString());
        QVERIFY(!form->MetricsWatch->serving());
        QCOMPARE(form->AppSettings.MetricsAddress, QString());
    }
};

QTEST_MAIN(TestMetricsWatch)
#include "tst_metricswatch.moc"
