// A board too full for its frames shows one table of its hosts: 150 hosts in a 1920 x 1080
// window, 50 of them silent, every host readable, counted, sorted and filtered.
#include "frameboard.h"
#include "hostoverview.h"
#include "hostprobe.h"
#include "hostsummarybar.h"
#include "hosttablemodel.h"
#include "mainform.h"
#include "pingframe.h"
#include "pingthread.h"
#include "popupmenu.h"
#include "scripted.h"
#include "timingdialog.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// Runs rounds of echoes on every frame of column 1: a host whose number is in `silent` never
// answers.
void rounds(ScriptedWorld &world, PinnedClock &clock, const QList<TPingFrame *> &frames, int count,
    const std::function<bool(int)> &silent)
{
    for (int round = 0; round < count; ++round) {
        clock.advance(1000);
        for (TPingFrame *f : frames)
            if (!f->InFlight()) {
                f->PingTimer->stop();
                f->PingTimerTimer();
            }
        const size_t pending = world.echoes.count();
        for (size_t k = 0; k < pending; ++k) {
            const int i = world.echoes.pending.front()->PingHostName.section(QLatin1Char('.'), 3).toInt() - 1;
            world.echoes.replyAndProcess(silent(i) ? -1 : 5 + i % 7);
        }
    }
    QCoreApplication::processEvents();
}

} // namespace

class TestOverview : public QObject
{
    Q_OBJECT
private slots:
    void board150_readableCountedSortedFiltered()
    {
        ScriptedWorld world;
        PinnedClock clock;
        auto form = makeMainForm();
        form->resize(1920, 1080);
        for (int i = 0; i < 150; ++i)
            form->AddHostFrame(QStringLiteral("10.2.0.%1 host%2").arg(i + 1).arg(i, 3, 10, QLatin1Char('0')), true);
        const QList<TPingFrame *> frames = form->Board->ColumnFrames1;
        QCOMPARE(frames.size(), 150);
        const auto silent = [](int i) { return i % 3 == 2; };
        rounds(world, clock, frames, 4, silent);

        QVERIFY(form->Board->showsOverview(1));
        THostOverview *overview = form->Board->overview(1);
        QVERIFY(overview->isVisible());
        QVERIFY(!frames.first()->isVisible());
        auto *bar = form->findChild<THostSummaryBar *>(QStringLiteral("HostSummaryBar"));
        QVERIFY(bar && bar->isVisible());
        bar->refresh();
        QCOMPARE(bar->text(), QStringLiteral("150 hosts · 50 down"));

        // Every row is a line of text tall, and every host is on screen or a scroll away.
        QTableView *view = overview->view();
        const int line = view->fontMetrics().height();
        QVERIFY(view->verticalHeader()->defaultSectionSize() >= line);
        QCOMPARE(view->model()->rowCount(), 150);
        const QImage shot = form->grab().toImage();
        const QString dir = qEnvironmentVariable("SKYLARK_SHOTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            shot.save(dir + QStringLiteral("/overview150.png"));
        const int hostColumnWidth = view->columnWidth(HostTableModel::Host);
        for (int r = 0; r < 150; ++r) {
            const QModelIndex i = view->model()->index(r, HostTableModel::Host);
            QVERIFY(view->fontMetrics().horizontalAdvance(i.data().toString()) < hostColumnWidth);
        }
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        view->scrollTo(view->model()->index(149, 0));
        QVERIFY(view->viewport()->rect().intersects(view->visualRect(view->model()->index(149, 0))));

        // The state chip carries the state's colour; a silent host's row reads "down".
        const QModelIndex top = view->model()->index(view->rowAt(0), HostTableModel::State);
        const QRect chip = view->visualRect(top);
        const QColor chipColour(
            shot.pixel(view->viewport()->mapTo(form.get(), chip.topLeft() + QPoint(4, chip.height() / 2))));
        const auto state = HostState::State(top.data(HostTableModel::StateRole).toInt());
        QCOMPARE(chipColour, QColor::fromRgb(HostState::colour(state, false)));

        // Problems first puts the 50 silent hosts on top, in the board's order among themselves.
        view->sortByColumn(HostTableModel::State, Qt::AscendingOrder);
        for (int r = 0; r < 50; ++r)
            QCOMPARE(view->model()->index(r, HostTableModel::State).data().toString(), QStringLiteral("down"));
        QCOMPARE(view->model()->index(0, HostTableModel::Label).data().toString(), QStringLiteral("host002"));
        QCOMPARE(view->model()->index(50, HostTableModel::State).data().toString(), QStringLiteral("up"));
        // The board keeps its own order.
        QCOMPARE(frames.at(0)->objectName(), QStringLiteral("PingFrame_0"));
        QCOMPARE(form->Board->ColumnFrames1.at(2), frames.at(2));

        // Activating the count of down hosts shows only them; again shows all.
        emit bar->summaryLabel()->linkActivated(QStringLiteral("state:%1").arg(int(HostState::State::Down)));
        QCOMPARE(view->model()->rowCount(), 50);
        emit bar->summaryLabel()->linkActivated(QStringLiteral("state:%1").arg(int(HostState::State::Down)));
        QCOMPARE(view->model()->rowCount(), 150);
        // The filter field matches host, label and address.
        bar->filterEdit()->setText(QStringLiteral("host01"));
        QCOMPARE(view->model()->rowCount(), 10);
        bar->filterEdit()->setText(QStringLiteral("10.2.0.15"));
        QCOMPARE(view->model()->rowCount(), 2); // .15 and .150
        bar->filterEdit()->clear();

        // A row takes the focus; Enter does what the frame's Start/Stop button does.
        view->setFocus();
        view->setCurrentIndex(view->model()->index(0, HostTableModel::Host));
        HostProbe *probe = overview->currentProbe();
        TPingFrame *f = form->Board->frameOf(probe);
        QVERIFY(f && f->ContinuousPingSpdBtn->isChecked());
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(!f->ContinuousPingSpdBtn->isChecked());

        // Fewer frames fit again: the frames come back, nothing lost.
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        // Stopped first, their last echoes answered: a removal then has nothing to wait for.
        form->Board->stopAll();
        while (world.echoes.count() > 0)
            world.echoes.replyAndProcess(5);
        while (form->Board->ColumnFrames1.size() > 5)
            form->Board->removeFrame(1, form->Board->ColumnFrames1.last());
        QVERIFY(!form->Board->showsOverview(1));
        for (TPingFrame *kept : std::as_const(form->Board->ColumnFrames1))
            QVERIFY(kept->isVisible());
        bar->refresh();
        QVERIFY(bar->text().startsWith(QStringLiteral("5 hosts")));
        form->close();
    }

    // The popup menu of a row is its frame's.
    void rowMenu_isTheFramesMenu()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->resize(1366, 768);
        for (int i = 0; i < 60; ++i)
            form->AddHostFrame(QStringLiteral("10.3.0.%1").arg(i + 1), false);
        QVERIFY(form->Board->showsOverview(1));
        QTableView *view = form->Board->overview(1)->view();
        view->setCurrentIndex(view->model()->index(7, HostTableModel::Host));
        TPingFrame *expected = form->Board->ColumnFrames1.at(7);
        auto *menu = qobject_cast<TPopupMenu *>(expected->PopupMenu);
        QVERIFY(menu);
        QPointer<QWidget> opened;
        QTimer::singleShot(100, [&] {
            opened = menu->PopupComponent;
            menu->close();
        });
        QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        QCoreApplication::sendEvent(view, &keyboard);
        QCOMPARE(opened.data(), expected);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->close();
    }

    // The frame menu's "Interval and Timeout..." rewrites the host text's words; the probe
    // follows them and keeps its identity.
    void frameMenu_editsIntervalAndTimeout()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->AddHostFrame(QStringLiteral("10.4.0.1 core router"), false);
        TPingFrame *f = form->Board->ColumnFrames1.first();
        auto *menu = qobject_cast<TPopupMenu *>(f->PopupMenu);
        auto *item = form->findChild<QAction *>(QStringLiteral("pmiIntervalTimeout"));
        QVERIFY(menu && item);
        // After the designed items; only "History..." follows it.
        QCOMPARE(menu->actions().at(menu->actions().size() - 2), item);
        QCOMPARE(menu->actions().last()->objectName(), QStringLiteral("pmiHistory"));
        QVERIFY(menu->prepareFor(f));
        const auto answer = [](const QString &interval, const QString &timeout, bool ok) {
            QTimer::singleShot(50, [=] {
                auto *d = qobject_cast<TTimingDialog *>(QApplication::activeModalWidget());
                QVERIFY(d);
                d->IntervalEdit->setText(interval);
                d->TimeoutEdit->setText(timeout);
                if (ok)
                    d->accept();
                if (d->isVisible())
                    d->reject();
            });
        };
        answer(QStringLiteral("2s"), QStringLiteral("500ms"), true);
        item->trigger();
        QCOMPARE(f->HostEdit->text(), QStringLiteral("10.4.0.1 core router interval=2s timeout=500ms"));
        QCOMPARE(f->Probe()->hostSpec().intervalMs, 2000);
        QCOMPARE(f->Probe()->hostSpec().timeoutMs, 500);
        QCOMPARE(f->Probe()->hostSpec().identity, QStringLiteral("10.4.0.1 core router"));
        QVERIFY2(f->toolTip().contains(QStringLiteral("Interval 2s, timeout 500ms")), qPrintable(f->toolTip()));
        // A value out of bounds is used at its bound, and the tooltip says so.
        f->HostEdit->setText(QStringLiteral("10.4.0.1 core router interval=10ms timeout=500ms"));
        QCOMPARE(f->Probe()->hostSpec().intervalMs, 100);
        QVERIFY2(f->toolTip().contains(QStringLiteral("interval below 100ms, 100ms used")), qPrintable(f->toolTip()));
        f->HostEdit->setText(QStringLiteral("10.4.0.1 core router interval=2s timeout=500ms"));
        // A value that does not read keeps the dialog open; Cancel then changes nothing.
        QVERIFY(menu->prepareFor(f));
        answer(QStringLiteral("fast"), QStringLiteral("1s"), true);
        item->trigger();
        QCOMPARE(f->HostEdit->text(), QStringLiteral("10.4.0.1 core router interval=2s timeout=500ms"));
        // Back to the defaults drops the words.
        QVERIFY(menu->prepareFor(f));
        answer(QStringLiteral("1s"), QStringLiteral("4s"), true);
        item->trigger();
        QCOMPARE(f->HostEdit->text(), QStringLiteral("10.4.0.1 core router"));
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->close();
    }
};

QTEST_MAIN(TestOverview)
#include "tst_overview.moc"
