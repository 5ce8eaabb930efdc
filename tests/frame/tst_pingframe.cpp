// The ping frame driven with scripted echoes and lookups and a pinned clock.
#include "appclock.h"
#include "compactrow.h"
#include "hostprobe.h"
#include "pingchart.h"
#include "pingframe.h"
#include "scripted.h"
#include "splitterbar.h"
#include "styles.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QScopeGuard>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QColor kGreen(0, 128, 0), kOrange(255, 128, 0), kRed(255, 0, 0);
const QString kHost = QStringLiteral("10.1.1.1");
const QString kWideHost = QStringLiteral("10.77.4.100");
const QString kWidestStatus = QStringLiteral("Low: 4000  Avg: 4000  High: 4000");
const QString kWidestAddress = QStringLiteral("255.255.255.255");

// The width a line edit gives its text: inside its frame, less the side margins it keeps.
int textRoom(const QLineEdit *e)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    const QMargins m = e->textMargins();
    return e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e).width() - m.left() - m.right() - 2 * 2;
}

int advance(const QWidget *w, const QString &text)
{
    return w->fontMetrics().horizontalAdvance(text);
}

// Every shown control of the top bar lies inside the frame and holds the widest text it
// can show; what gave way is hidden and, for the labels, in the frame's tooltip.
void checkTopBar(TPingFrame *f, bool roomForHost)
{
    if (f->Compact()) {
        // Too short for the bar: one row in its place, and the tooltip gives the figures.
        const auto *row = f->findChild<QWidget *>(QStringLiteral("CompactRow"));
        QVERIFY(row && row->isVisible() && f->TopPanel->isHidden() && f->BottomPanel->isHidden());
        QVERIFY(f->contentsRect().contains(row->geometry()));
        QVERIFY(f->toolTip().contains(f->StatusLbl->text()));
        QVERIFY(f->toolTip().contains(f->IPAddressLbl->text()));
        return;
    }
    QVERIFY(f->contentsRect().contains(f->TopPanel->geometry()));
    for (QWidget *w : f->TopPanel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (w->isHidden())
            continue;
        QVERIFY2(f->TopPanel->rect().contains(w->geometry()), qPrintable(w->objectName()));
        QVERIFY2(w->height() >= w->fontMetrics().height(), qPrintable(w->objectName()));
    }
    if (roomForHost)
        QVERIFY(textRoom(f->HostEdit) >= advance(f->HostEdit, kWidestAddress));
    QVERIFY(!f->ContinuousPingSpdBtn->isHidden());
    QVERIFY(!f->SpinEdit->isHidden());
    if (!f->StatusLbl->isHidden())
        QVERIFY(f->StatusLbl->contentsRect().width() >= advance(f->StatusLbl, f->StatusLbl->text()));
    if (!f->IPAddressLbl->isHidden())
        QVERIFY(f->IPAddressLbl->contentsRect().width() >= advance(f->IPAddressLbl, f->IPAddressLbl->text()));
    // The host edit gives way down to what its text needs (a text it cuts anyway: to its
    // designed width), then the address, then the status line.
    if (f->IPAddressLbl->isHidden() && !f->StatusLbl->isHidden())
        QVERIFY(f->HostEdit->minimumWidth() <= 75
            || textRoom(f->HostEdit) <= advance(f->HostEdit, f->HostEdit->text()) + 1);
    // The first line of the tooltip gives the host's state; the labels hidden follow.
    QVERIFY(f->toolTip().startsWith(QStringLiteral("State: ")));
    const QString tip = f->toolTip().section(QLatin1Char('\n'), 1);
    QCOMPARE(tip.contains(f->StatusLbl->text()), f->StatusLbl->isHidden());
    QCOMPARE(tip.contains(f->IPAddressLbl->text()), f->IPAddressLbl->isHidden());
    if (!f->StatusLbl->isHidden() && !f->IPAddressLbl->isHidden())
        QCOMPARE(tip, QString());
}

// The rows of the details panel shown are whole and from the top; those dropped are the
// bottom ones.
void checkDetailRows(TPingFrame *f)
{
    if (f->Compact()) {
        QVERIFY(!f->BottomRightPanel->isVisibleTo(f));
        return;
    }
    QVERIFY(f->contentsRect().contains(f->BottomPanel->geometry()));
    QVERIFY(f->BottomPanel->rect().contains(f->BottomRightPanel->geometry()));
    const QList<QWidget *> rows { f->TimeoutsLbl, f->LastTimeoutComboBox, f->TimeSinceLastTimeoutLbl, f->PointsLbl };
    int bottom = 0;
    bool dropped = false;
    for (QWidget *row : rows) {
        if (row->isHidden()) {
            dropped = true;
            continue;
        }
        QVERIFY2(!dropped, qPrintable(row->objectName()));
        QVERIFY2(f->BottomRightPanel->rect().contains(row->geometry()), qPrintable(row->objectName()));
        QVERIFY2(row->y() >= bottom, qPrintable(row->objectName()));
        QVERIFY2(
            row->height() >= std::min(row->sizeHint().height(), row->maximumHeight()), qPrintable(row->objectName()));
        QVERIFY2(row->height() >= row->fontMetrics().height(), qPrintable(row->objectName()));
        bottom = row->geometry().bottom() + 1;
    }
    QVERIFY(f->TimeoutsLbl->contentsRect().width() >= advance(f->TimeoutsLbl, QStringLiteral("Timeouts: 99")));
    QVERIFY(
        textRoom(f->LastTimeoutComboBox->lineEdit()) >= advance(f->LastTimeoutComboBox, QStringLiteral("23:59:59")));
    QVERIFY(f->TimeSinceLastTimeoutLbl->contentsRect().width()
        >= advance(f->TimeSinceLastTimeoutLbl, QStringLiteral("23:59:59")));
    QVERIFY(f->PointsLbl->contentsRect().width() >= advance(f->PointsLbl, QStringLiteral("Points: 300")));
}

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor &c)
{
    auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The stripe's colour as drawn: a pixel halfway down the frame's left edge, inside its border.
QColor stripePixel(TPingFrame *f)
{
    const QImage shot = f->grab().toImage();
    return QColor(shot.pixel(f->contentsRect().left() + 1, f->height() / 2));
}

QColor stateColour(HostState::State s, const QWidget *w)
{
    return QColor::fromRgb(QRgb(HostState::colour(s, w->palette().color(QPalette::Window).lightness() < 128)));
}

void saveShot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("SKYLARK_SHOTS");
    if (!dir.isEmpty() && QDir().mkpath(dir))
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}
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

    // Pings 10.77.4.100 from a frame placed on a board, with results as in play(), and
    // stops it again.
    void feed(TPingFrame *f, const QList<int> &results)
    {
        f->HostEdit->setText(kWideHost);
        f->SetDown(true);
        f->ContinuousPingSpdBtnClick();
        for (int i = 0; i < results.size(); ++i) {
            if (i > 0) {
                clock->advance(1000);
                f->PingTimerTimer();
            }
            world->echoes.replyAndProcess(results[i]);
        }
        f->SetDown(false);
        f->ContinuousPingSpdBtnClick();
        f->PingTimer->stop();
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
        QTest::newRow("first reply 12") << QList<int> { 12 } << QStringLiteral("Low: 12  Avg: 12  High: 12") << 15.0
                                        << QList<QColor> { kGreen };
        QTest::newRow("10.5 rounds to even") << QList<int> { 10, 11 } << QStringLiteral("Low: 10  Avg: 10  High: 11")
                                             << 13.75 << QList<QColor> { kGreen, kGreen };
        QTest::newRow("11.5 rounds to even") << QList<int> { 11, 12 } << QStringLiteral("Low: 11  Avg: 12  High: 12")
                                             << 15.0 << QList<QColor> { kGreen, kGreen };
        QTest::newRow("timeout point counts")
            << QList<int> { 10, 20, -1, 30 } << QStringLiteral("Low: 10  Avg: 20  High: 30") << 37.5
            << QList<QColor> { kGreen, kGreen, kRed, kGreen };
        QTest::newRow("router reply is orange") << QList<int> { 10, -2 } << QStringLiteral("Low: 10  Avg: 10  High: 10")
                                                << 12.5 << QList<QColor> { kGreen, kOrange };
        QTest::newRow("zero ms") << QList<int> { 0 } << QStringLiteral("Low: 0  Avg: 0  High: 0") << 0.0
                                 << QList<QColor> { kGreen };
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
        play({ 10, 20, -1 });
        QCOMPARE(frame->PingChart->YValue(2), 20.0);
        play({ -2 });
        QCOMPARE(frame->PingChart->PointColor(3), kOrange);
        QCOMPARE(frame->PingChart->YValue(3), 20.0);
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: 2"));
        QCOMPARE(frame->IPAddressLbl->text(), kHost); // the target's address, not the router's
    }

    void firstResultTimeout_addsNoPointButRecordsIt()
    {
        play({ -1 });
        QCOMPARE(frame->PingChart->Count(), 0);
        QCOMPARE(frame->PointsLbl->text(), QStringLiteral("Points: 0"));
        QCOMPARE(frame->LastTimeoutComboBox->currentText(), QStringLiteral("12:00:00"));
        QCOMPARE(frame->LastTimeoutComboBox->itemText(0), QStringLiteral("12:00:00"));
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: 1"));
        QVERIFY(frame->TimeoutMarked());
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("00:00:00"));
        QCOMPARE(frame->StatusLbl->text(), QStringLiteral("Low: -  Avg: -  High: -"));
    }

    // What the user sees after every timeout is the newest one, also once the list is
    // trimmed; a pick of an older entry holds until the next timeout.
    void timeoutList_keeps99NewestFirst()
    {
        QComboBox *box = frame->LastTimeoutComboBox;
        start();
        for (int i = 0; i < 120; ++i) {
            if (i > 0)
                tick();
            world->echoes.replyAndProcess(-1);
            const QString stamp = clock->now.time().toString(QStringLiteral("hh:mm:ss"));
            QCOMPARE(box->itemText(0), stamp);
            QCOMPARE(box->currentText(), stamp);
            QCOMPARE(box->lineEdit()->text(), stamp);
        }
        QCOMPARE(box->count(), 99);
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: 99"));
        QCOMPARE(box->itemText(0), QStringLiteral("12:01:59"));
        QCOMPARE(box->itemText(98), QStringLiteral("12:00:21"));

        tick(); // the host answers again at 12:02:00
        world->echoes.replyAndProcess(5);
        QCOMPARE(box->lineEdit()->text(), QStringLiteral("12:01:59"));
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("00:00:01"));

        box->setCurrentIndex(9); // the user picks 12:01:50 from the list
        tick();
        world->echoes.replyAndProcess(5);
        QCOMPARE(box->lineEdit()->text(), QStringLiteral("12:01:50"));
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("00:00:11"));

        tick(); // the next timeout, at 12:02:02, takes over again
        world->echoes.replyAndProcess(-1);
        QCOMPARE(box->currentText(), QStringLiteral("12:02:02"));
        QCOMPARE(box->lineEdit()->text(), QStringLiteral("12:02:02"));
        QCOMPARE(box->count(), 99);
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("00:00:00"));
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

    // The span runs forward from the timeout's time of day, also past midnight, for the
    // newest timeout and for an older one picked from the list.
    // What a frame shows of its results, for comparing two frames.
    QStringList shown() const
    {
        QStringList s { frame->StatusLbl->text(), frame->IPAddressLbl->text(), frame->TimeoutsLbl->text(),
            frame->PointsLbl->text(), frame->TimeSinceLastTimeoutLbl->text(), frame->LossJitterLbl->text(),
            frame->LastTimeoutComboBox->currentText(), QString::number(frame->TimeoutMarked()) };
        for (int i = 0; i < frame->LastTimeoutComboBox->count(); ++i)
            s << frame->LastTimeoutComboBox->itemText(i);
        for (int i = 0; i < frame->PingChart->Count(); ++i)
            s << QStringLiteral("%1 %2").arg(frame->PingChart->YValue(i)).arg(frame->PingChart->PointColor(i).name());
        return s;
    }

    // Covered by the board's overview, a frame leaves its widgets alone; uncovered, it shows
    // exactly what a frame that was never covered shows.
    void covered_leavesWidgetsThenCatchesUp_data()
    {
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<int>("coverAt"); // before this result
        QTest::newRow("replies and timeouts") << QList<int> { 10, 20, -1, -2, 30, -1 } << 2;
        QTest::newRow("covered from the start") << QList<int> { -1, 10, 40, -1 } << 0;
        QTest::newRow("only replies while covered") << QList<int> { -1, 10, 20, 30 } << 1;
        QTest::newRow("nothing while covered") << QList<int> { 10, -1 } << 2;
    }
    void covered_leavesWidgetsThenCatchesUp()
    {
        QFETCH(QList<int>, results);
        QFETCH(int, coverAt);
        play(results);
        const QStringList expected = shown();

        cleanup();
        init();
        start();
        QStringList atCover;
        for (int i = 0; i < results.size(); ++i) {
            if (i == coverAt) {
                atCover = shown();
                frame->setCovered(true);
            }
            if (i > 0)
                tick();
            world->echoes.replyAndProcess(
                results[i] == -2 ? 5 : results[i], results[i] == -2 ? QStringLiteral("10.9.9.9") : QString());
        }
        if (coverAt < results.size())
            QCOMPARE(shown(), atCover);
        frame->setCovered(false);
        QCOMPARE(shown(), expected);
    }

    void timeSince_wrapsOverMidnight()
    {
        clock->set(QDateTime(QDate(2026, 12, 10), QTime(23, 59, 39)));
        play({ 5, -1, 5 }); // timeouts at 23:59:40 and 23:59:50
        clock->set(QDateTime(QDate(2026, 12, 10), QTime(23, 59, 50)));
        frame->PingTimerTimer();
        world->echoes.replyAndProcess(-1);
        clock->set(QDateTime(QDate(2026, 12, 11), QTime(0, 0, 10)));
        frame->PingTimerTimer();
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("00:00:20"));

        frame->LastTimeoutComboBox->setCurrentIndex(1);
        QCOMPARE(frame->LastTimeoutComboBox->currentText(), QStringLiteral("23:59:40"));
        tick();
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QStringLiteral("00:00:31"));
    }

    void timeSince_spans_data()
    {
        QTest::addColumn<QTime>("timeout");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QString>("span");
        QTest::newRow("same second") << QTime(12, 0, 0) << QTime(12, 0, 0) << QStringLiteral("00:00:00");
        QTest::newRow("part seconds are cut") << QTime(12, 0, 0) << QTime(12, 0, 1, 999) << QStringLiteral("00:00:01");
        QTest::newRow("hours, minutes, seconds") << QTime(8, 15, 30) << QTime(19, 47, 5) << QStringLiteral("11:31:35");
        QTest::newRow("over midnight") << QTime(23, 59, 50) << QTime(0, 0, 10) << QStringLiteral("00:00:20");
        QTest::newRow("from midnight") << QTime(0, 0, 0) << QTime(23, 59, 59) << QStringLiteral("23:59:59");
        QTest::newRow("now earlier in the day") << QTime(12, 0, 10) << QTime(12, 0, 5) << QStringLiteral("23:59:55");
        QTest::newRow("evening to morning") << QTime(22, 30, 0) << QTime(6, 45, 15) << QStringLiteral("08:15:15");
    }
    void timeSince_spans()
    {
        QFETCH(QTime, timeout);
        QFETCH(QTime, now);
        QFETCH(QString, span);
        QCOMPARE(TPingFrame::TimeSince(timeout, now), span);
    }

    void timeSince_textThatIsNoTime_stillEndsTheCycle()
    {
        play({ 5, -1 });
        frame->LastTimeoutComboBox->setEditText(QStringLiteral("banana"));
        tick();
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->TimeSinceLastTimeoutLbl->text(), QString());
        QCOMPARE(frame->ThreadInProgressLbl->text(), QStringLiteral("-"));
        QVERIFY(frame->PingTimer->isActive());
    }

    void topBar_givesWayInOrder_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("rtts");
        QTest::addColumn<bool>("statusShown");
        QTest::addColumn<bool>("addressShown");
        QTest::addColumn<bool>("roomForHost");
        const QList<int> wide { 1001, 3999, 2500 }, narrow { 1, 3, 2 };
        QTest::newRow("wide 800") << 800 << wide << true << true << true;
        // The host edit gives up its room for the widest address, down to its designed width,
        // before the status line goes.
        QTest::newRow("one column, 480") << 480 << wide << true << true << false;
        QTest::newRow("one column, 480, short figures") << 480 << narrow << true << true << false;
        QTest::newRow("designed 454") << 454 << wide << true << false << false;
        QTest::newRow("ping window 430") << 430 << wide << true << false << false;
        QTest::newRow("ping window 430, short figures") << 430 << narrow << true << true << false;
        QTest::newRow("designed 454, short figures") << 454 << narrow << true << true << false;
        QTest::newRow("305") << 305 << wide << false << true << true;
        QTest::newRow("260") << 260 << wide << false << false << true;
        QTest::newRow("two columns, 240") << 240 << narrow << false << false << true;
        QTest::newRow("150") << 150 << narrow << false << false << false;
    }
    void topBar_givesWayInOrder()
    {
        QFETCH(int, width);
        QFETCH(QList<int>, rtts);
        QFETCH(bool, statusShown);
        QFETCH(bool, addressShown);
        QFETCH(bool, roomForHost);
        QWidget board;
        board.resize(800, 200);
        board.show();
        auto *f = new TPingFrame(&board);
        f->setGeometry(0, 0, width, TPingFrame::kDesignedHeight);
        f->show();
        feed(f, rtts);
        QCOMPARE(!f->StatusLbl->isHidden(), statusShown);
        QCOMPARE(!f->IPAddressLbl->isHidden(), addressShown);
        checkTopBar(f, roomForHost);
        if (QTest::currentTestFailed())
            return;

        feed(f, { 4000 }); // longer figures: the status line never shows them cut
        QCOMPARE(f->StatusLbl->text().right(10), QStringLiteral("High: 4000"));
        checkTopBar(f, roomForHost);
        if (QTest::currentTestFailed())
            return;

        f->setGeometry(0, 0, 800, TPingFrame::kDesignedHeight);
        QVERIFY(!f->StatusLbl->isHidden());
        QVERIFY(!f->IPAddressLbl->isHidden());
        checkTopBar(f, true);
    }

    // Ordinary hosts at the designed sizes: a name whose text needs less than the edit's room
    // for the widest address gives that room to the address before the address hides; a host
    // text as wide as the address keeps its own text whole and the address goes.
    void topBar_hostEditGivesWayToItsText_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QList<int>>("rtts");
        QTest::addColumn<bool>("addressShown");
        const QList<int> ordinary { 12, 103, 250 }, short_ { 1, 3, 2 };
        QTest::newRow("designed 454, a short name") << 454 << QStringLiteral("nas") << ordinary << true;
        QTest::newRow("ping window 430, a name, short figures") << 430 << QStringLiteral("router") << short_ << true;
        QTest::newRow("designed 454, the address as host")
            << 454 << QStringLiteral("192.168.100.200") << ordinary << false;
    }
    void topBar_hostEditGivesWayToItsText()
    {
        QFETCH(int, width);
        QFETCH(QString, host);
        QFETCH(QList<int>, rtts);
        QFETCH(bool, addressShown);
        QWidget board;
        board.resize(800, 200);
        board.show();
        auto *f = new TPingFrame(&board);
        f->setGeometry(0, 0, width, TPingFrame::kDesignedHeight);
        f->show();
        f->HostEdit->setText(host);
        f->SetDown(true);
        f->ContinuousPingSpdBtnClick();
        for (int i = 0; i < rtts.size(); ++i) {
            if (i > 0) {
                clock->advance(1000);
                f->PingTimerTimer();
            }
            world->resolver.answer(0, { QStringLiteral("192.168.100.200") });
            QTRY_COMPARE(world->echoes.count(), 1u);
            world->echoes.replyAndProcess(rtts[i]);
        }
        QCOMPARE(f->IPAddressLbl->text(), QStringLiteral("192.168.100.200"));
        QVERIFY(!f->StatusLbl->isHidden());
        QCOMPARE(!f->IPAddressLbl->isHidden(), addressShown);
        checkTopBar(f, false);
        QVERIFY2(
            textRoom(f->HostEdit) >= advance(f->HostEdit, host), qPrintable(QString::number(textRoom(f->HostEdit))));
        f->SetDown(false);
        f->ContinuousPingSpdBtnClick();
    }

    // Loss and jitter follow the most recent results, as many as the chart keeps: a host
    // down from the start shows 100 % although its chart has no point.
    void lossAndJitter_overTheChartedNumberOfResults()
    {
        play({ -1, -1, -1 });
        QCOMPARE(frame->PingChart->Count(), 0);
        QCOMPARE(frame->LossJitterLbl->text(), QStringLiteral("Loss: 100.0 %\nJitter: -"));
        frame->SpinEdit->setValue(5);
        for (int rtt : { 10, 14, 12, 12 }) {
            tick();
            world->echoes.replyAndProcess(rtt);
        }
        // The last five: t 10 14 12 12.
        QCOMPARE(frame->StatusLbl->toolTip(), QStringLiteral("Loss: 20.0 %  Jitter: 2 ms"));
        QCOMPARE(frame->LossJitterLbl->text(), QStringLiteral("Loss: 20.0 %\nJitter: 2 ms"));
        // The widest figures still fit the narrow details panel, line by line.
        frame->BottomRightPanel->show();
        frame->resize(TPingFrame::kDesignedWidth, 222);
        QCoreApplication::processEvents();
        for (const QString &line :
            { QStringLiteral("Loss: 100.0 %"), QStringLiteral("Jitter: 3999 ms"), QStringLiteral("Jitter: 99.5 ms") })
            QVERIFY2(frame->LossJitterLbl->contentsRect().width()
                    >= frame->LossJitterLbl->fontMetrics().horizontalAdvance(line),
                qPrintable(line));
        frame->ClearChartPnlClick();
        tick();
        world->echoes.replyAndProcess(30);
        QCOMPARE(frame->StatusLbl->toolTip(), QStringLiteral("Loss: 0.0 %  Jitter: -")); // "C" starts afresh
    }

    void detailRows_dropFromTheBottom_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("rows");
        QTest::newRow("one frame, 222") << 222 << 5;
        QTest::newRow("designed 109") << 109 << 5;
        QTest::newRow("80") << 80 << 3;
        QTest::newRow("70") << 70 << 2;
        QTest::newRow("four frames, 55") << 55 << 1;
        QTest::newRow("eight frames, 27: a compact row") << 27 << 0;
    }
    void detailRows_dropFromTheBottom()
    {
        QFETCH(int, height);
        QFETCH(int, rows);
        QWidget board;
        board.resize(500, 250);
        board.show();
        auto *f = new TPingFrame(&board);
        f->setGeometry(0, 0, 480, height);
        f->BottomRightPanel->show();
        f->show();
        feed(f, { 12, -1, 14 });
        // In the order they give way from the end: loss and jitter first, then points, ...
        const QList<QWidget *> all { f->TimeoutsLbl, f->LastTimeoutComboBox, f->TimeSinceLastTimeoutLbl, f->PointsLbl,
            f->LossJitterLbl };
        QString shown;
        for (QWidget *w : all)
            shown += w->isVisibleTo(f) ? u'+' : u'-';
        QCOMPARE(shown, QString(rows, u'+') + QString(all.size() - rows, u'-'));
        checkDetailRows(f);
        if (QTest::currentTestFailed())
            return;

        f->setGeometry(0, 0, 480, 222);
        for (QWidget *row : all)
            QVERIFY(!row->isHidden());
        checkDetailRows(f);
    }

    // Once a frame shows its first figures, a result repaints it but never makes its
    // parents lay it out again: no layout request may be posted for the frame or anything
    // in it, whatever the result, in a tall or short frame, with or without the details.
    void steadyResults_askForNoLayout_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("details");
        QTest::newRow("designed, details") << 109 << true;
        QTest::newRow("designed, no details") << 109 << false;
        QTest::newRow("tall, details") << 222 << true;
        QTest::newRow("short, details") << 55 << true;
    }
    void steadyResults_askForNoLayout()
    {
        QFETCH(int, height);
        QFETCH(bool, details);
        QWidget board;
        board.resize(500, 250);
        auto *boardLayout = new QVBoxLayout(&board);
        boardLayout->setContentsMargins(0, 0, 0, 0);
        auto *f = new TPingFrame(&board);
        f->setFixedHeight(height);
        boardLayout->addWidget(f);
        boardLayout->addStretch(1);
        f->BottomRightPanel->setVisible(details);
        board.show();
        QVERIFY(QTest::qWaitForWindowExposed(&board));
        // The first results bring an address, a timeout, and figures as wide as they get here.
        feed(f, { 1, -1, 3999 });
        QCoreApplication::processEvents();

        struct LayoutCounter : QObject
        {
            QWidget *frame = nullptr;
            QStringList asked;
            bool eventFilter(QObject *o, QEvent *e) override
            {
                if (e->type() == QEvent::LayoutRequest && o->isWidgetType()) {
                    auto *w = static_cast<QWidget *>(o);
                    if (w == frame || frame->isAncestorOf(w) || w->isAncestorOf(frame))
                        asked.append(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                               : w->objectName());
                }
                return false;
            }
        } counter;
        counter.frame = f;
        f->SetDown(true);
        f->ContinuousPingSpdBtnClick();
        // Let the layouts asked for so far settle: each pass may ask for its parent's.
        for (int level = 0; level < 5; ++level)
            QCoreApplication::sendPostedEvents();
        qApp->installEventFilter(&counter);
        // Replies of many widths, timeouts, an answer from a router, and a long run of points.
        const QList<int> results { 1, 3999, -1, 250, -2, 7, -1, -1, 80, 1000, 2, 45, 3, 3, 3, 3, 3, 3, 3, 3 };
        for (int i = 0; i < results.size(); ++i) {
            if (i > 0) {
                clock->advance(1000);
                f->PingTimerTimer();
            }
            const int r = results[i];
            world->echoes.replyAndProcess(r == -2 ? 5 : r, r == -2 ? QStringLiteral("10.9.9.9") : QString());
        }
        QCoreApplication::processEvents();
        qApp->removeEventFilter(&counter);
        counter.asked.removeDuplicates();
        QVERIFY2(counter.asked.isEmpty(), qPrintable(counter.asked.join(QStringLiteral(", "))));
        QCOMPARE(f->PointsLbl->text(), QStringLiteral("Points: 23"));
    }

    // The labels paint their own background, so that a new text repaints them alone: it is
    // the background they sit on, also in a window whose background is not the usual one.
    void labels_takeTheBackgroundTheySitOn()
    {
        QWidget window;
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, QColor(20, 40, 200));
        pal.setColor(QPalette::Button, QColor(200, 180, 20));
        window.setPalette(pal);
        window.setBackgroundRole(QPalette::Button);
        window.setAutoFillBackground(true);
        window.resize(TPingFrame::kDesignedWidth, 222);
        auto *f = new TPingFrame(&window);
        f->setGeometry(window.rect());
        f->BottomRightPanel->show();
        window.show();
        feed(f, { 12, -1, 14 });
        const QImage shot = window.grab().toImage();
        for (QLabel *l : { f->StatusLbl, f->IPAddressLbl, f->TimeoutsLbl, f->PointsLbl, f->LossJitterLbl }) {
            if (l->isHidden())
                continue;
            const QPoint corner = l->mapTo(&window, QPoint(0, 0));
            QCOMPARE(QColor(shot.pixel(corner)), QColor(200, 180, 20));
        }
    }

    // The board's columns in the default window: one of 480 pixels, or two of 240 and 237,
    // 222 high, shared by 1, 4 or 8 frames. With SKYLARK_SHOTS=<folder> each case is also
    // saved as a picture there.
    void defaultWindow_showsNoCutText_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("frames");
        for (int columns : { 1, 2 })
            for (int frames : { 1, 4, 8 })
                QTest::addRow("%d-columns-%d-frames", columns, frames) << columns << frames;
    }
    void defaultWindow_showsNoCutText()
    {
        QFETCH(int, columns);
        QFETCH(int, frames);
        QWidget board;
        board.resize(480, 222);
        board.show();
        const QList<QRect> areas = columns == 1 ? QList<QRect> { QRect(0, 0, 480, 222) }
                                                : QList<QRect> { QRect(0, 0, 240, 222), QRect(243, 0, 237, 222) };
        QList<TPingFrame *> all;
        for (const QRect &area : areas) {
            const int h = area.height() / frames;
            for (int i = 0; i < frames; ++i) {
                auto *f = new TPingFrame(&board);
                f->setGeometry(area.x(), i * h, area.width(), h);
                f->BottomRightPanel->setVisible(i % 2 == 0);
                f->show();
                feed(f, { 1001, 3999, 2500, -1 });
                all.append(f);
            }
        }
        saveShot(&board, QString::fromLatin1(QTest::currentDataTag()));
        for (TPingFrame *f : all) {
            QCOMPARE(f->StatusLbl->text(), QStringLiteral("Low: 1001  Avg: 2500  High: 3999"));
            checkTopBar(f, f->StatusLbl->isHidden()); // the host edit gives way to the status line
            if (!f->BottomRightPanel->isHidden())
                checkDetailRows(f);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // The next cycle is due about a second after the result, on a 20 ms step of the clock.
    void rearm_aboutASecondOnA20msStep()
    {
        start();
        for (int rtt : { 5, 7, 9 }) {
            if (rtt != 5)
                tick();
            world->echoes.replyAndProcess(rtt);
            QVERIFY(frame->PingTimer->isActive());
            const int left = frame->PingTimer->remainingTime();
            const qint64 due = QDeadlineTimer::current(Qt::PreciseTimer).deadline() + left;
            QVERIFY2(left > 900 && left <= 1000, qPrintable(QString::number(left)));
            QVERIFY2(due % 20 <= 2 || due % 20 >= 18, qPrintable(QString::number(due % 20)));
        }
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
        play({ 5 });
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
        play({ 5 });
        stop();
        start(QStringLiteral("no-such.example"));
        QCOMPARE(world->resolver.asked, QStringList { QStringLiteral("no-such.example") });
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
        QCOMPARE(world->errors.messages, QStringList { QStringLiteral("DNS lookup: invalid host name.") });
    }

    // A "C" clicked while stopped clears the chart at the next timer tick, never in the first
    // cycle of a start, also when the start waits for its turn (a board starting many at once).
    void clearChart_whileStopped_waitsForTheSecondCycle_data()
    {
        QTest::addColumn<int>("startDelayMs");
        QTest::newRow("started at once") << 0;
        QTest::newRow("started in its turn") << 5;
    }
    void clearChart_whileStopped_waitsForTheSecondCycle()
    {
        QFETCH(int, startDelayMs);
        play({ 5, 6 });
        stop();
        frame->PingTimer->stop();
        QTest::mouseClick(frame->ClearChartPnl, Qt::LeftButton);
        QCOMPARE(frame->PingChart->Count(), 2);
        if (startDelayMs > 0) {
            frame->StartDelayed(startDelayMs);
            QVERIFY(frame->Running());
            QCOMPARE(world->echoes.count(), 0u);
            QTRY_COMPARE(world->echoes.count(), 1u);
        } else {
            start();
        }
        QCOMPARE(frame->PingChart->Count(), 2);
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
        play({ 5, -1, -1 });
        QTest::mousePress(frame->TimeoutsLbl, Qt::MouseButton(button), shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(frame->LastTimeoutComboBox->count(), items);
        QCOMPARE(frame->TimeoutsLbl->text(), QStringLiteral("Timeouts: %1").arg(items));
        if (items == 0)
            QCOMPARE(frame->LastTimeoutComboBox->currentText(), QStringLiteral("00:00:00"));
        QCOMPARE(frame->TimeoutMarked(), marked);
    }

    void toggle_twiceShowsThenHidesPanelAndSplitter()
    {
        play({ -1, 5 });
        QVERIFY(frame->TimeoutMarked());
        QTest::mouseClick(frame->ToggleBRPnl, Qt::LeftButton);
        QVERIFY(!frame->BottomRightPanel->isHidden());
        QVERIFY(!frame->Splitter->isHidden());
        QVERIFY(!frame->TimeoutMarked());
        QTest::mouseClick(frame->ToggleBRPnl, Qt::LeftButton);
        QVERIFY(frame->BottomRightPanel->isHidden());
        QVERIFY(frame->Splitter->isHidden());
    }

    // The details panel never shows without the splitter that sizes it, whoever shows it:
    // the toggle, a setup (the board, a session) or a caller setting it directly; the frame
    // shown or not yet.
    void splitter_comesAndGoesWithTheDetails_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<bool>("shown");
        for (const char *caller : { "toggle", "setup", "direct" })
            for (bool shown : { true, false })
                QTest::addRow("%s, frame %s", caller, shown ? "shown" : "not yet shown")
                    << QString::fromLatin1(caller) << shown;
    }
    void splitter_comesAndGoesWithTheDetails()
    {
        QFETCH(QString, caller);
        QFETCH(bool, shown);
        TPingFrame f;
        if (shown)
            f.show();
        for (bool details : { true, false, true }) {
            if (caller == QStringLiteral("toggle")) {
                f.ToggleBRPnlClick();
            } else if (caller == QStringLiteral("setup")) {
                TPingFrame::Setup s = f.setup();
                s.details = details;
                f.applySetup(s);
            } else {
                f.BottomRightPanel->setVisible(details);
            }
            QCOMPARE(f.BottomRightPanel->isVisibleTo(&f), details);
            QCOMPARE(f.Splitter->isVisibleTo(&f), details);
        }
        f.show();
        QVERIFY(f.Splitter->isVisible());
        QVERIFY(f.Splitter->geometry().right() < f.BottomRightPanel->x());
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

    // The stripe follows the state: waiting, up, degraded, down, stopped; the tooltip and the
    // accessible description say it in words.
    void stripe_followsTheState()
    {
        using S = HostState::State;
        QCOMPARE(frame->State(), S::Stopped);
        QCOMPARE(stripePixel(frame.get()), stateColour(S::Stopped, frame.get()));
        start();
        QCOMPARE(frame->State(), S::Waiting);
        const QList<std::pair<int, S>> script { { 5, S::Up }, { 6, S::Up }, { -1, S::Degraded }, { -2, S::Degraded },
            { -1, S::Down }, { 7, S::Degraded } };
        for (const auto &[rtt, expected] : script) {
            if (rtt != 5)
                tick();
            world->echoes.replyAndProcess(rtt == -2 ? 5 : rtt, rtt == -2 ? QStringLiteral("10.9.9.9") : QString());
            QCOMPARE(frame->State(), expected);
            QCOMPARE(stripePixel(frame.get()), stateColour(expected, frame.get()));
            QCOMPARE(frame->toolTip().section(QLatin1Char('\n'), 0, 0),
                QStringLiteral("State: ") + HostState::words(expected));
            QCOMPARE(frame->accessibleDescription(), QStringLiteral("State: ") + HostState::words(expected));
        }
        stop();
        QCOMPARE(frame->State(), S::Stopped);
        QCOMPARE(frame->accessibleDescription(), QStringLiteral("State: stopped"));
    }

    // A host that never answered is down from its first timeout, though its chart is empty.
    void silentHost_downAtItsFirstTimeout()
    {
        play({ -1 });
        QCOMPARE(frame->PingChart->Count(), 0);
        QCOMPARE(frame->State(), HostState::State::Down);
        QCOMPARE(stripePixel(frame.get()), stateColour(HostState::State::Down, frame.get()));
    }

    // A failed lookup shows on the stripe, says so once, and leaves no figures behind.
    void lookupFailure_isVisible()
    {
        play({ 5, -1 });
        stop();
        QSignalSpy failed(frame.get(), &TPingFrame::LookupFailed);
        start(QStringLiteral("no-such.example branch office"));
        QCOMPARE(world->resolver.asked, QStringList { QStringLiteral("no-such.example") });
        world->resolver.answer(11001);
        QTRY_COMPARE(frame->IPAddressLbl->text(), QStringLiteral("DNS Error!"));
        QCOMPARE(frame->State(), HostState::State::LookupFailed);
        QCOMPARE(stripePixel(frame.get()), stateColour(HostState::State::LookupFailed, frame.get()));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("no-such.example branch office"));
        QCOMPARE(frame->LossJitterLbl->text(), QStringLiteral("Loss: -\nJitter: -"));
        QCOMPARE(frame->StatusLbl->toolTip(), QStringLiteral("Loss: -  Jitter: -"));
        // The next start tries again and forgets the failure.
        start(kHost);
        QCOMPARE(frame->State(), HostState::State::Waiting);
    }

    // The first word of a host text is pinged, the rest is its label; the text stays whole.
    void labelledHost_pingsTheFirstWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("address and label") << "10.1.1.1 core router" << QStringList();
        QTest::newRow("name and label, tab")
            << "gw.example\toffice gateway" << QStringList { QStringLiteral("gw.example") };
        QTest::newRow("name alone") << "gw.example" << QStringList { QStringLiteral("gw.example") };
    }
    void labelledHost_pingsTheFirstWord()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, asked);
        QSignalSpy results(frame.get(), &TPingFrame::ResultProcessed);
        start(text);
        QCOMPARE(world->resolver.asked, asked);
        if (!asked.isEmpty())
            world->resolver.answer(0, { kHost });
        QTRY_COMPARE(world->echoes.count(), 1u);
        QCOMPARE(world->echoes.pending.front()->PingHostName, kHost);
        world->echoes.replyAndProcess(5);
        QCOMPARE(frame->HostEdit->text(), text);
        // The running edit shows the start of the text, the address, however long the label.
        QCOMPARE(frame->HostEdit->cursorPosition(), 0);
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.at(0).at(0).value<EchoOutcome>().host, text);
        QCOMPARE(frame->State(), HostState::State::Up);
    }

    // While it runs, the host edit takes no input but its text stays as readable as any
    // other: at least 4.5 : 1 against its background, in each of the three looks.
    void runningHostName_readableInEveryStyle_data()
    {
        QTest::addColumn<QString>("style");
        for (const QString &name : SkylarkStyles::names())
            QTest::newRow(qPrintable(name)) << name;
    }
    void runningHostName_readableInEveryStyle()
    {
        QFETCH(QString, style);
        QVERIFY(SkylarkStyles::apply(style));
        auto restore = qScopeGuard([] { SkylarkStyles::apply(SkylarkStyles::names().first()); });
        TPingFrame f;
        f.show();
        f.HostEdit->setText(QStringLiteral("WWWWWWWWWW"));
        f.SetDown(true);
        f.ContinuousPingSpdBtnClick();
        QVERIFY(!f.HostEdit->isEnabled());
        const QImage shot = f.HostEdit->grab().toImage();
        // The background is the colour at the middle of the left inner edge; the text is the
        // pixel that stands out most from it.
        const QColor background(shot.pixel(3, shot.height() / 2));
        double best = 1;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = shot.width() / 4; x < shot.width() * 3 / 4; ++x)
                best = std::max(best, contrast(QColor(shot.pixel(x, y)), background));
        QVERIFY2(best >= 4.5, qPrintable(QStringLiteral("contrast %1 : 1").arg(best, 0, 'f', 2)));
    }

    // In every look the stripe and the result strip stand out from the window at 3 : 1 or more
    // (WCAG 1.4.11) by their outline, whatever their fill; the fills are the look's colours.
    void stripeAndStrip_standOutInEveryStyle_data()
    {
        QTest::addColumn<QString>("style");
        for (const QString &name : SkylarkStyles::names())
            QTest::newRow(qPrintable(name)) << name;
    }
    void stripeAndStrip_standOutInEveryStyle()
    {
        QFETCH(QString, style);
        QVERIFY(SkylarkStyles::apply(style));
        auto restore = qScopeGuard([] { SkylarkStyles::apply(SkylarkStyles::names().first()); });
        QWidget board;
        board.resize(500, 200);
        board.show();
        auto *full = new TPingFrame(&board);
        full->setGeometry(0, 0, 480, TPingFrame::kDesignedHeight);
        auto *row = new TPingFrame(&board);
        row->setGeometry(0, 120, 480, row->CompactThreshold() - 1);
        // Running and degraded: the light look's yellow is the palest fill.
        for (TPingFrame *f : { full, row }) {
            f->show();
            f->HostEdit->setText(kWideHost);
            f->SetDown(true);
            f->ContinuousPingSpdBtnClick();
            for (int rtt : { 5, 20, -1 }) {
                if (rtt != 5) {
                    clock->advance(1000);
                    f->PingTimerTimer();
                }
                world->echoes.replyAndProcess(rtt);
            }
            QCOMPARE(f->State(), HostState::State::Degraded);
        }
        QVERIFY(row->Compact());
        const QColor window = board.palette().color(QPalette::Window);
        const bool dark = window.lightness() < 128;
        const QImage shot = board.grab().toImage();
        auto at = [&](QWidget *w, QPoint p) { return QColor(shot.pixel(w->mapTo(&board, p))); };
        auto standsOut = [&](const QColor &c, const char *what) {
            const double ratio = contrast(c, window);
            QVERIFY2(ratio >= 3,
                qPrintable(QStringLiteral("%1: %2 on %3, %4 : 1")
                               .arg(QString::fromLatin1(what), c.name(), window.name())
                               .arg(ratio, 0, 'f', 2)));
        };
        for (TPingFrame *f : { full, row }) {
            const int x = f->contentsRect().left(), y = f->height() / 2;
            standsOut(at(f, QPoint(x, y)), "stripe outline");
            QCOMPARE(at(f, QPoint(x + 1, y)), stateColour(f->State(), f));
        }
        auto *compact = row->findChild<TCompactRow *>();
        const QRect strip = compact->stripRect();
        standsOut(at(compact, QPoint(strip.left() - 1, strip.center().y())), "strip outline");
        standsOut(at(compact, QPoint(strip.right() + 1, strip.center().y())), "strip outline");
        QCOMPARE(at(compact, QPoint(strip.right(), strip.center().y())), // the newest result
            QColor::fromRgb(QRgb(CompactRow::cellColour(EchoOutcome::Timeout, 0, 20, dark))));
    }

    // A frame too short for its bar and a chart draws one row: the stripe, the host with its
    // label, the figures and a strip of the recent results, newest at the right; tall
    // enough again, it shows its controls as before.
    void compactRow_stripOfRecentResults()
    {
        QWidget board;
        board.resize(500, 250);
        board.show();
        auto *f = new TPingFrame(&board);
        const int threshold = f->CompactThreshold();
        QVERIFY(threshold >= 30 && threshold <= 50);
        f->setGeometry(0, 0, 480, threshold);
        f->show();
        QVERIFY(!f->Compact());
        f->SpinEdit->setValue(20);
        f->setGeometry(0, 0, 480, threshold - 1);
        QVERIFY(f->Compact());
        QVERIFY(f->TopPanel->isHidden());
        f->HostEdit->setText(kWideHost + QStringLiteral(" core router"));
        f->SetDown(true);
        f->ContinuousPingSpdBtnClick();
        const QList<int> results { 10, 20, -1, 40, -2, 40 };
        for (int i = 0; i < results.size(); ++i) {
            if (i > 0) {
                clock->advance(1000);
                f->PingTimerTimer();
            }
            const int r = results[i];
            world->echoes.replyAndProcess(r == -2 ? 5 : r, r == -2 ? QStringLiteral("10.9.9.9") : QString());
        }
        QVERIFY(f->toolTip().startsWith(kWideHost + QStringLiteral(" (core router)\n")));
        QVERIFY(f->toolTip().contains(QStringLiteral("Low: 10  Avg: 28  High: 40")));
        QVERIFY(f->toolTip().contains(QStringLiteral("Loss: 33.3 %")));
        QVERIFY(f->toolTip().contains(QStringLiteral("Last timeout: ")));
        auto *row = f->findChild<TCompactRow *>();
        QVERIFY(row);
        const QRect strip = row->stripRect();
        QVERIFY(strip.width() >= 20);
        const int cell = strip.width() / 20;
        const QImage shot = row->grab().toImage();
        auto cellColour = [&](int fromRight) {
            return QColor(shot.pixel(strip.right() - fromRight * cell - cell / 2, strip.center().y()));
        };
        const bool dark = f->palette().color(QPalette::Window).lightness() < 128;
        auto expected = [dark](EchoOutcome::Kind kind, int rtt) {
            return QColor::fromRgb(QRgb(CompactRow::cellColour(kind, rtt, 40, dark)));
        };
        QCOMPARE(cellColour(1), expected(EchoOutcome::Foreign, 5));
        QCOMPARE(cellColour(3), expected(EchoOutcome::Timeout, 0));
        QCOMPARE(cellColour(0), expected(EchoOutcome::Reply, 40));
        QCOMPARE(cellColour(5), expected(EchoOutcome::Reply, 10));
        QVERIFY(cellColour(5).lightness() > cellColour(0).lightness()); // 10 ms lighter than 40 ms
        QCOMPARE(cellColour(6), f->palette().color(QPalette::Window)); // no result yet
        QCOMPARE(stripePixel(f), stateColour(HostState::State::Degraded, f));

        f->setGeometry(0, 0, 480, TPingFrame::kDesignedHeight);
        QVERIFY(!f->Compact());
        QVERIFY(row->isHidden());
        QVERIFY(!f->TopPanel->isHidden());
        QCOMPARE(f->StatusLbl->text(), QStringLiteral("Low: 10  Avg: 28  High: 40"));
        checkTopBar(f, true);
    }

    // On a board of compact rows a result repaints its own row (and its stripe when the
    // state changes), never another row, another frame or the board.
    void compactRow_resultRepaintsOnlyItsRow()
    {
        QWidget board;
        board.resize(500, 100);
        TPingFrame *frames[2];
        for (int i = 0; i < 2; ++i) {
            frames[i] = new TPingFrame(&board);
            frames[i]->setGeometry(0, i * 12, 480, 12);
        }
        board.show();
        QVERIFY(QTest::qWaitForWindowExposed(&board));
        feed(frames[1], { 4, 5 });
        frames[0]->HostEdit->setText(kHost);
        frames[0]->SetDown(true);
        frames[0]->ContinuousPingSpdBtnClick();
        world->echoes.replyAndProcess(4);
        clock->advance(1000);
        frames[0]->PingTimerTimer();
        QVERIFY(frames[0]->Compact() && frames[1]->Compact());
        QTest::qWait(30);

        struct PaintCounter : QObject
        {
            QStringList painted;
            QWidget *mine = nullptr;
            bool eventFilter(QObject *o, QEvent *e) override
            {
                if (e->type() == QEvent::Paint) {
                    auto *w = static_cast<QWidget *>(o);
                    painted.append((mine->isAncestorOf(w) ? QStringLiteral("mine:") : QStringLiteral("other:"))
                        + (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                     : w->objectName()));
                }
                return false;
            }
        } counter;
        counter.mine = frames[0];
        qApp->installEventFilter(&counter);
        world->echoes.replyAndProcess(6);
        QTest::qWait(30);
        qApp->removeEventFilter(&counter);
        counter.painted.removeDuplicates();
        QCOMPARE(counter.painted, QStringList { QStringLiteral("mine:CompactRow") });
    }

    // The row takes no clicks of its own: the frame's popup menu opens over it.
    void compactRow_leavesClicksToTheFrame()
    {
        QWidget board;
        board.resize(500, 250);
        board.show();
        auto *f = new TPingFrame(&board);
        f->setGeometry(0, 0, 480, 20);
        f->show();
        QVERIFY(f->Compact());
        const auto *row = f->findChild<TCompactRow *>();
        QVERIFY(row->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(board.childAt(f->geometry().center()), f);
    }

    // While a result's event pass runs, the frame still shows "+" with the new figures and
    // no cycle armed; another event freeing it then ends the result quietly.
    void freedDuringItsResultsEventPass_endsQuietly()
    {
        start();
        QStringList seen;
        // Posted when the result is processed, so that the frame's own event pass runs it.
        connect(frame.get(), &TPingFrame::ResultProcessed, this, [&] {
            QMetaObject::invokeMethod(
                this,
                [&] {
                    seen << frame->ThreadInProgressLbl->text() << frame->PointsLbl->text()
                         << QString::number(frame->InTerminateHandler())
                         << QString::number(frame->PingTimer->isActive());
                    frame.reset();
                },
                Qt::QueuedConnection);
        });
        world->echoes.replyAndProcess(5);
        QCOMPARE(seen,
            (QStringList {
                QStringLiteral("+"), QStringLiteral("Points: 1"), QStringLiteral("1"), QStringLiteral("0") }));
        QVERIFY(!frame);
        QTest::qWait(1100);
        QCOMPARE(world->echoes.count(), 0u);
    }

    // Watchers may follow the probe itself: it reports what the frame's signals report.
    void probeSignals_carryWhatTheFramesDo()
    {
        QSignalSpy frameResults(frame.get(), &TPingFrame::ResultProcessed);
        QSignalSpy probeResults(frame->Probe(), &HostProbe::resultProcessed);
        QSignalSpy frameFailed(frame.get(), &TPingFrame::LookupFailed);
        QSignalSpy probeFailed(frame->Probe(), &HostProbe::lookupFailed);
        QCOMPARE(frame->findChild<QTimer *>(QStringLiteral("PingTimer")), frame->PingTimer);
        QCOMPARE(frame->PingTimer->parent(), frame->Probe());
        play({ 5, -1 });
        QCOMPARE(probeResults.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const auto a = frameResults.at(i).at(0).value<EchoOutcome>();
            const auto b = probeResults.at(i).at(0).value<EchoOutcome>();
            QCOMPARE(a.kind, b.kind);
            QCOMPARE(a.when, b.when);
            QCOMPARE(a.host, b.host);
            QCOMPARE(a.target, b.target);
        }
        stop();
        frame->PingTimer->stop();
        start(QStringLiteral("no-such.example"));
        world->resolver.answer(11001);
        QTRY_COMPARE(frameFailed.size(), 1);
        QCOMPARE(probeFailed.size(), 1);
        QCOMPARE(probeFailed.at(0).at(1).toString(), frameFailed.at(0).at(0).toString());
    }

    void freedWithEchoInFlightOrLookupPending_dropsCompletions()
    {
        start();
        frame->PingTimer->stop();
        stop();
        start(QStringLiteral("pending.example"));
        frame.reset();
        world->echoes.replyAndProcess(5);
        QVERIFY2(!world->echoes.lastDelivered, "a result was handed to a freed frame");
        world->resolver.answer(0, { kHost });
        QTest::qWait(20);
        QCOMPARE(world->echoes.count(), 0u); // the late lookup started nothing
    }
};

QTEST_MAIN(TestPingFrame)
#include "tst_pingframe.moc"
