// The ping frame driven with scripted echoes and lookups and a pinned clock.
#include "appclock.h"
#include "pingchart.h"
#include "pingframe.h"
#include "scripted.h"
#include "splitterbar.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {
const QColor kGreen(0, 128, 0), kOrange(255, 128, 0), kRed(255, 0, 0);
const QString kHost = QStringLiteral("10.1.1.1");
} // namespace

class TestPingFrame : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<PinnedClock> clock;
    std::unique_ptr<TPingFrame> frame;

    void start(const QString &host = kHost)
    {
        frame->HostEdit->setText(host);
        frame->SetDown(true);
        frame->ContinuousPingSpdBtnClick();
    }
    void stop()
    {
        frame->SetDown(false);
        frame->ContinuousPingSpdBtnClick();
    }
    // One full cycle after the first: the timer's tick, then the echo's result.
    void tick()
    {
        QVERIFY(frame->PingTimer->isActive());
        clock->advance(1000);
        frame->PingTimerTimer();
    }
    // Plays a sequence of results: a number is a reply of that many ms, -1 no reply,
    // -2 a reply from a router.
    void play(const QList<int> &results)
    {
        start();
        for (int i = 0; i < results.size(); ++i) {
            if (i > 0)
                tick();
            const int r = results[i];
            world->echoes.replyAndProcess(r == -2 ? 5 : r, r == -2 ? QStringLiteral("10.9.9.9") : QString());
        }
    }

private slots:
    void init()
    {
        world = std::make_unique<ScriptedWorld>();
        clock = std::make_unique<PinnedClock>();
        frame = std::make_unique<TPingFrame>();
        frame->show();
        AppClock::setTerminating(false);
    }
    void cleanup()
    {
        frame.reset();
        clock.reset();
        world.reset();
        AppClock::setTerminating(false);
    }

    void designedState()
    {
        TPingFrame f;
        QCOMPARE(f.size(), QSize(454, 109));
        QCOMPARE(f.ContinuousPingSpdBtn->text(), QStringLiteral("Start"));
        QCOMPARE(f.HostEdit->text(), QStringLiteral("LocalHost"));
        QCOMPARE(f.StatusLbl->text(), QStringLiteral("Low: -  Avg: -  High: -"));
        QCOMPARE(f.IPAddressLbl->text(), QStringLiteral("0.0.0.0"));
        QCOMPARE(f.ThreadInProgressLbl->text(), QStringLiteral("-"));
        QCOMPARE(f.SpinEdit->value(), 180);
        QCOMPARE(f.SpinEdit->minimum(), 5);
        QCOMPARE(f.SpinEdit->maximum(), 300);
        QCOMPARE(f.SpinEdit->singleStep(), 5);
        QCOMPARE(f.LastTimeoutComboBox->currentText(), QStringLiteral("00:00:00"));
        QCOMPARE(f.TimeoutsLbl->text(), QStringLiteral("Timeouts: 0"));
        QCOMPARE(f.PointsLbl->text(), QStringLiteral("Points: 0"));
        QVERIFY(f.BottomRightPanel->isHidden());
        QVERIFY(f.Splitter->isHidden());
        QVERIFY(!f.PingTimer->isActive());
        QCOMPARE(f.PingTimer->interval(), 1000);
        QVERIFY(f.findChild<QObject *>(QStringLiteral("WSocket")));
    }

    void statistics_data()
    {
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<QString>("status");
        QTest::addColumn<double>("axis");
        QTest::addColumn<QList<QColor>>("colours");
        QTest::newRow("first reply 12") << QList<int>{12} << QStringLiteral("Low: 12  Avg: 12  High: 12") << 15.0 << QList<QColor>{kGreen};
        QTest::newRow("10.5 rounds to even") << QList<int>{10, 11} << QStringLiteral("Low: 10  Avg: 10  High: 11") << 13.75 << QList<QColor>{kGreen, kGreen};
        QTest::newRow("11.5 rounds to even") << QList<int>{11, 12} << QStringLiteral("Low: 11  Avg: 12  High: 12") << 15.0 << QList<QColor>{kGreen, kGreen};
        QTest::newRow("timeout point counts") << QList<int>{10, 20, -1, 30} << QStringLiteral("Low: 10  Avg: 20  High: 30") << 37.5
                                              << QList<QColor>{kGreen, kGreen, kRed, kGreen};
        QTest::newRow("router reply is orange") << QList<int>{10, -2} << QStringLiteral("Low: 10  Avg: 10  High: 10") << 12.5
                                                << QList<QColor>{kGreen, kOrange};
        QTest::newRow("zero ms") << QList<int>{0} << QStringLiteral("Low: 0  Avg: 0  High: 0") << 0.0 << QList<QColor>{kGreen};
    }
    void statistics()
    {
        QFETCH(QList<int>, results);
        QFETCH(QString, status);
        QFETCH(double, axis);
        QFETCH(QList<QColor>, colours);
        play(results);
        QCOMPARE(frame->StatusLbl->text(), status);
        QCOMPARE(frame->PingChart->LeftMaximum(), axis);
        QVERIFY(!frame->PingChart->LeftAutomaticMaximum());
        QCOMPARE(frame->PingChart->Count(), colours.size());
        for (int i = 0; i < colours.size(); ++i)
            QCOMPARE(frame->PingChart->PointColor(i), colours[i]);
        QCOMPARE(frame->PointsLbl->text(), QStringLiteral("Points: %1").arg(colours.size()));
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
        QVERIFY(frame->PingTimer->isActive());
    }

    void timeoutPoint_levelWithLastAndCountedAsTimeout()
    {
        play({10, 20, -1});
        QCOMPARE(frame->PingChart->YValue(2), 20.0);
        play({-2});
        QCOMPARE(frame->PingChart->PointColor(3), kOrange);
        QCOMPARE(frame->PingChart->YValue(3), 20.0);
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: 2"));
        QCOMPARE(frame->IPAddressLbl->text(), kHost);  // the target's address, not the router's
    }

    void firstResultTimeout_addsNoPointButRecordsIt()
    {
        play({-1});
        QCOMPARE(frame->PingChart->Count(), 0);
        QCOMPARE(frame->PointsLbl->text(), QStringLiteral("Points: 0"));
        QCOMPARE(frame->LastTimeoutComboBox->currentText(), QStringLiteral("12:00:00"));
        QCOMPARE(frame->LastTimeoutComboBox->itemText(0), QStringLiteral("12:00:00"));
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: 1"));
        QVERIFY(frame->TimeoutMarked());
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("00:00:00"));
        QCOMPARE(frame->StatusLbl->text(), QStringLiteral("Low: -  Avg: -  High: -"));
    }

    void timeoutList_keeps99NewestFirst()
    {
        QList<int> timeouts(120, -1);
        play(timeouts);
        QCOMPARE(frame->LastTimeoutComboBox->count(), 99);
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: 99"));
        QCOMPARE(frame->LastTimeoutComboBox->itemText(0), QStringLiteral("12:01:59"));
        QCOMPARE(frame->LastTimeoutComboBox->itemText(98), QStringLiteral("12:00:21"));
    }

    void trimming_keepsSpinEditPoints_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("spin");
        QTest::addColumn<int>("after");
        QTest::newRow("5 of 5") << 5 << 5 << 5;
        QTest::newRow("180 lowered to 5") << 180 << 5 << 5;
    }
    void trimming_keepsSpinEditPoints()
    {
        QFETCH(int, points);
        QFETCH(int, spin);
        QFETCH(int, after);
        play(QList<int>(points, 7));
        QCOMPARE(frame->PingChart->Count(), points);
        frame->SpinEdit->setValue(spin);
        tick();
        world->echoes.replyAndProcess(9);
        QCOMPARE(frame->PingChart->Count(), after);
        QCOMPARE(frame->PingChart->YValue(after - 1), 9.0);
    }

    void timeSince_wrapsOverMidnight()
    {
        clock->set(QDateTime(QDate(2026, 12, 10), QTime(23, 59, 49)));
        play({5, -1});  // the timeout at 23:59:50
        clock->set(QDateTime(QDate(2026, 12, 11), QTime(0, 0, 10)));
        frame->PingTimerTimer();
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("23:59:40"));
    }

    void timeSince_textThatIsNoTime_stillEndsTheCycle()
    {
        play({5, -1});
        frame->LastTimeoutComboBox->setEditText(QStringLiteral("banana"));
        tick();
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QString());
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
        QVERIFY(frame->PingTimer->isActive());
    }

    void resultAfterTerminationBegan_isChartedButNotRearmed()
    {
        start();
        AppClock::setTerminating(true);
        world->echoes.replyAndProcess(8);
        QCOMPARE(frame->PingChart->Count(), 1);
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
        QVERIFY(!frame->PingTimer->isActive());
    }

    void dottedHost_inFlightWhenStartReturns()
    {
        start();
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("+"));
        QCOMPARE(frame->ContinuousPingSpdBtn->text(), QStringLiteral("Stop"));
        QVERIFY(!frame->HostEdit->isEnabled());
        QCOMPARE(world->echoes.count(), 1u);
        const auto &w = world->echoes.pending.front();
        QCOMPARE(w->PingHostName, kHost);
        QCOMPARE(w->PingTimeout, 4000);
        QCOMPARE(w->PingTTL, 32);
        QCOMPARE(w->PingId, 1);
        QCOMPARE(w->PingSize, 0);
    }

    void stopWhileTimerArmed_runsExactlyOneMoreCycle()
    {
        play({5});
        stop();
        QVERIFY(frame->PingTimer->isActive());
        tick();
        QCOMPARE(world->echoes.count(), 1u);
        world->echoes.replyAndProcess(6);
        QCOMPARE(frame->PingChart->Count(), 2);
        QVERIFY(!frame->PingTimer->isActive());
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
    }

    void unknownHost_showsDnsErrorAndStops()
    {
        play({5});
        stop();
        start(QStringLiteral("no-such.example"));
        QCOMPARE(world->resolver.asked, QStringList{QStringLiteral("no-such.example")});
        world->resolver.answer(11001);
        QTRY_COMPARE(frame->IPAddressLbl->text(), QStringLiteral("DNS Error!"));
        QCOMPARE(frame->ContinuousPingSpdBtn->text(), QStringLiteral("Start"));
        QVERIFY(!frame->Running());
        QVERIFY(frame->HostEdit->isEnabled());
        QCOMPARE(frame->PingChart->Count(), 1);
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
    }

    void emptyHost_dnsErrorThenRaisedError()
    {
        frame->HostEdit->setText(QString());
        QTest::mouseClick(frame->ContinuousPingSpdBtn, Qt::LeftButton);
        QCOMPARE(frame->IPAddressLbl->text(), QStringLiteral("DNS Error!"));
        QVERIFY(!frame->Running());
        QCOMPARE(world->errors.messages, QStringList{QStringLiteral("DNS lookup: invalid host name.")});
    }

    void clearChart_whileStopped_waitsForTheSecondCycle()
    {
        play({5, 6});
        stop();
        frame->PingTimer->stop();
        QTest::mouseClick(frame->ClearChartPnl, Qt::LeftButton);
        QCOMPARE(frame->PingChart->Count(), 2);
        start();
        world->echoes.replyAndProcess(7);
        QCOMPARE(frame->PingChart->Count(), 3);
        tick();
        QCOMPARE(frame->PingChart->Count(), 0);
        world->echoes.replyAndProcess(8);
        QCOMPARE(frame->PingChart->Count(), 1);
    }

    void timeoutsLabel_shiftClicks_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<int>("items");
        QTest::addColumn<bool>("marked");
        QTest::newRow("shift left resets list") << int(Qt::LeftButton) << true << 0 << true;
        QTest::newRow("shift right clears mark") << int(Qt::RightButton) << true << 2 << false;
        QTest::newRow("left without shift") << int(Qt::LeftButton) << false << 2 << true;
        QTest::newRow("right without shift") << int(Qt::RightButton) << false << 2 << true;
    }
    void timeoutsLabel_shiftClicks()
    {
        QFETCH(int, button);
        QFETCH(bool, shift);
        QFETCH(int, items);
        QFETCH(bool, marked);
        play({5, -1, -1});
        QTest::mousePress(frame->TimeoutsLbl, Qt::MouseButton(button), shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(frame->LastTimeoutComboBox->count(), items);
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: %1").arg(items));
        if (items == 0)
            QCOMPARE(frame->LastTimeoutComboBox->currentText(), QStringLiteral("00:00:00"));
        QCOMPARE(frame->TimeoutMarked(), marked);
    }

    void toggle_twiceShowsThenHidesPanelAndSplitter()
    {
        play({-1, 5});
        QVERIFY(frame->TimeoutMarked());
        QTest::mouseClick(frame->ToggleBRPnl, Qt::LeftButton);
        QVERIFY(!frame->BottomRightPanel->isHidden());
        QVERIFY(!frame->Splitter->isHidden());
        QVERIFY(!frame->TimeoutMarked());
        QTest::mouseClick(frame->ToggleBRPnl, Qt::LeftButton);
        QVERIFY(frame->BottomRightPanel->isHidden());
        QVERIFY(frame->Splitter->isHidden());
    }

    void plusClick_releasesIndicator_resultStillProcessed()
    {
        start();
        QTest::mouseClick(frame->ThreadInProgressLbl, Qt::LeftButton);
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->PingChart->Count(), 1);
    }

    void stopAndStartWithEchoInFlight_givesTwoResults()
    {
        start();
        stop();
        start();
        QCOMPARE(world->echoes.count(), 2u);
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
        world->echoes.replyAndProcess(6);
        QCOMPARE(frame->PingChart->Count(), 2);
        QVERIFY(frame->PingTimer->isActive());
    }

    void freedWithEchoInFlightOrLookupPending_dropsCompletions()
    {
        start();
        frame->PingTimer->stop();
        stop();
        start(QStringLiteral("pending.example"));
        frame.reset();
        world->echoes.replyAndProcess(5);
        world->resolver.answer(0, {kHost});
        QTest::qWait(20);
        QCOMPARE(world->echoes.count(), 0u);  // the late lookup started nothing
    }
};

QTEST_MAIN(TestPingFrame)
#include "tst_pingframe.moc"
