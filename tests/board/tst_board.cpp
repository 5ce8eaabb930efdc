// The frame board: columns, layout, frame commands, clears and the pause.
#include "appclock.h"
#include "columnpanel.h"
#include "frameboard.h"
#include "hostlistbox.h"
#include "mainform.h"
#include "pingframe.h"
#include "popupmenu.h"
#include "scripted.h"
#include "settingsowner.h"
#include "splitterbar.h"

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {
QStringList names(const QList<TPingFrame *> &frames)
{
    QStringList out;
    for (TPingFrame *f : frames)
        out.append(QStringLiteral("%1/%2/%3").arg(f->objectName(), f->HostEdit->text()).arg(f->Tag));
    return out;
}

// Watches for pause dialogs and answers each one, counting them.
struct PauseWatcher
{
    explicit PauseWatcher(bool clickContinue = true)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, clickContinue] {
            auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!d || d->objectName() != QStringLiteral("MsgDlgTm") || d == last)
                return;
            last = d;
            ++shown;
            if (clickContinue)
                d->findChild<QPushButton *>(QStringLiteral("Continue"))->click();
        });
        timer.start();
    }
    QTimer timer;
    QDialog *last = nullptr;
    int shown = 0;
};

// The board on its own: two column panels in a window and a settings owner. Its waits sleep
// through a script: each sleep is counted and may make something happen.
struct BareBoard
{
    BareBoard()
    {
        AppClock::setTerminating(false); // a main window closed before leaves it set
        window.resize(600, 300);
        panel1 = new TColumnPanel(&window);
        panel2 = new TColumnPanel(&window);
        panel1->setGeometry(0, 0, 300, 300);
        panel2->setGeometry(300, 0, 300, 300);
        board = std::make_unique<TFrameBoard>(
            TFrameBoard::Borrowed { panel1, panel2, nullptr, nullptr, &settings, &window });
        board->SetSleeper([this](int ms) {
            sleeps.append(ms);
            if (onSleep)
                onSleep(int(sleeps.size()));
        });
    }
    QWidget window;
    TColumnPanel *panel1, *panel2;
    TSettingsOwner settings;
    std::unique_ptr<TFrameBoard> board;
    QList<int> sleeps;
    // Called in each sleep with its number, from 1.
    std::function<void(int)> onSleep;
};
} // namespace

class TestBoard : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<TMainForm> form;

    void addHosts(const QStringList &hosts, int column = 1)
    {
        for (const QString &h : hosts) {
            if (column == 1)
                form->AddHostFrame(h, false);
            else
                form->AddHostFrame2(h, false);
        }
    }
    void showColumn2()
    {
        form->mmiShow2->setChecked(true);
        form->ShowColumn2();
        QCoreApplication::processEvents();
    }
    void setColumnHeight(int h)
    {
        for (int i = 0; i < 10 && form->ColumnPanel1->height() != h; ++i) {
            form->resize(form->width(), form->height() - form->ColumnPanel1->height() + h);
            QTest::qWait(20);
        }
        QCOMPARE(form->ColumnPanel1->height(), h);
    }

private slots:
    void init()
    {
        world = std::make_unique<ScriptedWorld>();
        form = makeMainForm();
        form->Settings->set(&TAppSettings::TimeToWait, 0);
    }
    void cleanup()
    {
        form.reset();
        world.reset();
    }

    void addFrames_namesTagsAndEqualShares()
    {
        setColumnHeight(220);
        form->SizeFrames(); // an empty column: nothing to do
        form->aAddPingFrame->trigger();
        QCOMPARE(form->Board->ColumnFrames1.front()->geometry(), QRect(0, 0, form->ColumnPanel1->width(), 220));
        QCOMPARE(form->Board->ColumnFrames1.front()->HostEdit->text(), QStringLiteral("LocalHost"));
        QVERIFY(!form->Board->ColumnFrames1.front()->Running());
        form->AddPingFrame();
        form->AddPingFrame();
        QCOMPARE(names(form->Board->ColumnFrames1),
            QStringList({ QStringLiteral("PingFrame_0/LocalHost/0"), QStringLiteral("PingFrame_1/LocalHost/1"),
                QStringLiteral("PingFrame_2/LocalHost/2") }));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(form->Board->ColumnFrames1[i]->y(), 73 * i);
            QCOMPARE(form->Board->ColumnFrames1[i]->height(), i < 2 ? 73 : 74); // the remainder goes to the bottom
            QCOMPARE(form->Board->ColumnFrames1[i]->parentWidget(), form->ColumnPanel1);
            QCOMPARE(form->Board->ColumnFrames1[i]->PopupMenu, form->FramePM1);
            QVERIFY(!form->Board->ColumnFrames1[i]->BottomRightPanel->isHidden());
            QVERIFY(!form->Board->ColumnFrames1[i]->Splitter->isHidden());
        }
        form->Settings->set(&TAppSettings::StartTimeoutPnlVisible, false);
        form->AddPingFrame();
        QVERIFY(form->Board->ColumnFrames1.back()->BottomRightPanel->isHidden());
    }

    // The frames fill the column from top to bottom, none more than a pixel taller than
    // another: the remainder of the height division is spread, not left blank below.
    void sizeFrames_fillTheColumn_data()
    {
        QTest::addColumn<int>("columnHeight");
        QTest::addColumn<int>("frames");
        QTest::newRow("220 by 3") << 220 << 3;
        QTest::newRow("221 by 4") << 221 << 4;
        QTest::newRow("240 by 8") << 240 << 8;
        QTest::newRow("290 by 150") << 290 << 150;
    }
    void sizeFrames_fillTheColumn()
    {
        QFETCH(int, columnHeight);
        QFETCH(int, frames);
        setColumnHeight(columnHeight);
        for (int i = 0; i < frames; ++i)
            form->Board->ColumnFrames1.append(new TPingFrame(form->ColumnPanel1));
        form->SizeFrames();
        int top = 0, lowest = columnHeight, highest = 0;
        for (TPingFrame *f : form->Board->ColumnFrames1) {
            QCOMPARE(f->y(), top);
            top += f->height();
            lowest = std::min(lowest, f->height());
            highest = std::max(highest, f->height());
        }
        QCOMPARE(top, columnHeight);
        QVERIFY(highest - lowest <= 1);
    }

    void removeAndMove_keepNamesTagsAndLayout_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("on");
        QTest::addColumn<QStringList>("column1");
        QTest::newRow("remove middle") << QStringLiteral(
            "remove") << 1 << QStringList({ QStringLiteral("PingFrame_0/a/0"), QStringLiteral("PingFrame_1/c/1") });
        QTest::newRow("move up") << QStringLiteral("up") << 2
                                 << QStringList({ QStringLiteral("PingFrame_0/a/0"), QStringLiteral("PingFrame_1/c/1"),
                                        QStringLiteral("PingFrame_2/b/2") });
        QTest::newRow("move down") << QStringLiteral("down") << 0
                                   << QStringList({ QStringLiteral("PingFrame_0/b/0"),
                                          QStringLiteral("PingFrame_1/a/1"), QStringLiteral("PingFrame_2/c/2") });
        QTest::newRow("move up on top does nothing")
            << QStringLiteral("up") << 0
            << QStringList({ QStringLiteral("PingFrame_0/a/0"), QStringLiteral("PingFrame_1/b/1"),
                   QStringLiteral("PingFrame_2/c/2") });
    }
    void removeAndMove_keepNamesTagsAndLayout()
    {
        QFETCH(QString, command);
        QFETCH(int, on);
        QFETCH(QStringList, column1);
        setColumnHeight(220);
        addHosts({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") });
        QVERIFY(form->FramePM1->prepareFor(form->Board->ColumnFrames1[on]));
        QAction *item = command == QStringLiteral("remove") ? form->pmiRemoveFrameObject
            : command == QStringLiteral("up")               ? form->pmiMoveUp
                                                            : form->pmiMoveDown;
        item->trigger();
        QCOMPARE(names(form->Board->ColumnFrames1), column1);
        const int h = 220 / int(column1.size());
        for (int i = 0; i < column1.size(); ++i)
            QCOMPARE(form->Board->ColumnFrames1[i]->geometry().top(), i * h);
    }

    void moveTopToColumn2_landsAtItsBottomAndKeepsPinging()
    {
        showColumn2();
        addHosts({ QStringLiteral("x") }, 2);
        addHosts({ QStringLiteral("10.0.0.1"), QStringLiteral("b"), QStringLiteral("c") });
        TPingFrame *moved = form->Board->ColumnFrames1.front();
        moved->SetDown(true);
        moved->ContinuousPingSpdBtnClick();
        form->FramePM1->prepareFor(moved);
        form->pmiMovetoColumn2->trigger();
        QCOMPARE(names(form->Board->ColumnFrames2),
            QStringList({ QStringLiteral("PingFrame2_0/x/0"), QStringLiteral("PingFrame2_1/10.0.0.1/1") }));
        QCOMPARE(names(form->Board->ColumnFrames1),
            QStringList({ QStringLiteral("PingFrame_0/b/0"), QStringLiteral("PingFrame_1/c/1") }));
        QCOMPARE(moved->parentWidget(), form->ColumnPanel2);
        QCOMPARE(moved->PopupMenu, form->FramePM2);
        QVERIFY(moved->Running());
        QCOMPARE(moved->y(), form->ColumnPanel2->height() / 2);

        form->FramePM2->prepareFor(form->Board->ColumnFrames2.front());
        form->pmiMovetoColumn1->trigger();
        QCOMPARE(names(form->Board->ColumnFrames1).last(), QStringLiteral("PingFrame_2/x/2"));
        QCOMPARE(names(form->Board->ColumnFrames2), QStringList { QStringLiteral("PingFrame2_0/10.0.0.1/0") });
    }

    void popups_moveItemsOnlyWhereTheyAct_andShiftAbandons()
    {
        addHosts({ QStringLiteral("a") });
        QVERIFY(form->FramePM1->prepareFor(form->Board->ColumnFrames1[0]));
        QVERIFY(!form->pmiMoveUp->isVisible());
        QVERIFY(!form->pmiMoveDown->isVisible());
        QVERIFY(!form->pmiMovetoColumn2->isVisible());
        addHosts({ QStringLiteral("b"), QStringLiteral("c") });
        form->FramePM1->prepareFor(form->Board->ColumnFrames1[0]);
        QVERIFY(!form->pmiMoveUp->isVisible());
        QVERIFY(form->pmiMoveDown->isVisible());
        form->FramePM1->prepareFor(form->Board->ColumnFrames1[2]);
        QVERIFY(form->pmiMoveUp->isVisible());
        QVERIFY(!form->pmiMoveDown->isVisible());

        QTest::keyPress(form->Board->ColumnFrames1[0], Qt::Key_Shift, Qt::ShiftModifier);
        QVERIFY(!form->FramePM1->prepareFor(form->Board->ColumnFrames1[0]));
        QTest::keyRelease(form->Board->ColumnFrames1[0], Qt::Key_Shift, Qt::NoModifier);
        QVERIFY(form->FramePM1->prepareFor(form->Board->ColumnFrames1[0]));
    }

    void showColumn2Resize_widensAndNarrowsByTheColumn()
    {
        form->resize(600, form->height());
        form->LeftPanel->setFixedWidth(600 - 3 - 380);
        QTRY_COMPARE(form->ColumnPanel1->width(), 380);
        form->mmiShowColumn2Resize->trigger();
        QTRY_COMPARE(form->width(), 983);
        QVERIFY(form->mmiShow2->isChecked());
        QVERIFY(form->mmiShowColumn2Resize->isChecked());
        QVERIFY(!form->ColumnPanel2->isHidden());
        QCOMPARE(form->ColumnPanel2->Caption, QString());
        QVERIFY(
            form->aPingSelected2->isVisible() && form->aClearFrames2->isVisible() && form->aSizeFrames2->isVisible());
        QVERIFY(form->pmiMovetoColumn2->isVisible());

        addHosts({ QStringLiteral("gone") }, 2);
        // Hiding returns to exactly the width before, cycle after cycle.
        form->mmiShowColumn2Resize->trigger();
        QTRY_COMPARE(form->width(), 600);
        QVERIFY(form->Board->ColumnFrames2.isEmpty());
        QVERIFY(form->ColumnPanel2->isHidden());
        QVERIFY(!form->aPingSelected2->isVisible() && !form->aClearFrames2->isVisible());
        QTRY_COMPARE(form->ColumnPanel1->width(), 380);
        for (int cycle = 0; cycle < 3; ++cycle) {
            form->mmiShowColumn2Resize->trigger();
            QTRY_COMPARE(form->width(), 983);
            form->mmiShowColumn2Resize->trigger();
            QTRY_COMPARE(form->width(), 600);
            QTRY_COMPARE(form->ColumnPanel1->width(), 380);
        }

        // Resized meanwhile: the window narrows by the column and its splitter.
        form->mmiShowColumn2Resize->trigger();
        QTRY_COMPARE(form->width(), 983);
        form->resize(990, form->height());
        QTRY_COMPARE(form->width(), 990);
        addHosts({ QStringLiteral("gone") }, 2);
        form->ColumnPanel2->SetPanelWidth(485);
        QTRY_COMPARE(form->ColumnPanel2->width(), 485);
        form->mmiShowColumn2Resize->trigger();
        QTRY_COMPARE(form->width(), 990 - 488);
        QVERIFY(form->Board->ColumnFrames2.isEmpty());
        QVERIFY(form->ColumnPanel2->isHidden());
        QVERIFY(!form->aPingSelected2->isVisible() && !form->aClearFrames2->isVisible());
    }

    void endOfSizeMove_relaysOnlyWhenTheHeightChanged()
    {
        addHosts({ QStringLiteral("a"), QStringLiteral("b") });
        const int h = form->Board->ColumnFrames1[0]->height();
        form->Board->ColumnFrames1[0]->resize(form->Board->ColumnFrames1[0]->width(), 10);
        form->WMEnterSizeMove();
        form->WMExitSizeMove(); // a move: height unchanged
        QCOMPARE(form->Board->ColumnFrames1[0]->height(), 10);
        form->SizeMoveStartHeight = form->height() - 1;
        form->WMExitSizeMove(); // the height changed during the drag
        QCOMPARE(form->Board->ColumnFrames1[0]->height(), h);
    }

    void column2Width_isHalfOfTheBoard()
    {
        showColumn2();
        QCOMPARE(form->ColumnPanel2->width(), (form->RightPanel->width() - 6) / 2);
        form->resize(form->width() + 100, form->height());
        QTRY_COMPARE(form->ColumnPanel2->width(), (form->RightPanel->width() - 6) / 2);
    }

    void clears_sleepPauseAndFree_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("running1");
        QTest::addColumn<bool>("running2");
        QTest::addColumn<bool>("pauseOn");
        QTest::addColumn<int>("pauses");
        QTest::addColumn<int>("left1");
        QTest::addColumn<int>("left2");
        QTest::newRow("clear 1, none running") << QStringLiteral("clear1") << false << false << true << 0 << 0 << 2;
        QTest::newRow("clear 1, running") << QStringLiteral("clear1") << true << false << true << 1 << 0 << 2;
        QTest::newRow("clear 1, running, pause off")
            << QStringLiteral("clear1") << true << false << false << 0 << 0 << 2;
        QTest::newRow("clear 2, running") << QStringLiteral("clear2") << false << true << true << 1 << 2 << 0;
        QTest::newRow("clear all, running in 2 only") << QStringLiteral("all") << false << true << true << 1 << 0 << 0;
        QTest::newRow("clear all, running in both") << QStringLiteral("all") << true << true << true << 1 << 0 << 0;
    }
    void clears_sleepPauseAndFree()
    {
        QFETCH(QString, command);
        QFETCH(bool, running1);
        QFETCH(bool, running2);
        QFETCH(bool, pauseOn);
        QFETCH(int, pauses);
        QFETCH(int, left1);
        QFETCH(int, left2);
        showColumn2();
        form->Settings->set(&TAppSettings::TimeToWait, 120);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, pauseOn);
        addHosts({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2") }, 1);
        addHosts({ QStringLiteral("10.0.0.3"), QStringLiteral("10.0.0.4") }, 2);
        if (running1)
            form->AddHostFrame(QStringLiteral("10.0.0.5"), true);
        if (running2)
            form->AddHostFrame2(QStringLiteral("10.0.0.6"), true);
        PauseWatcher watcher;
        QElapsedTimer t;
        t.start();
        if (command == QStringLiteral("clear1"))
            form->aClearFrames->trigger();
        else if (command == QStringLiteral("clear2"))
            form->aClearFrames2->trigger();
        else
            form->aClearAllFrames->trigger();
        const bool anyRunning = command == QStringLiteral("clear1") ? running1
            : command == QStringLiteral("clear2")                   ? running2
                                                                    : running1 || running2;
        if (anyRunning)
            QVERIFY(t.elapsed() >= 120);
        QCOMPARE(watcher.shown, pauses);
        QCOMPARE(form->Board->ColumnFrames1.isEmpty(), left1 == 0);
        QCOMPARE(form->Board->ColumnFrames2.isEmpty(), left2 == 0);
        // The echoes of the freed frames come back later and go nowhere.
        while (world->echoes.count())
            world->echoes.replyAndProcess(5);
    }

    void pause_dialogCountsDownAndClosesItself()
    {
        form->Settings->set(&TAppSettings::CntDwnFrm, 1);
        QStringList labels;
        QDialog *dialog = nullptr;
        QTimer probe;
        probe.setInterval(100);
        connect(&probe, &QTimer::timeout, [&] {
            auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!d)
                return;
            dialog = d;
            const QString l = d->findChild<QLabel *>(QStringLiteral("DlgLbl"))->text();
            if (labels.isEmpty() || labels.last() != l)
                labels.append(l);
            if (labels.size() == 1) {
                QCOMPARE(d->windowTitle(), QStringLiteral("Confirmation"));
                QVERIFY(!(d->windowFlags() & Qt::WindowCloseButtonHint));
                QVERIFY(!(d->windowFlags() & Qt::WindowSystemMenuHint));
                QCOMPARE(d->minimumSize(), d->maximumSize());
                QCOMPARE(d->findChild<QLabel *>(QStringLiteral("Message"))->text(),
                    QStringLiteral("Pausing for pings to finish!"));
                QCOMPARE(d->findChild<QPushButton *>(QStringLiteral("Continue"))->text(), QStringLiteral("Continue"));
                const double dpi = d->screen()->logicalDotsPerInch();
                QCOMPARE(d->findChild<QLabel *>(QStringLiteral("DlgLbl"))->pos(),
                    QPoint(int(std::lround(88 * dpi / 144)), int(std::lround(50 * dpi / 144))));
                // Centred by its outer size on the window's outer geometry.
                const QRect mainRect = form->frameGeometry();
                QCOMPARE(d->x(), mainRect.x() + (mainRect.width() - d->frameGeometry().width()) / 2);
                QCOMPARE(d->y(), mainRect.y() + (mainRect.height() - d->frameGeometry().height()) / 2);
            }
        });
        probe.start();
        QElapsedTimer t;
        t.start();
        form->ShowPause();
        QVERIFY2(t.elapsed() >= 1900 && t.elapsed() < 4000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(dialog);
        QCOMPARE(labels.first(), QStringLiteral("Auto continue in: 1"));
        QVERIFY(labels.contains(QStringLiteral("Auto continue in: 0")));
    }

    void stopAll_switchesOffEveryTimer_startAllStartsTheStopped()
    {
        addHosts({ QStringLiteral("10.0.0.1"), QString(), QStringLiteral("10.0.0.2") });
        form->Board->ColumnFrames1[0]->PingTimer->start(1000); // a stopped frame with one tick left
        form->aStartAllPinging->trigger();
        // The empty host fails alone: the frames after it start, the error shows once.
        QVERIFY(form->Board->ColumnFrames1[0]->Running());
        QVERIFY(!form->Board->ColumnFrames1[1]->Running());
        QVERIFY(form->Board->ColumnFrames1[2]->Running());
        QCOMPARE(world->errors.messages, QStringList { QStringLiteral("DNS lookup: invalid host name.") });
        world->echoes.replyAndProcess(5);
        world->echoes.replyAndProcess(5);
        QVERIFY(form->Board->ColumnFrames1[0]->PingTimer->isActive());
        form->aStopAllPinging->trigger();
        for (TPingFrame *f : form->Board->ColumnFrames1) {
            QVERIFY(!f->Running());
            QVERIFY(!f->PingTimer->isActive());
        }
    }

    // Frames started in one go: all run at once, the first 16 echo at once and the rest a
    // few milliseconds apart, each exactly once; a frame stopped before its turn only runs
    // the one cycle a stopped frame with its timer armed runs. One started later goes at once.
    void framesStartedTogether_echoSpreadOverTheSecond()
    {
        QStringList hosts;
        for (int i = 1; i <= 40; ++i)
            hosts << QStringLiteral("10.0.1.%1").arg(i);
        for (const QString &h : hosts)
            form->AddHostFrame(h, true);
        QCOMPARE(world->echoes.count(), 16u);
        for (TPingFrame *f : form->Board->ColumnFrames1) {
            QVERIFY(f->Running());
            QCOMPARE(f->ContinuousPingSpdBtn->text(), QStringLiteral("Stop"));
            QVERIFY(!f->HostEdit->isEnabled());
        }
        QCOMPARE(form->Board->ColumnFrames1[16]->PingTimer->remainingTime() <= 5, true);
        QVERIFY(form->Board->ColumnFrames1[39]->PingTimer->remainingTime()
            > form->Board->ColumnFrames1[20]->PingTimer->remainingTime());
        TPingFrame *last = form->Board->ColumnFrames1[39];
        last->SetDown(false);
        last->ContinuousPingSpdBtnClick();
        QTRY_COMPARE(world->echoes.count(), 40u);
        QStringList sent;
        for (const auto &w : world->echoes.pending)
            sent << w->PingHostName;
        QCOMPARE(sent, hosts);
        QCOMPARE(last->ContinuousPingSpdBtn->text(), QStringLiteral("Start"));

        QTest::qWait(20); // a later start is a burst of its own
        form->AddHostFrame(QStringLiteral("10.0.2.1"), true);
        QCOMPARE(world->echoes.count(), 41u);
    }

    void removeRunningFrame_waitsForItsEcho()
    {
        form->Settings->set(&TAppSettings::TimeToWait, 100);
        addHosts({ QStringLiteral("a") });
        form->AddHostFrame(QStringLiteral("10.0.0.9"), true);
        TPingFrame *running = form->Board->ColumnFrames1[1];
        QVERIFY(running->InFlight());
        QTimer::singleShot(350, [&] { world->echoes.reply(5); });
        QElapsedTimer t;
        t.start();
        form->FramePM1->prepareFor(running);
        form->pmiRemoveFrameObject->trigger();
        QVERIFY2(t.elapsed() >= 350, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(names(form->Board->ColumnFrames1), QStringList { QStringLiteral("PingFrame_0/a/0") });
    }

    // Every wait for pings lets events through. Whatever the user does meanwhile (commands
    // that touch frames, resizing, closing), the lists never hold a freed frame, no frame is
    // started or stopped behind the waiting command's back, and a close runs after the wait.
    void waitsForPings_refuseFrameCommands_listsHoldOnlyLiveFrames_data()
    {
        QTest::addColumn<QString>("wait");
        QTest::newRow("remove frame") << QStringLiteral("remove");
        QTest::newRow("clear all, in the pause") << QStringLiteral("clear");
        QTest::newRow("remove orphan frames") << QStringLiteral("orphans");
    }
    void waitsForPings_refuseFrameCommands_listsHoldOnlyLiveFrames()
    {
        QFETCH(QString, wait);
        form->Settings->set(&TAppSettings::TimeToWait, 20);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, true);
        form->Settings->set(&TAppSettings::CntDwnFrm, 1);
        showColumn2();
        QSet<const QObject *> live;
        auto track = [&](TPingFrame *f) {
            live.insert(f);
            QObject::connect(f, &QObject::destroyed, [&live](QObject *o) { live.remove(o); });
        };
        for (int i = 0; i < 8; ++i) {
            form->AddHostFrame(QStringLiteral("10.0.0.%1").arg(i + 1), true);
            track(form->Board->ColumnFrames1.back());
        }
        form->AddHostFrame2(QStringLiteral("10.0.1.1"), true);
        track(form->Board->ColumnFrames2.back());
        form->SetHostLines({ QStringLiteral("10.0.2.1") });
        form->HostListBox->item(0)->setSelected(true);
        QCOMPARE(world->echoes.count(), 9u);
        auto launched = [&] { return world->echoes.pending.size() + world->echoes.started.size(); };

        int checks = 0;
        auto checkLists = [&] {
            for (const QList<TPingFrame *> *list : { &form->Board->ColumnFrames1, &form->Board->ColumnFrames2 })
                for (TPingFrame *f : *list) {
                    QVERIFY2(live.contains(f), "a list holds a freed frame");
                    QVERIFY(f->height() >= 0); // touch it, as a layout pass would
                }
            ++checks;
        };
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, checkLists);
        watcher.start(1);

        bool acted = false;
        std::size_t launchedBefore = 0;
        QStringList namesBefore;
        QList<bool> runningBefore;
        auto actMeanwhile = [&] {
            if (acted || !form->BoardBusy())
                return;
            acted = true;
            launchedBefore = launched();
            namesBefore = names(form->Board->ColumnFrames1) + names(form->Board->ColumnFrames2);
            for (TPingFrame *f : form->Board->ColumnFrames1 + form->Board->ColumnFrames2)
                runningBefore.append(f->Running());
            form->aStartAllPinging->trigger();
            form->aStopAllPinging->trigger();
            form->aClearAllFrames->trigger();
            form->aClearFrames2->trigger();
            form->FramePM1->prepareFor(form->Board->ColumnFrames1.back());
            form->pmiRemoveFrameObject->trigger();
            form->pmiMoveUp->trigger();
            form->pmiMovetoColumn2->trigger();
            form->aAddPingFrame->trigger();
            form->aPingSelected->trigger();
            form->aRemoveOrphanFrames->trigger();
            form->mmiShow2->trigger();
            for (int dw : { 120, -60, 40 }) {
                form->resize(form->width() + dw, form->height() + dw);
                QCoreApplication::processEvents();
                checkLists();
            }
            form->aSizeFrames->trigger();
            QCOMPARE(launched(), launchedBefore);
            QCOMPARE(names(form->Board->ColumnFrames1) + names(form->Board->ColumnFrames2), namesBefore);
            QList<bool> runningNow;
            for (TPingFrame *f : form->Board->ColumnFrames1 + form->Board->ColumnFrames2)
                runningNow.append(f->Running());
            QCOMPARE(runningNow, runningBefore);
            QVERIFY(form->mmiShow2->isChecked());
            form->close();
            QVERIFY(form->isVisible());
        };
        // Act once the wait has begun, then let the echoes come back one at a time.
        QTimer actor;
        QObject::connect(&actor, &QTimer::timeout, [&] {
            if (!acted) {
                actMeanwhile();
                return;
            }
            world->echoes.reply(5);
        });
        actor.start(30);
        PauseWatcher pauses(false); // the pause closes itself a second later

        if (wait == QStringLiteral("remove")) {
            form->FramePM1->prepareFor(form->Board->ColumnFrames1.front());
            form->pmiRemoveFrameObject->trigger();
            QCOMPARE(form->Board->ColumnFrames1.size(), 7);
        } else if (wait == QStringLiteral("clear")) {
            form->aClearAllFrames->trigger();
            QCOMPARE(pauses.shown, 1);
            QVERIFY(form->Board->ColumnFrames1.isEmpty());
        } else {
            form->aRemoveOrphanFrames->trigger();
            QVERIFY(form->Board->ColumnFrames1.isEmpty());
            QVERIFY(form->ColumnPanel1->findChildren<TPingFrame *>().isEmpty());
        }
        QVERIFY(acted);
        QVERIFY(checks > 3);
        checkLists();
        QTRY_VERIFY(!form->isVisible()); // the close asked for during the wait
        QVERIFY(form->Board->ColumnFrames1.isEmpty() && form->Board->ColumnFrames2.isEmpty());
    }

    void removeOrphanFrames_freesFramesMissingFromTheList()
    {
        addHosts({ QStringLiteral("a") });
        auto *orphan = new TPingFrame(form->ColumnPanel1);
        QPointer<TPingFrame> watch(orphan);
        form->aRemoveOrphanFrames->trigger();
        QVERIFY(!watch);
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        QVERIFY(form->ColumnPanel1->findChildren<TPingFrame *>().isEmpty());
    }

    // TimeToWait is slept with the window blocked; with no frame running there is nothing to
    // wait for, so no clear, removal or session load sleeps it.
    void nothingRunning_noWaitSleeps_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("clear frames") << QStringLiteral("clear1");
        QTest::newRow("clear all frames") << QStringLiteral("all");
        QTest::newRow("remove frame") << QStringLiteral("remove");
        QTest::newRow("remove orphan frames") << QStringLiteral("orphans");
        QTest::newRow("load a session") << QStringLiteral("load");
    }
    void nothingRunning_noWaitSleeps()
    {
        QFETCH(QString, command);
        form->Settings->set(&TAppSettings::TimeToWait, kMaxTimeToWait);
        showColumn2();
        addHosts({ QStringLiteral("a"), QStringLiteral("b") });
        addHosts({ QStringLiteral("c") }, 2);
        QElapsedTimer t;
        t.start();
        if (command == QStringLiteral("clear1")) {
            form->aClearFrames->trigger();
        } else if (command == QStringLiteral("all")) {
            form->aClearAllFrames->trigger();
        } else if (command == QStringLiteral("remove")) {
            form->FramePM1->prepareFor(form->Board->ColumnFrames1[0]);
            form->pmiRemoveFrameObject->trigger();
        } else if (command == QStringLiteral("orphans")) {
            form->aRemoveOrphanFrames->trigger();
        } else {
            // An empty session: a name that leads nowhere is refused before anything is cleared.
            QFile empty(form->SsnDir + QStringLiteral("empty.txt"));
            QVERIFY(empty.open(QIODevice::WriteOnly));
            empty.close();
            form->LoadFrameSession(empty.fileName());
        }
        QVERIFY2(t.elapsed() < kMaxTimeToWait / 2, qPrintable(QString::number(t.elapsed())));
        QVERIFY(form->Board->ColumnFrames1.size() < 2);
        QCOMPARE(world->errors.messages, QStringList());
    }

    void negativeTimeToWait_sleepsNothing()
    {
        form->Settings->set(&TAppSettings::TimeToWait, -5);
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        addHosts({ QStringLiteral("a"), QStringLiteral("b") });
        QElapsedTimer t;
        t.start();
        form->FramePM1->prepareFor(form->Board->ColumnFrames1[0]);
        form->pmiRemoveFrameObject->trigger();
        form->aClearFrames->trigger();
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        QVERIFY(t.elapsed() < 1000);
    }

    void lateEchoOfClearedFrame_isDropped()
    {
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->AddHostFrame(QStringLiteral("10.0.0.1"), true);
        QCOMPARE(world->echoes.count(), 1u);
        form->ClearAllFrames();
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        world->echoes.replyAndProcess(5);
        QVERIFY2(!world->echoes.lastDelivered, "a result was handed to a freed frame");
        QCOMPARE(world->echoes.count(), 0u);
    }

    // Removing a frame stops it as the user does (its timer left as it is), then lets events
    // through and sleeps TimeToWait before it first looks; it frees the frame once nothing of
    // it is under way: a lookup pending sends its echo, and that echo is processed first.
    void removeFrame_onePassAndOneSleepThenTheLook_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("sleeps");
        QTest::addColumn<int>("results"); // processed before the frame went
        QTest::newRow("running, between echoes") << "between" << 1 << 0;
        QTest::newRow("running, echo in flight") << "in flight" << 1 << 1;
        QTest::newRow("running, lookup pending") << "lookup" << 2 << 1;
        QTest::newRow("echo never answered: bounded") << "silent" << 50 << 0;
        QTest::newRow("stopped, nothing under way") << "stopped" << 0 << 0;
    }
    void removeFrame_onePassAndOneSleepThenTheLook()
    {
        QFETCH(QString, frame);
        QFETCH(int, sleeps);
        QFETCH(int, results);
        form.reset();
        BareBoard b;
        b.settings.set(&TAppSettings::TimeToWait, 100);
        const QString host = frame == QStringLiteral("lookup") ? QStringLiteral("alpha") : QStringLiteral("10.0.0.1");
        QPointer<TPingFrame> f = b.board->addFrame(1, &host, frame != QStringLiteral("stopped"));
        QSignalSpy processed(f.data(), &TPingFrame::ResultProcessed);
        if (frame == QStringLiteral("between"))
            world->echoes.replyAndProcess(5);
        const int before = int(processed.count());
        bool timerLeftArmed = false, stoppedInTheWait = false;
        b.onSleep = [&](int n) {
            QVERIFY(f);
            if (n == 1) {
                timerLeftArmed = f->PingTimer->isActive();
                stoppedInTheWait = !f->Running();
            }
            if (frame == QStringLiteral("in flight") && n == 1)
                world->echoes.reply(5);
            if (frame == QStringLiteral("lookup") && n == 1)
                world->resolver.answer(0, { QStringLiteral("10.0.0.7") });
            if (frame == QStringLiteral("lookup") && n == 2)
                world->echoes.reply(6);
        };
        b.board->removeFrame(1, f);
        QVERIFY(!f);
        QVERIFY(b.board->ColumnFrames1.isEmpty());
        QCOMPARE(b.sleeps, QList<int>(sleeps, 100));
        QCOMPARE(int(processed.count()) - before, results);
        if (sleeps > 0)
            QVERIFY(stoppedInTheWait);
        QCOMPARE(timerLeftArmed, frame == QStringLiteral("between"));
        if (frame == QStringLiteral("lookup"))
            QCOMPARE(world->echoes.started.back()->PingHostName, QStringLiteral("10.0.0.7"));
        while (world->echoes.count())
            world->echoes.replyAndProcess(5);
    }

    // A clear waits, up to TimeToWait, while an echo is under way: one in flight, whether its
    // frame still runs or was stopped a moment before, or one a pending lookup is to send.
    // A running frame between echoes has none (the clear switches its timer off): no sleep.
    void clears_waitWhileAnEchoIsUnderWay_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("sleeps");
        QTest::addColumn<int>("results"); // processed before the frame went
        QTest::addColumn<int>("echoes"); // sent by the frame, all told
        QTest::newRow("running, between echoes") << "between" << 0 << 0 << 1;
        QTest::newRow("running, echo in flight") << "in flight" << 1 << 1 << 1;
        QTest::newRow("stopped, echo in flight") << "stopped in flight" << 1 << 1 << 1;
        QTest::newRow("running, lookup pending") << "lookup" << 1 << 0 << 1;
    }
    void clears_waitWhileAnEchoIsUnderWay()
    {
        QFETCH(QString, frame);
        QFETCH(int, sleeps);
        QFETCH(int, results);
        QFETCH(int, echoes);
        form.reset();
        BareBoard b;
        b.settings.set(&TAppSettings::TimeToWait, 100);
        b.settings.set(&TAppSettings::PauseForRemoveFrame, false);
        const QString host = frame == QStringLiteral("lookup") ? QStringLiteral("alpha") : QStringLiteral("10.0.0.1");
        QPointer<TPingFrame> f = b.board->addFrame(1, &host, true);
        QSignalSpy processed(f.data(), &TPingFrame::ResultProcessed);
        if (frame == QStringLiteral("between"))
            world->echoes.replyAndProcess(5);
        if (frame == QStringLiteral("stopped in flight"))
            f->StopPinging();
        const int before = int(processed.count());
        b.onSleep = [&](int) {
            QVERIFY(f);
            if (frame == QStringLiteral("lookup"))
                world->resolver.answer(0, { QStringLiteral("10.0.0.7") });
            else if (world->echoes.count())
                world->echoes.reply(5);
        };
        b.board->clearColumns({ 1 });
        QVERIFY(!f);
        QCOMPARE(b.sleeps, QList<int>(sleeps, 100));
        QCOMPARE(int(processed.count()) - before, results);
        QCOMPARE(int(world->echoes.count() + world->echoes.started.size()), echoes);
        while (world->echoes.count())
            world->echoes.replyAndProcess(5);
    }

    // Remove Orphan Frames stops the frames of both panels before it waits for any.
    void removeOrphans_stopsBothColumnsBeforeAnyWait()
    {
        form.reset();
        BareBoard b;
        b.settings.set(&TAppSettings::TimeToWait, 100);
        const QString h1 = QStringLiteral("10.0.0.1"), h2 = QStringLiteral("10.0.0.2");
        QPointer<TPingFrame> second = b.board->addFrame(2, &h2, true);
        world->echoes.replyAndProcess(5); // column 2: running, between echoes
        QPointer<TPingFrame> first = b.board->addFrame(1, &h1, true); // column 1: echo in flight
        auto *orphan = new TPingFrame(b.panel2);
        QPointer<TPingFrame> watchOrphan(orphan);
        bool secondStopped = false;
        b.onSleep = [&](int n) {
            if (n == 1)
                secondStopped = second && !second->Running() && !second->PingTimer->isActive();
            world->echoes.reply(5);
        };
        b.board->removeOrphans();
        QVERIFY(!b.sleeps.isEmpty());
        QVERIFY(secondStopped);
        QVERIFY(!first && !second && !watchOrphan);
        QVERIFY(b.board->ColumnFrames1.isEmpty() && b.board->ColumnFrames2.isEmpty());
        QCOMPARE(world->echoes.started.size(), 2u);
        QCOMPARE(world->echoes.count(), 0u);
    }

    // --- The board on its own: two column panels and a settings owner, no main window ---

    void bareBoard_addMoveRemove_keepsNamesAndTellsWatchers()
    {
        form.reset(); // no main window in this one
        QWidget window;
        window.resize(600, 300);
        auto *panel1 = new TColumnPanel(&window), *panel2 = new TColumnPanel(&window);
        panel1->setGeometry(0, 0, 300, 300);
        panel2->setGeometry(300, 0, 300, 300);
        window.show();
        TSettingsOwner settings;
        settings.set(&TAppSettings::StartTimeoutPnlVisible, true);
        TFrameBoard board({ panel1, panel2, nullptr, nullptr, &settings, &window });
        QSignalSpy added(&board, &TFrameBoard::frameAdded), removed(&board, &TFrameBoard::frameRemoved);
        const QStringList hosts { QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2"), QStringLiteral("10.0.0.3") };
        for (const QString &h : hosts)
            board.addFrame(1, &h);
        QCOMPARE(added.count(), 3);
        QCOMPARE(names(board.ColumnFrames1),
            QStringList({ QStringLiteral("PingFrame_0/10.0.0.1/0"), QStringLiteral("PingFrame_1/10.0.0.2/1"),
                QStringLiteral("PingFrame_2/10.0.0.3/2") }));
        QVERIFY(board.ColumnFrames1[0]->setup().details);
        QCOMPARE(board.ColumnFrames1[2]->geometry(), QRect(0, 200, 300, 100));

        board.moveToOtherColumn(1, board.ColumnFrames1[0]);
        QCOMPARE(names(board.ColumnFrames2), QStringList { QStringLiteral("PingFrame2_0/10.0.0.1/0") });
        QCOMPARE(board.ColumnFrames2[0]->parentWidget(), panel2);
        QCOMPARE(board.ColumnFrames2[0]->geometry(), QRect(0, 0, 300, 300));
        board.removeFrame(1, board.ColumnFrames1[0]);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(names(board.ColumnFrames1), QStringList { QStringLiteral("PingFrame_0/10.0.0.3/0") });
        QVERIFY(!board.Busy());

        // A share a pixel short of a full frame: every frame is a compact row, none of the
        // bottom ones a full frame for the remainder's pixel.
        const QString more = QStringLiteral("10.0.0.9");
        for (int i = 0; i < 19; ++i)
            board.addFrame(1, &more);
        const int threshold = board.ColumnFrames1[0]->CompactThreshold();
        panel1->setGeometry(0, 0, 300, 20 * (threshold - 1) + 7);
        board.sizeColumn(1);
        for (TPingFrame *f : std::as_const(board.ColumnFrames1)) {
            QCOMPARE(f->height(), threshold - 1);
            QVERIFY(f->Compact());
        }
        QVERIFY(QApplication::topLevelWidgets().size() >= 1);
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<QMainWindow *>(w));
    }

    // The one wait for pings: it lets events through while an echo is out, ends when the last
    // one is back, at its bound, or at once for an unattended close, and stops the frames
    // unless told to leave them running.
    void stopAndWaitIdle_data()
    {
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("answer"); // "soon", "never"
        QTest::addColumn<bool>("unattended");
        QTest::addColumn<bool>("wasRunning");
        QTest::addColumn<bool>("eventsRan");
        QTest::addColumn<bool>("inFlightAfter");
        QTest::addColumn<bool>("runningAfter");
        QTest::newRow("nothing running: no wait")
            << false << true << "never" << false << false << false << false << false;
        QTest::newRow("echo answered during the wait")
            << true << true << "soon" << false << true << true << false << false;
        QTest::newRow("echo never answered: bounded")
            << true << true << "never" << false << true << true << true << false;
        QTest::newRow("unattended: no wait") << true << true << "soon" << true << true << false << true << false;
        QTest::newRow("left running") << true << false << "soon" << false << false << true << false << true;
    }
    void stopAndWaitIdle()
    {
        QFETCH(bool, start);
        QFETCH(bool, stop);
        QFETCH(QString, answer);
        QFETCH(bool, unattended);
        QFETCH(bool, wasRunning);
        QFETCH(bool, eventsRan);
        QFETCH(bool, inFlightAfter);
        QFETCH(bool, runningAfter);
        form.reset();
        QWidget window;
        window.resize(300, 300);
        auto *panel1 = new TColumnPanel(&window), *panel2 = new TColumnPanel(&window);
        TSettingsOwner settings;
        TFrameBoard board({ panel1, panel2, nullptr, nullptr, &settings, &window });
        const QString host = QStringLiteral("10.0.0.1");
        QPointer<TPingFrame> f = board.addFrame(1, &host, start);
        QCOMPARE(world->echoes.count(), start ? 1u : 0u);
        board.SetUnattended(unattended);
        bool ran = false, busyMeanwhile = false;
        // Tied to the board: a wait that lets no event through leaves it for nobody.
        QTimer::singleShot(0, &board, [&] {
            ran = true;
            busyMeanwhile = board.Busy();
            if (answer == QStringLiteral("soon") && world->echoes.count())
                world->echoes.reply(5);
        });
        // An answer that comes is waited for however slow the machine; one that never comes
        // is waited for until the bound.
        const qint64 bound = answer == QStringLiteral("soon") ? 30000 : 300;
        QCOMPARE(
            board.stopAndWaitIdle({ f }, 10, bound, stop ? TFrameBoard::Halt::StopForGood : TFrameBoard::Halt::None),
            wasRunning);
        QCOMPARE(ran, eventsRan);
        QCOMPARE(busyMeanwhile, eventsRan);
        QVERIFY(f);
        QCOMPARE(f->InFlight(), inFlightAfter);
        QCOMPARE(f->Running(), runningAfter);
        QVERIFY(!f->isEnabled());
        QVERIFY(!board.Busy());
        delete f.data();
        while (world->echoes.count())
            world->echoes.replyAndProcess(5);
    }
};

QTEST_MAIN(TestBoard)
#include "tst_board.moc"
