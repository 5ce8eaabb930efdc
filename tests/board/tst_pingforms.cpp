// Floating ping windows: the window itself, "Add Form", "Clear Forms", the shutdown, and the
// snapping of a user's move as the window system reports it.
#include "application.h"
#include "columnpanel.h"
#include "formmagnet.h"
#include "mainform.h"
#include "pingchart.h"
#include "pingform.h"
#include "pingframe.h"
#include "scripted.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <csignal>

namespace {
// Types a host into a ping window's frame and presses Start, as a user does.
void startByUser(TPingForm *form, const QString &host)
{
    form->PingFrame->HostEdit->setText(host);
    QTest::mouseClick(form->PingFrame->ContinuousPingSpdBtn, Qt::LeftButton);
}

QStringList describe(const QList<TPingForm *> &forms)
{
    QStringList out;
    for (TPingForm *f : forms)
        out.append(QStringLiteral("%1/%2/%3").arg(f->objectName(), f->windowTitle()).arg(f->Tag));
    return out;
}

// Reports a move of the window the way the window system reports a user's drag: the platform
// window moves and tells Qt, which delivers a spontaneous move event.
void userMove(QWidget *w, const QPoint &frameTopLeft)
{
    w->windowHandle()->setFramePosition(frameTopLeft);
    QCoreApplication::processEvents();
}
} // namespace

class TestPingForms : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<TMainForm> form;

private slots:
    void init()
    {
        world = std::make_unique<ScriptedWorld>();
        form = makeMainForm();
        form->Settings->set(&TAppSettings::TimeToWait, 0);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
    }
    void cleanup()
    {
        form.reset();
        world.reset();
    }

    // The window as designed: one frame filling a 430 × 109 client area, not running, and
    // closing it only hides it while its frame goes on pinging.
    void pingForm_holdsOneIdleFrame_closeOnlyHides()
    {
        form->aAddPingForm->trigger();
        QCOMPARE(form->Board->PingForms.size(), 1);
        TPingForm *w = form->Board->PingForms[0];
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->size(), QSize(430, 109));
        QCOMPARE(w->PingFrame->geometry(), w->rect());
        QCOMPARE(w->findChildren<TPingFrame *>().size(), 1);
        QCOMPARE(w->parent(), form.get());
        QVERIFY(w->isWindow());
        QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(w->windowFlags() & Qt::WindowMaximizeButtonHint);
        QCOMPARE(w->JvFormMagnet->objectName(), QStringLiteral("JvFormMagnet"));
        // Nobody starts it: the default host, not running, nothing sent.
        QCOMPARE(w->PingFrame->HostEdit->text(), QStringLiteral("LocalHost"));
        QVERIFY(!w->PingFrame->Running());
        QCOMPARE(world->echoes.count(), 0u);
        QVERIFY(world->resolver.asked.isEmpty());
        // The frame's controls fit the narrower window: nothing sticks out of it.
        for (QWidget *c : { static_cast<QWidget *>(w->PingFrame->SpinEdit),
                 static_cast<QWidget *>(w->PingFrame->ThreadInProgressLbl) })
            QVERIFY(c->mapTo(w, QPoint(c->width(), 0)).x() <= w->width());

        startByUser(w, QStringLiteral("10.0.0.7"));
        QVERIFY(w->PingFrame->InFlight());
        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        QCOMPARE(form->Board->PingForms.size(), 1);
        QCOMPARE(form->Board->PingForms[0], w);
        world->echoes.replyAndProcess(12);
        QVERIFY(world->echoes.lastDelivered);
        QVERIFY(w->PingFrame->Running());
        QVERIFY(w->PingFrame->PingTimer->isActive()); // the next ping comes, hidden or not
        QCOMPARE(w->PingFrame->PingChart->Count(), 1);
    }

    void addForm_namesCaptionsAndTagsByIndex_clearStartsAgainAtZero()
    {
        form->aAddPingForm->trigger();
        form->aAddPingForm->trigger();
        QCOMPARE(describe(form->Board->PingForms),
            (QStringList { QStringLiteral("PingForm_0/PingForm_0/0"), QStringLiteral("PingForm_1/PingForm_1/1") }));
        for (TPingForm *w : form->Board->PingForms)
            QVERIFY(w->isVisible());
        form->aClearPingForms->trigger();
        QVERIFY(form->Board->PingForms.isEmpty());
        QVERIFY(form->findChildren<TPingForm *>().isEmpty());
        form->aAddPingForm->trigger();
        QCOMPARE(describe(form->Board->PingForms), QStringList { QStringLiteral("PingForm_0/PingForm_0/0") });
        // Hidden from every menu, and no shortcut.
        for (QAction *a : { form->aAddPingForm, form->aClearPingForms })
            QVERIFY(a->shortcut().isEmpty());
        QVERIFY(!form->findChild<QAction *>(QStringLiteral("mmiAddPingForm"))->isVisible());
        QVERIFY(!form->findChild<QAction *>(QStringLiteral("mmiClearPingForms"))->isVisible());
    }

    void clearForms_withNone_returnsWithoutWaiting()
    {
        bool eventsRan = false;
        QObject scope; // the timer dies with this test
        QTimer::singleShot(0, &scope, [&] { eventsRan = true; });
        form->aClearPingForms->trigger();
        QVERIFY2(!eventsRan, "an empty clear waited, processing events");
        QVERIFY(!form->BoardBusy());
    }

    // A running window is freed in a gap between two pings, without being stopped first; a
    // hidden one is freed too, after it, in list order. While the clear waits, every other
    // command that touches frames or windows is refused, a resize touches nothing freed, and
    // the list never holds a freed window.
    void clearForms_waitsForEachPing_freesInOrder_refusesOthersMeanwhile()
    {
        form->AddHostFrame(QStringLiteral("10.0.1.1"), false);
        for (int i = 0; i < 3; ++i)
            form->aAddPingForm->trigger();
        QList<QPointer<TPingForm>> windows;
        for (TPingForm *w : form->Board->PingForms)
            windows.append(w);
        startByUser(windows[0], QStringLiteral("10.0.0.1"));
        startByUser(windows[2], QStringLiteral("10.0.0.3"));
        windows[2]->close(); // hidden, still running
        QCOMPARE(world->echoes.count(), 2u);

        QSet<const QObject *> live;
        QStringList freed;
        for (TPingForm *w : form->Board->PingForms) {
            live.insert(w);
            QObject::connect(w, &QObject::destroyed, [&live, &freed, name = w->objectName()](QObject *o) {
                live.remove(o);
                freed.append(name);
            });
        }
        int checks = 0;
        auto checkList = [&] {
            for (TPingForm *w : form->Board->PingForms) {
                QVERIFY2(live.contains(w), "the list holds a freed window");
                QVERIFY(w->PingFrame->height() >= 0);
            }
            ++checks;
        };
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, checkList);
        watcher.start(1);

        bool acted = false;
        bool stillRunningInWait = false;
        bool disabledInWait = false;
        QTimer actor;
        QObject::connect(&actor, &QTimer::timeout, [&] {
            if (!form->BoardBusy())
                return;
            if (!acted) {
                acted = true;
                stillRunningInWait = windows[0] && windows[0]->PingFrame->Running();
                disabledInWait = windows[0] && !windows[0]->PingFrame->isEnabled() && windows[2]
                    && !windows[2]->PingFrame->isEnabled();
                const QStringList before = describe(form->Board->PingForms);
                const std::size_t launched = world->echoes.started.size() + world->echoes.pending.size();
                form->aAddPingForm->trigger();
                form->aClearPingForms->trigger();
                form->aStartAllPinging->trigger();
                form->aClearAllFrames->trigger();
                form->aAddPingFrame->trigger();
                for (int dw : { 90, -40 }) {
                    form->resize(form->width() + dw, form->height() + dw);
                    QCoreApplication::processEvents();
                    checkList();
                }
                QCOMPARE(describe(form->Board->PingForms), before);
                QCOMPARE(form->Board->ColumnFrames1.size(), 1);
                QCOMPARE(world->echoes.started.size() + world->echoes.pending.size(), launched);
                return;
            }
            if (world->echoes.count() > 0)
                world->echoes.reply(5);
        });
        actor.start(20);

        form->aClearPingForms->trigger();
        QVERIFY(acted);
        QVERIFY2(stillRunningInWait, "the clear stopped the frame instead of waiting for its ping");
        QVERIFY(disabledInWait);
        QVERIFY(checks > 3);
        QVERIFY(form->Board->PingForms.isEmpty());
        QCOMPARE(freed,
            (QStringList { QStringLiteral("PingForm_0"), QStringLiteral("PingForm_1"), QStringLiteral("PingForm_2") }));
        for (const auto &w : windows)
            QVERIFY(!w);
        QCOMPARE(form->Board->ColumnFrames1.size(), 1); // the columns are not the clear's business
        QVERIFY(!form->BoardBusy());
    }

    // An indicator that never returns to "-" holds the clear only for the echo's time-out and
    // a second; the result that comes after the window went is dropped.
    void clearForms_echoNeverAnswered_waitIsBounded_lateResultDropped()
    {
        form->aAddPingForm->trigger();
        QPointer<TPingForm> w = form->Board->PingForms[0];
        startByUser(w, QStringLiteral("10.0.0.1"));
        QCOMPARE(world->echoes.count(), 1u);
        form->aClearPingForms->trigger();
        QVERIFY(!w);
        QVERIFY(form->Board->PingForms.isEmpty());
        world->echoes.replyAndProcess(5);
        QVERIFY2(!world->echoes.lastDelivered, "a result was handed to a freed window's frame");
    }

    // The shutdown frees the ping windows (hidden ones too) before the frames of the columns.
    void close_freesPingWindowsBeforeColumnFrames()
    {
        form->AddHostFrame(QStringLiteral("10.0.1.1"), false);
        form->aAddPingForm->trigger();
        form->aAddPingForm->trigger();
        form->Board->PingForms[1]->close();
        QStringList freed;
        QObject::connect(
            form->Board->ColumnFrames1[0], &QObject::destroyed, [&] { freed.append(QStringLiteral("column")); });
        for (TPingForm *w : form->Board->PingForms)
            QObject::connect(w, &QObject::destroyed, [&freed, name = w->objectName()] { freed.append(name); });
        QVERIFY(form->close());
        QCOMPARE(freed,
            (QStringList { QStringLiteral("PingForm_0"), QStringLiteral("PingForm_1"), QStringLiteral("column") }));
        QVERIFY(form->Board->PingForms.isEmpty());
    }

    // A close by signal or logout has nobody to wait for: running windows whose echoes never
    // come back are freed at once, and their late results are dropped.
    void closeBySignal_withRunningPingWindows_doesNotWaitForThem()
    {
        auto *app = static_cast<TApplication *>(QCoreApplication::instance());
        app->setMainWindow(form.get());
        for (int i = 0; i < 4; ++i) {
            form->aAddPingForm->trigger();
            startByUser(form->Board->PingForms.back(), QStringLiteral("10.0.0.%1").arg(i + 1));
        }
        QCOMPARE(world->echoes.count(), 4u);
        ::raise(SIGTERM);
        // Waiting for each window would take 4 × 5 s.
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 10000);
        QVERIFY(form->Board->PingForms.isEmpty());
        QVERIFY(form->findChildren<TPingForm *>().isEmpty());
        world->echoes.replyAndProcess(5);
        QVERIFY(!world->echoes.lastDelivered);
        app->setMainWindow(nullptr);
    }

    // A signal that arrives while "Clear Forms" waits ends the wait: the rest go at once, and
    // the window closes afterwards.
    void signalDuringClearFormsWait_stopsWaiting_thenCloses()
    {
        auto *app = static_cast<TApplication *>(QCoreApplication::instance());
        app->setMainWindow(form.get());
        for (int i = 0; i < 3; ++i) {
            form->aAddPingForm->trigger();
            startByUser(form->Board->PingForms.back(), QStringLiteral("10.0.0.%1").arg(i + 1));
        }
        QTimer::singleShot(150, form.get(), [] { ::raise(SIGTERM); });
        form->aClearPingForms->trigger();
        QVERIFY(form->Board->PingForms.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 10000);
        app->setMainWindow(nullptr);
    }

    // The window system reports every move after the fact; only a user's move snaps.
    void snapping_onlyUserMovesSnap_toTheWorkAreaNotTheMainWindow()
    {
        QVERIFY(TJvFormMagnet::PlatformPlacesWindows());
        form->aAddPingForm->trigger();
        TPingForm *w = form->Board->PingForms[0];
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect area = w->screen()->availableGeometry();
        const int y = area.top() + 200;

        // Placed by our own code near the edge: stays where it was put.
        w->move(area.left() + 8, y);
        QCoreApplication::processEvents();
        QCOMPARE(w->frameGeometry().topLeft(), QPoint(area.left() + 8, y));

        // The user drags it from 60 to 10 px off the left edge: it lands on the edge.
        w->move(area.left() + 60, y);
        QCoreApplication::processEvents();
        userMove(w, QPoint(area.left() + 10, y));
        QCOMPARE(w->frameGeometry().topLeft(), QPoint(area.left(), y));
        QVERIFY(w->JvFormMagnet->Docks().left != 0);

        // Next to the main window, away from the screen's edges: no snapping to it.
        form->move(area.left() + 40, area.top() + 40);
        QCoreApplication::processEvents();
        const QRect main = form->frameGeometry();
        w->move(main.right() + 60, main.top() + 20);
        QCoreApplication::processEvents();
        userMove(w, QPoint(main.right() + 1 + 8, main.top() + 20));
        QCOMPARE(w->frameGeometry().topLeft(), QPoint(main.right() + 1 + 8, main.top() + 20));

        // An inactive magnet leaves the user's move alone.
        w->JvFormMagnet->Active = false;
        w->move(area.left() + 60, y);
        QCoreApplication::processEvents();
        userMove(w, QPoint(area.left() + 10, y));
        QCOMPARE(w->frameGeometry().topLeft(), QPoint(area.left() + 10, y));
    }

    // Pulling the left or top border moves the window too, but only a move that keeps the
    // size is a drag: a border pulled to near the work area's edge stays where it was put,
    // and the opposite edge stays where it was.
    void snapping_resizeFromLeftOrTopBorder_doesNotSnap_data()
    {
        QTest::addColumn<bool>("leftBorder");
        QTest::newRow("left border") << true;
        QTest::newRow("top border") << false;
    }
    void snapping_resizeFromLeftOrTopBorder_doesNotSnap()
    {
        QFETCH(bool, leftBorder);
        form->aAddPingForm->trigger();
        TPingForm *w = form->Board->PingForms[0];
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect area = w->screen()->availableGeometry();
        w->move(area.left() + 60, area.top() + 60);
        QCoreApplication::processEvents();
        const QRect before = w->geometry();
        // The window system reports the new geometry of a border pull in one go.
        const QRect pulled = leftBorder ? before.adjusted(-50, 0, 0, 0) : before.adjusted(0, -50, 0, 0);
        w->windowHandle()->setGeometry(pulled);
        QCoreApplication::processEvents();
        QCOMPARE(w->geometry(), pulled);
        QCOMPARE(w->JvFormMagnet->Docks(), Snapping::Timers());

        // A drag afterwards still snaps.
        userMove(w, QPoint(area.left() + 8, pulled.top() + 100));
        QCOMPARE(w->frameGeometry().topLeft(), QPoint(area.left(), pulled.top() + 100));
    }

    void snapping_userMoveNearAnotherPingWindow_touchesIt()
    {
        form->aAddPingForm->trigger();
        form->aAddPingForm->trigger();
        TPingForm *a = form->Board->PingForms[0];
        TPingForm *b = form->Board->PingForms[1];
        QVERIFY(QTest::qWaitForWindowExposed(a));
        QVERIFY(QTest::qWaitForWindowExposed(b));
        const QRect area = a->screen()->availableGeometry();
        b->move(area.left() + 300, area.top() + 200);
        a->move(area.left() + 40, area.top() + 220);
        QCoreApplication::processEvents();
        const int bLeft = b->frameGeometry().left();
        const int aWidth = a->frameGeometry().width();
        userMove(a, QPoint(bLeft - aWidth - 10, area.top() + 220));
        QCOMPARE(a->frameGeometry().topLeft(), QPoint(bLeft - aWidth, area.top() + 220));
        // A hidden window is no target.
        b->close();
        a->move(area.left() + 40, area.top() + 220);
        QCoreApplication::processEvents();
        userMove(a, QPoint(bLeft - aWidth - 10, area.top() + 220));
        QCOMPARE(a->frameGeometry().topLeft(), QPoint(bLeft - aWidth - 10, area.top() + 220));
    }

    // The window manager's placement of a window being shown is not a drag.
    void snapping_placementOfAShownWindow_doesNotSnap()
    {
        auto *w = new TPingForm(form.get());
        const QRect area = form->screen()->availableGeometry();
        w->show();
        userMove(w, QPoint(area.left() + 6, area.top() + 150)); // before it is on screen
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->frameGeometry().topLeft(), QPoint(area.left() + 6, area.top() + 150));
        delete w;
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestPingForms tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_pingforms.moc"
