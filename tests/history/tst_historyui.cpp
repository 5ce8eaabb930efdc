// The desktop's history: what the frames record, the history window of a host, and the
// window of every host's outages.
#include "historyform.h"
#include "historygen.h"
#include "historystore.h"
#include "mainform.h"
#include "outagesform.h"
#include "pingform.h"
#include "pingframe.h"
#include "popupmenu.h"
#include "scripted.h"

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <ctime>

namespace {

constexpr qint64 kT0 = 1796083200000; // 2026-12-01 00:00 UTC
constexpr qint64 kMin = 60000;
constexpr qint64 kHour = 3600000;
constexpr qint64 kDay = 86400000;

void put(HistoryStore &store, const QString &identity, qint64 from, qint64 to, History::Kind kind, int status = 0)
{
    QList<HistoryStore::Entry> batch;
    const QString label = identity.section(u' ', 1);
    for (qint64 t = from; t < to; t += 1000) {
        const bool reply = kind == History::Kind::Reply;
        batch.append(
            { identity, label, identity.section(u' ', 0, 0), { t, kind, reply ? 0 : status, reply ? 2500 : 0 } });
    }
    QString error;
    QCOMPARE(store.write(batch, &error), HistoryStore::WriteStatus::Ok);
}

// A host with an outage that ended, one cut by the end of its run, and one still going on
// while the second run (the store's writer, live) records it; "now" is 00:36.
struct Outages
{
    QTemporaryDir dir;
    HistoryStore live;
    QString host = QStringLiteral("10.0.0.1 office");
    Outages()
    {
        QString error;
        {
            HistoryStore first;
            first.openForWriting(dir.path(), {}, &error);
            put(first, host, kT0, kT0 + 10 * kMin, History::Kind::Reply);
            put(first, host, kT0 + 10 * kMin, kT0 + 12 * kMin + 30000, History::Kind::Timeout, 11010);
            put(first, host, kT0 + 12 * kMin + 30000, kT0 + 20 * kMin, History::Kind::Reply);
            put(first, host, kT0 + 20 * kMin, kT0 + 21 * kMin, History::Kind::Unreachable, 11003);
            first.close(kT0 + 21 * kMin);
        }
        live.openForWriting(dir.path(), {}, &error);
        put(live, host, kT0 + 30 * kMin, kT0 + 31 * kMin, History::Kind::Reply);
        put(live, host, kT0 + 31 * kMin, kT0 + 35 * kMin, History::Kind::Timeout, 11010);
    }
};

QStringList rows(const QTreeWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->topLevelItem(i)->text(c);
        out << cells.join(QStringLiteral(" | "));
    }
    return out;
}

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// Answers the save dialog with this file name.
void saveAsSoon(const QString &fileName)
{
    QTimer::singleShot(50, [fileName] {
        auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!d) {
            saveAsSoon(fileName);
            return;
        }
        // As typed into the name field.
        d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(fileName);
        QMetaObject::invokeMethod(d, "accept");
    });
}

} // namespace

class TestHistoryUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The window shows local times: the texts below are UTC's.
        qputenv("TZ", "UTC");
        tzset();
    }

    // Every result of a column's frame and of a ping window reaches the store under its host's
    // identity; the store is closed with the window, so a reader sees every result.
    void frames_recordEveryResult_underTheHostsIdentity()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->AddHostFrame(QStringLiteral("127.0.0.1 the loopback"), true);
        form->aAddPingForm->trigger();
        TPingFrame *windowFrame = form->Board->PingForms.at(0)->PingFrame;
        windowFrame->HostEdit->setText(QStringLiteral("127.0.0.2"));
        QTest::mouseClick(windowFrame->ContinuousPingSpdBtn, Qt::LeftButton);
        // Three cycles of both: a reply, no reply, a reply.
        for (int rtt : { 3, -1, 4 }) {
            QTRY_COMPARE_WITH_TIMEOUT(world.echoes.count(), 2u, 5000);
            world.echoes.replyAndProcess(rtt);
            world.echoes.replyAndProcess(rtt);
        }
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(world.errors.messages, QStringList());

        HistoryStore store;
        QString error;
        QVERIFY2(store.openForReading(world.home.dtaDir() + QStringLiteral("History/"), &error), qPrintable(error));
        QStringList found;
        for (const HistoryStore::Host &h : store.hosts()) {
            QStringList kinds;
            for (const auto &r : store.results(h.id, 0, std::numeric_limits<qint64>::max() / 2))
                kinds << History::kindName(r.result.kind) + QString::number(r.result.rttUs);
            found << h.identity + u'/' + h.label + u'/' + h.address + u':' + kinds.join(u' ');
        }
        QCOMPARE(found,
            QStringList({ QStringLiteral("127.0.0.1 the loopback/the loopback/127.0.0.1:reply3000 timeout0 reply4000"),
                QStringLiteral("127.0.0.2//127.0.0.2:reply3000 timeout0 reply4000") }));
        QVERIFY(!store.writerActive());
    }

    // A store another Skylark writes is left alone, and the user is told so once, without a
    // box that waits for an answer; the frames go on.
    void storeHeldByAnotherWriter_isToldOnce_framesGoOn()
    {
        ScriptedWorld world;
        HistoryStore other;
        QString error;
        QVERIFY(other.openForWriting(world.home.dtaDir() + QStringLiteral("History/"), {}, &error));
        auto form = makeMainForm();
        form->Settings->set(&TAppSettings::PauseForRemoveFrame, false);
        form->AddHostFrame(QStringLiteral("127.0.0.1"), true);
        QTRY_COMPARE(world.errors.messages.size(), 1);
        QVERIFY2(world.errors.messages[0].contains(QStringLiteral("being written by another Skylark")),
            qPrintable(world.errors.messages[0]));
        QTRY_COMPARE_WITH_TIMEOUT(world.echoes.count(), 1u, 5000);
        world.echoes.replyAndProcess(2);
        QVERIFY(form->Board->ColumnFrames1.at(0)->Running());
        form->close();
        QCOMPARE(world.errors.messages.size(), 1);
    }

    // The range after presets, keys and a drag: between five minutes and everything kept
    // (here two days), never past now. Keys: 1 24 7 30 (presets), + - < > (keys), d (a
    // drag to the right by half the chart).
    void window_rangeFollowsPresetsKeysAndDrag_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<qint64>("fromBeforeNow");
        QTest::addColumn<qint64>("toBeforeNow");
        QTest::newRow("opens on the last hour") << QString() << kHour << qint64(0);
        QTest::newRow("24 h") << QStringLiteral("24") << kDay << qint64(0);
        QTest::newRow("7 d: everything kept") << QStringLiteral("7") << 2 * kDay << qint64(0);
        QTest::newRow("30 d, then 1 h") << QStringLiteral("30 1") << kHour << qint64(0);
        QTest::newRow("zoom in around the middle") << QStringLiteral("+") << 45 * kMin << 15 * kMin;
        QTest::newRow("then a quarter back") << QStringLiteral("+ <") << 52 * kMin + 30000 << 22 * kMin + 30000;
        QTest::newRow("forward stops at now") << QStringLiteral("+ > > >") << 30 * kMin << qint64(0);
        QTest::newRow("no closer than five minutes")
            << QStringLiteral("+ + + + + +") << 32 * kMin + 30000 << 27 * kMin + 30000;
        QTest::newRow("zoom out stops at everything") << QStringLiteral("- - - - - - - - - -") << 2 * kDay << qint64(0);
        QTest::newRow("earliest bounds a move back") << QStringLiteral("24 < < < < < <") << 2 * kDay << kDay;
        QTest::newRow("drag right shows earlier") << QStringLiteral("d") << 90 * kMin << 30 * kMin;
    }
    void window_rangeFollowsPresetsKeysAndDrag()
    {
        QFETCH(QString, keys);
        QFETCH(qint64, fromBeforeNow);
        QFETCH(qint64, toBeforeNow);
        static QTemporaryDir dir;
        static bool filled = false;
        if (!filled) {
            HistoryStore store;
            QString error;
            QVERIFY(store.openForWriting(dir.path(), {}, &error));
            HistoryGen::fill(store, { 2, 6, kT0, 60, 1 });
            filled = true;
        }
        const qint64 now = kT0 + 2 * kDay;
        PinnedClock clock(QDateTime::fromMSecsSinceEpoch(now));
        THistoryForm w(dir.path(), HistoryGen::hostText(5));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QHash<QString, QPushButton *> presets { { QStringLiteral("1"), w.Preset1hBtn },
            { QStringLiteral("24"), w.Preset24hBtn }, { QStringLiteral("7"), w.Preset7dBtn },
            { QStringLiteral("30"), w.Preset30dBtn } };
        for (const QString &k : keys.split(u' ', Qt::SkipEmptyParts)) {
            if (presets.contains(k)) {
                QTest::mouseClick(presets[k], Qt::LeftButton);
            } else if (k == QStringLiteral("d")) {
                const QPoint from(w.Chart->width() / 4, w.Chart->height() / 2);
                const QPoint to = from + QPoint(w.Chart->plotWidth() / 2, 0);
                QTest::mousePress(w.Chart, Qt::LeftButton, {}, from);
                QMouseEvent move(QEvent::MouseMove, QPointF(to), w.Chart->mapToGlobal(QPointF(to)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(w.Chart, &move);
                QTest::mouseRelease(w.Chart, Qt::LeftButton, {}, to);
            } else {
                const Qt::Key key = k == QStringLiteral("+") ? Qt::Key_Plus
                    : k == QStringLiteral("-")               ? Qt::Key_Minus
                    : k == QStringLiteral("<")               ? Qt::Key_Left
                                                             : Qt::Key_Right;
                QTest::keyClick(w.Chart, key);
            }
        }
        // A drag moves by whole pixels: within a pixel's time.
        const qint64 slack = keys == QStringLiteral("d") ? (w.toMs() - w.fromMs()) / w.Chart->plotWidth() + 1 : 0;
        QVERIFY2(qAbs(now - w.fromMs() - fromBeforeNow) <= slack, qPrintable(QString::number(now - w.fromMs())));
        QVERIFY2(qAbs(now - w.toMs() - toBeforeNow) <= slack, qPrintable(QString::number(now - w.toMs())));
        // The chart reads what it shows: points up to two hours, else one column per pixel.
        const HistoryRange::View &v = w.Chart->view();
        QCOMPARE(v.fromMs, w.fromMs());
        QCOMPARE(v.raw, w.toMs() - w.fromMs() <= HistoryRange::kRawSpanMs);
        if (v.raw)
            QVERIFY(!v.points.isEmpty());
        else
            QCOMPARE(v.columns.size(), w.Chart->plotWidth());
    }

    // The time axis says the date where the range crosses midnight, and seconds when short.
    void chart_axisLabels_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QString>("label");
        QTest::newRow("within a day") << kT0 + kHour << kT0 << kT0 + 2 * kHour << QStringLiteral("01:00");
        QTest::newRow("across midnight") << kT0 + kHour << kT0 - kHour << kT0 + 2 * kHour
                                         << QStringLiteral("01:00\n2026-12-01");
        QTest::newRow("ending at midnight") << kT0 - kHour << kT0 - 2 * kHour << kT0 << QStringLiteral("23:00");
        QTest::newRow("five minutes") << kT0 + 90000 << kT0 << kT0 + 5 * kMin << QStringLiteral("00:01:30");
    }
    void chart_axisLabels()
    {
        QFETCH(qint64, at);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QString, label);
        QCOMPARE(THistoryChart::axisLabel(at, from, to), label);
    }

    // The outages of the range, newest first: one still going on as "since", one cut by the
    // end of its run, one that ended; with their durations and kinds in words. They are
    // found on a thread of their own.
    void window_listsTheRangesOutages()
    {
        Outages store;
        PinnedClock clock(QDateTime::fromMSecsSinceEpoch(kT0 + 36 * kMin));
        THistoryForm w(store.dir.path(), store.host);
        QCOMPARE(w.windowTitle(), QStringLiteral("History of 10.0.0.1 office"));
        QTRY_COMPARE(rows(w.OutagesList),
            QStringList({ QStringLiteral("since 2026-12-01 00:31:00 |  | 5 min 00 s | timeout"),
                QStringLiteral(
                    "2026-12-01 00:20:00 | 2026-12-01 00:20:59 | 59 s | unreachable, cut by the end of a run"),
                QStringLiteral("2026-12-01 00:10:00 | 2026-12-01 00:12:30 | 2 min 30 s | timeout") }));
        // A range of its own: only the outage in it.
        w.setRange(kT0 + 5 * kMin, kT0 + 15 * kMin);
        QTRY_COMPARE(rows(w.OutagesList),
            QStringList({ QStringLiteral("2026-12-01 00:10:00 | 2026-12-01 00:12:30 | 2 min 30 s | timeout") }));
        // Once the run has ended, the open one is cut at its last result.
        store.live.close(kT0 + 36 * kMin);
        w.reload();
        w.showLast(kHour);
        QTRY_COMPARE(rows(w.OutagesList).value(0),
            QStringLiteral(
                "2026-12-01 00:31:00 | 2026-12-01 00:34:59 | 3 min 59 s | timeout, cut by the end of a run"));
    }

    // The export buttons write the range's outages or results, as the command line's export
    // writes them, to the file chosen in the save dialog.
    void window_exportsTheRangeAsCsv()
    {
        Outages store;
        PinnedClock clock(QDateTime::fromMSecsSinceEpoch(kT0 + 36 * kMin));
        THistoryForm w(store.dir.path(), store.host);
        ErrorRecorder errors;
        w.setRange(kT0 + 9 * kMin, kT0 + 14 * kMin);
        QTemporaryDir out;
        const QString outages = out.filePath(QStringLiteral("o.csv"));
        saveAsSoon(outages);
        QTest::mouseClick(w.ExportOutagesBtn, Qt::LeftButton);
        QCOMPARE(readAll(outages),
            QByteArray("host,label,start,end,duration_s,kind,state\n"
                       "10.0.0.1 office,office,2026-12-01T00:10:00.000+00:00,2026-12-01T00:12:30.000+00:00,150.000,"
                       "timeout,ended\n"));
        const QString results = out.filePath(QStringLiteral("r.csv"));
        saveAsSoon(results);
        QTest::mouseClick(w.ExportResultsBtn, Qt::LeftButton);
        const QList<QByteArray> lines = readAll(results).split('\n');
        QCOMPARE(lines.size(), 1 + 300 + 1); // the header, five minutes at one a second, the last newline
        QCOMPARE(lines.at(0), QByteArray("time,host,label,address,kind,status,rtt_ms"));
        QCOMPARE(
            lines.at(1), QByteArray("2026-12-01T00:09:00.000+00:00,10.0.0.1 office,office,10.0.0.1,reply,0,2.500"));
        QCOMPARE(
            lines.at(61), QByteArray("2026-12-01T00:10:00.000+00:00,10.0.0.1 office,office,10.0.0.1,timeout,11010,"));
        QCOMPARE(errors.messages, QStringList());
    }

    // "History..." follows the designed items of both frame menus, and opens one window per
    // host, for the host the frame pings.
    void frameMenu_opensTheHostsHistory()
    {
        ScriptedWorld world;
        auto form = makeMainForm();
        const QList<QAction *> items = form->FramePM1->actions();
        QCOMPARE(items.indexOf(form->pmiHistory), items.indexOf(form->pmiIntervalTimeout) + 1);
        QCOMPARE(form->FramePM2->actions().last(), form->pmiHistory2);
        form->AddHostFrame(QStringLiteral("127.0.0.1 interval=2s loopback"), false);
        THistoryForm *h = form->ShowHistory(form->Board->ColumnFrames1.at(0));
        QVERIFY(h);
        QCOMPARE(h->identity(), QStringLiteral("127.0.0.1 loopback"));
        QCOMPARE(form->ShowHistory(form->Board->ColumnFrames1.at(0)), h);
        QVERIFY(h->close());
        form->close();
    }

    // The Misc menu's window: the outages of every host, newest first, narrowed by a part of
    // a host's text; a double click opens that host's history.
    void outagesWindow_listsEveryHostNewestFirst_filteredByHost()
    {
        ScriptedWorld world;
        PinnedClock clock(QDateTime::fromMSecsSinceEpoch(kT0 + 36 * kMin));
        const QString dir = world.home.dtaDir() + QStringLiteral("History/");
        {
            HistoryStore store;
            QString error;
            QVERIFY(store.openForWriting(dir, {}, &error));
            put(store, QStringLiteral("10.0.0.1 office"), kT0, kT0 + 5 * kMin, History::Kind::Timeout, 11010);
            put(store, QStringLiteral("10.0.0.1 office"), kT0 + 5 * kMin, kT0 + 6 * kMin, History::Kind::Reply);
            put(store, QStringLiteral("10.0.0.2"), kT0 + 2 * kMin, kT0 + 3 * kMin, History::Kind::Foreign);
            put(store, QStringLiteral("10.0.0.2"), kT0 + 3 * kMin, kT0 + 4 * kMin, History::Kind::Reply);
            put(store, QStringLiteral("10.0.0.2"), kT0 + 7 * kMin, kT0 + 8 * kMin, History::Kind::Timeout, 11010);
            store.close(kT0 + 8 * kMin);
        }
        auto form = makeMainForm();
        QVERIFY(form->mmiMisc->actions().last() == form->mmiOutages);
        form->mmiOutages->trigger();
        auto *w = form->findChild<TOutagesForm *>();
        QVERIFY(w);
        auto shown = [w] {
            QStringList out;
            const QAbstractItemModel *m = w->OutagesView->model();
            for (int r = 0; r < m->rowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < m->columnCount(); ++c)
                    cells << m->index(r, c).data().toString();
                out << cells.join(QStringLiteral(" | "));
            }
            return out;
        };
        const QString cut
            = QStringLiteral("10.0.0.2 | 2026-12-01 00:07:00 | 2026-12-01 00:07:59 | 59 s | timeout | cut");
        const QString foreign
            = QStringLiteral("10.0.0.2 | 2026-12-01 00:02:00 | 2026-12-01 00:03:00 | 1 min 00 s | foreign | ended");
        const QString office = QStringLiteral(
            "10.0.0.1 office | 2026-12-01 00:00:00 | 2026-12-01 00:05:00 | 5 min 00 s | timeout | ended");
        QCOMPARE(shown(), QStringList({ cut, foreign, office }));
        QCOMPARE(w->StatusLbl->text(), QStringLiteral("3 outages"));
        QTest::keyClicks(w->HostFilterEdit, QStringLiteral("0.0.2"));
        QCOMPARE(shown(), QStringList({ cut, foreign }));
        w->HostFilterEdit->setText(QStringLiteral("OFFICE"));
        QCOMPARE(shown(), QStringList({ office }));
        QCOMPARE(w->StatusLbl->text(), QStringLiteral("1 outage"));
        emit w->OutagesView->activated(w->OutagesView->model()->index(0, 0));
        auto *history = form->findChild<THistoryForm *>();
        QVERIFY(history);
        QCOMPARE(history->identity(), QStringLiteral("10.0.0.1 office"));
        QVERIFY(w->close());
        form->close();
        QCOMPARE(world.errors.messages, QStringList());
    }
};

QTEST_MAIN(TestHistoryUi)
#include "tst_historyui.moc"
