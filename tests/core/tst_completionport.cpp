// Work handed back from other threads: dropped once its object is gone, run in the order it
// came, and, in a burst, run in slices that let the event loop breathe between them.
#include "completionport.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <memory>
#include <thread>

class TestCompletionPort : public QObject
{
    Q_OBJECT

private slots:
    void closedPort_dropsWorkAlreadyHandedBack()
    {
        auto owner = std::make_unique<QObject>();
        auto port = std::make_unique<CompletionPort>(owner.get());
        const CompletionPort::Handle handle = port->handle();
        int ran = 0;
        std::thread([&] { QVERIFY(CompletionPort::deliver(handle, [&ran] { ++ran; })); }).join();
        port.reset();
        owner.reset();
        QCoreApplication::processEvents();
        QCOMPARE(ran, 0);
        QVERIFY(!CompletionPort::deliver(handle, [&ran] { ++ran; }));
        QVERIFY(!CompletionPort::deliver(nullptr, [&ran] { ++ran; }));
    }

    // A burst of work from a worker, each piece taking a millisecond: it all runs, in order,
    // and a timer of the event loop gets its turn long before the burst is through.
    void burst_runsInOrderAndLetsTimersIn()
    {
        QObject a, b;
        CompletionPort portA(&a), portB(&b);
        const int n = 200;
        QList<int> order;
        QTimer tick;
        int ticksBeforeEnd = 0;
        bool ended = false;
        QObject::connect(&tick, &QTimer::timeout, [&] { ticksBeforeEnd += ended ? 0 : 1; });
        tick.start(1);
        std::thread worker([&, ha = portA.handle(), hb = portB.handle()] {
            for (int i = 0; i < n; ++i)
                CompletionPort::deliver(i % 2 ? hb : ha, [&, i] {
                    QElapsedTimer busy;
                    busy.start();
                    while (busy.nsecsElapsed() < 1000000) { }
                    order.append(i);
                    ended = ended || i == n - 1;
                });
        });
        worker.join();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), n, 10000);
        for (int i = 0; i < n; ++i)
            QCOMPARE(order[i], i);
        // 200 ms of work: a loop held for all of it would let the 1 ms timer in once at most.
        QVERIFY2(ticksBeforeEnd >= 5, qPrintable(QString::number(ticksBeforeEnd)));
    }
};

QTEST_GUILESS_MAIN(TestCompletionPort)
#include "tst_completionport.moc"
