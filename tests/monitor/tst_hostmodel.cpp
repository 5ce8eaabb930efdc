// The watched hosts as data: the collection's rows and signals, the table model over it, its
// sorting and filters, and the summary line, with scripted echoes.
#include "hostcollection.h"
#include "hostprobe.h"
#include "hostsummary.h"
#include "hosttablemodel.h"
#include "scriptedcore.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Probes that run (their next cycle an hour away) and take results by hand.
struct Hosts
{
    ScriptedEchoLauncher echoes;
    ScriptedResolver resolver;
    std::vector<std::unique_ptr<HostProbe>> probes;
    HostCollection collection;

    HostProbe *add(const QString &text)
    {
        auto p = std::make_unique<HostProbe>();
        p->setHost(text + QStringLiteral(" interval=1h"));
        p->setKeepPoints(true);
        p->setRunning(true);
        p->beginRun();
        probes.push_back(std::move(p));
        return probes.back().get();
    }
    // rtt >= 0 a reply, -1 none, -2 an answer from a router.
    void feed(HostProbe *p, std::initializer_list<int> rtts)
    {
        for (int rtt : rtts) {
            p->beginCycle();
            QCoreApplication::processEvents();
            echoes.replyAndProcess(rtt == -2 ? 3 : rtt, rtt == -2 ? QStringLiteral("192.0.2.254") : QString());
        }
    }
    void syncAll()
    {
        QList<HostCollection::Entry> entries;
        for (size_t i = 0; i < probes.size(); ++i)
            entries.append({ probes[i].get(), QStringLiteral("PingFrame_%1").arg(i), HostCollection::Place::Column1 });
        collection.sync(entries);
    }
};

QStringList column(const QAbstractItemModel &m, int col)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out.append(m.index(r, col).data().toString());
    return out;
}

} // namespace

class TestHostModel : public QObject
{
    Q_OBJECT
private slots:
    void collection_addsRemovesAndMovesByProbe()
    {
        Hosts h;
        HostProbe *a = h.add(QStringLiteral("192.0.2.1"));
        HostProbe *b = h.add(QStringLiteral("192.0.2.2"));
        HostProbe *c = h.add(QStringLiteral("192.0.2.3"));
        HostTableModel model(&h.collection);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        h.syncAll();
        QCOMPARE(inserted.size(), 3);
        QCOMPARE(column(model, HostTableModel::Host),
            QStringList({ QStringLiteral("192.0.2.1"), QStringLiteral("192.0.2.2"), QStringLiteral("192.0.2.3") }));

        // A move keeps the rows; a persistent index follows its host.
        QPersistentModelIndex onB = model.index(1, HostTableModel::Host);
        using P = HostCollection::Place;
        h.collection.sync({ { c, QStringLiteral("PingFrame_0"), P::Column1 },
            { a, QStringLiteral("PingFrame_1"), P::Column1 }, { b, QStringLiteral("PingFrame2_0"), P::Column2 } });
        QCOMPARE(inserted.size(), 3);
        QCOMPARE(removed.size(), 0);
        QCOMPARE(layout.size(), 1);
        QCOMPARE(onB.row(), 2);
        QCOMPARE(h.collection.at(2).name, QStringLiteral("PingFrame2_0"));
        QCOMPARE(h.collection.rowOf(a), 1);

        // A removal says which row went; a probe freed without a word leaves too.
        h.collection.sync(
            { { c, QStringLiteral("PingFrame_0"), P::Column1 }, { b, QStringLiteral("PingFrame2_0"), P::Column2 } });
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.first().at(1).toInt(), 1);
        h.probes.erase(h.probes.begin() + 2); // c
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(h.collection.rowOf(b), 0);
        QCOMPARE(onB.row(), 0);
    }

    // A result changes its own row only.
    void result_changesItsRowOnly()
    {
        Hosts h;
        h.add(QStringLiteral("192.0.2.1"));
        HostProbe *b = h.add(QStringLiteral("192.0.2.2 core router"));
        h.syncAll();
        HostTableModel model(&h.collection);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        h.feed(b, { 12 });
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
        QCOMPARE(changed.first().at(1).toModelIndex().row(), 1);
        const auto cell = [&](int col) { return model.index(1, col).data().toString(); };
        QCOMPARE(cell(HostTableModel::State), QStringLiteral("up"));
        QCOMPARE(cell(HostTableModel::Host), QStringLiteral("192.0.2.2"));
        QCOMPARE(cell(HostTableModel::Label), QStringLiteral("core router"));
        QCOMPARE(cell(HostTableModel::Address), QStringLiteral("192.0.2.2"));
        QCOMPARE(cell(HostTableModel::Rtt), QStringLiteral("12 ms"));
        QCOMPARE(cell(HostTableModel::Loss), QStringLiteral("0.0 %"));
        QCOMPARE(model.index(0, HostTableModel::State).data().toString(), QStringLiteral("waiting for a result"));
    }

    void rows_stateFiguresAndDownSince()
    {
        Hosts h;
        HostProbe *down = h.add(QStringLiteral("192.0.2.1"));
        HostProbe *lossy = h.add(QStringLiteral("192.0.2.2"));
        h.syncAll();
        HostTableModel model(&h.collection);
        PinnedClock clock;
        h.feed(down, { 5 });
        const QDateTime firstMiss = clock.now.addMSecs(1000);
        for (int i = 0; i < 3; ++i) {
            clock.advance(1000);
            h.feed(down, { -1 });
        }
        h.feed(lossy, { 10, -2, 30, 20 });
        QCOMPARE(model.stateAt(0), HostState::State::Down);
        QCOMPARE(model.stateAt(1), HostState::State::Degraded);
        QCOMPARE(down->downSince(), firstMiss);
        QVERIFY(model.index(0, HostTableModel::DownFor).data().toString().startsWith(QStringLiteral("since 12:00:01")));
        QCOMPARE(model.index(1, HostTableModel::DownFor).data().toString(), QString());
        QCOMPARE(model.index(1, HostTableModel::Loss).data().toString(), QStringLiteral("25.0 %"));
        QCOMPARE(model.index(1, HostTableModel::Low).data().toString(), QStringLiteral("10 ms"));
        QCOMPARE(model.index(1, HostTableModel::High).data().toString(), QStringLiteral("30 ms"));
        QCOMPARE(model.index(1, HostTableModel::Jitter).data().toString(), QStringLiteral("15 ms"));
        QCOMPARE(model.index(1, HostTableModel::Results)
                     .data(HostTableModel::OutcomesRole)
                     .value<QList<EchoOutcome>>()
                     .size(),
            4);
        // Back at the next reply.
        h.feed(down, { 7 });
        QVERIFY(!down->downSince().isValid());
        QCOMPARE(model.stateAt(0), HostState::State::Degraded);
    }

    // The view's own order; the board's order stays as it is.
    void sortAndFilter()
    {
        Hosts h;
        HostProbe *up = h.add(QStringLiteral("192.0.2.1 alpha"));
        HostProbe *slowUp = h.add(QStringLiteral("192.0.2.2 beta"));
        HostProbe *down = h.add(QStringLiteral("192.0.2.3 gamma"));
        HostProbe *lossy = h.add(QStringLiteral("192.0.2.4 delta"));
        HostProbe *worse = h.add(QStringLiteral("192.0.2.5 epsilon"));
        h.add(QStringLiteral("192.0.2.6 zeta")); // waiting
        h.syncAll();
        HostTableModel model(&h.collection);
        h.feed(up, { 3 });
        h.feed(slowUp, { 300 });
        h.feed(down, { -1, -1, -1 });
        h.feed(lossy, { 5, -1, 5, 5 });
        h.feed(worse, { 5, -1, -1, 5 });
        HostFilterModel view;
        view.setSourceModel(&model);

        view.sortProblemsFirst();
        QCOMPARE(column(view, HostTableModel::Label),
            QStringList({ QStringLiteral("gamma"), QStringLiteral("epsilon"), QStringLiteral("delta"),
                QStringLiteral("beta"), QStringLiteral("alpha"), QStringLiteral("zeta") }));
        view.sort(HostTableModel::Rtt, Qt::DescendingOrder);
        // Hosts whose newest result is no reply have no RTT: they sort as the longest.
        QCOMPARE(view.index(1, HostTableModel::Label).data().toString(), QStringLiteral("zeta"));
        QCOMPARE(view.index(2, HostTableModel::Label).data().toString(), QStringLiteral("beta"));
        view.sort(HostTableModel::Label, Qt::AscendingOrder);
        QCOMPARE(view.index(0, HostTableModel::Label).data().toString(), QStringLiteral("alpha"));
        QCOMPARE(model.index(0, HostTableModel::Label).data().toString(), QStringLiteral("alpha"));
        QCOMPARE(model.index(2, HostTableModel::Label).data().toString(), QStringLiteral("gamma"));

        view.setStateFilter(HostState::State::Degraded);
        QCOMPARE(
            column(view, HostTableModel::Label), QStringList({ QStringLiteral("delta"), QStringLiteral("epsilon") }));
        view.setStateFilter(std::nullopt);
        view.setTextFilter(QStringLiteral("EPS"));
        QCOMPARE(column(view, HostTableModel::Label), QStringList({ QStringLiteral("epsilon") }));
        view.setTextFilter(QStringLiteral("192.0.2.3"));
        QCOMPARE(column(view, HostTableModel::Label), QStringList({ QStringLiteral("gamma") }));
        // A result that changes a row's state moves it in a sorted, filtered view.
        view.setTextFilter(QString());
        view.setStateFilter(HostState::State::Down);
        QCOMPARE(view.rowCount(), 1);
        h.feed(up, { -1, -1, -1 });
        QCOMPARE(view.rowCount(), 2);
    }

    void summary_data()
    {
        using S = HostState::State;
        QTest::addColumn<QList<S>>("states");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << QList<S>() << "0 hosts";
        QTest::newRow("one up") << QList<S> { S::Up } << "1 host";
        QTest::newRow("order and zeros") << QList<S> { S::Degraded, S::Up, S::Down, S::Down, S::LookupFailed,
            S::Waiting, S::Stopped } << "7 hosts · 1 lookup failed · 2 down · 1 degraded";
        QList<S> many(150, S::Up);
        for (int i = 0; i < 50; ++i)
            many[i] = S::Down;
        QTest::newRow("150") << many << "150 hosts · 50 down";
    }

    void summary()
    {
        QFETCH(QList<HostState::State>, states);
        HostSummary s;
        for (HostState::State st : states)
            s.add(st);
        QTEST(s.text(), "text");
    }
};

QTEST_GUILESS_MAIN(TestHostModel)
#include "tst_hostmodel.moc"
