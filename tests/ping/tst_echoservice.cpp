// The shared echo service under load, against the network test kit's hosts (run through
// tests/netkit/netkit.sh): many echoes in flight on one socket, each matched to its own echo.
#include "echoservice.h"
#include "pingthread.h"

#include <QMap>
#include <QTest>

#include <arpa/inet.h>

#include <algorithm>
#include <future>
#include <utility>

namespace {
const QString kAnswer = QStringLiteral("10.77.2.2");
const QString kSilent = QStringLiteral("10.77.3.2");
const QString kRouter = QStringLiteral("10.77.1.1");
const QString kResponder = QStringLiteral("10.77.4.10");
const QString kDelay100 = QStringLiteral("10.77.4.100");
const QString kDelay1000 = QStringLiteral("10.77.4.60");
const QString kFlooder = QStringLiteral("10.77.4.80"); // answers, and floods unmatched replies
const QString kAnswer6 = QStringLiteral("fd77:2::2");
const QString kSilent6 = QStringLiteral("fd77:3::2");
const QString kRouter6 = QStringLiteral("fd77:1::1");

struct Result
{
    int deliveries = 0;
    int total = 0;
    QString from;
    QString dnsHostIP;
    unsigned status = 0;
    int size = 0;
    int errCode = 0;
    QString errString;
    QString kind;
};

// Starts echoes through the real launcher and collects their results by PingId.
class Run
{
public:
    Run()
        : m_port(&m_owner)
    {
    }

    void start(int id, const QString &target, int timeout, int size = 0, int ttl = 0)
    {
        auto w = TPingThread::Create();
        w->PingId = id;
        w->PingHostName = target;
        w->PingTimeout = timeout;
        w->PingSize = size;
        w->PingTTL = ttl;
        w->OnTerminate = [this](TPingThread *s) {
            Result &r = results[s->PingId];
            ++r.deliveries;
            ++delivered;
            r.total = s->ReplyTotal;
            r.from = s->ReplyIPAddr;
            r.dnsHostIP = s->DnsHostIP;
            r.status = s->ReplyStatus;
            r.size = s->ReplyDataSize;
            r.errCode = s->ErrCode;
            r.errString = s->ErrString;
            r.kind = s->SocketKind;
        };
        w->Start(m_port.handle());
    }

    QMap<int, Result> results;
    int delivered = 0;

private:
    QObject m_owner;
    CompletionPort m_port;
};

void addSocketRows()
{
    QTest::addColumn<int>("sockets");
    QTest::newRow("ping socket") << int(TICMP::SocketKind::PingOnly);
    QTest::newRow("raw socket") << int(TICMP::SocketKind::RawOnly);
}

// One echo through the service itself, waited for: its outcome.
EchoService::Outcome echoOnce(const QString &target, int timeoutMs)
{
    EchoService::Request r;
    const QByteArray text = target.toLatin1();
    r.ipv6 = target.contains(u':');
    if (r.ipv6)
        ::inet_pton(AF_INET6, text.constData(), &r.target6);
    else
        r.target = ::inet_addr(text.constData());
    r.data = QByteArray(56, 'x');
    r.timeoutMs = timeoutMs;
    r.sockets = TICMP::SocketPreference();
    std::promise<EchoService::Outcome> done;
    auto outcome = done.get_future();
    EchoService::instance().submit(std::move(r), [&done](const EchoService::Outcome &o) { done.set_value(o); });
    return outcome.get();
}

QString kindName(int sockets)
{
    return sockets == int(TICMP::SocketKind::PingOnly) ? QStringLiteral("ping") : QStringLiteral("raw");
}
} // namespace

class TestEchoService : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (tests/netkit/netkit.sh)");
    }
    void init()
    {
        if (QByteArrayView(QTest::currentTestFunction()).startsWith("roundTripUs"))
            return;
        QFETCH(int, sockets);
        TICMP::SetSocketPreference(TICMP::SocketKind(sockets));
    }
    void cleanup()
    {
        // Nothing of one case may still be in flight in the next.
        QTRY_COMPARE_WITH_TIMEOUT(EchoService::instance().inFlight(), 0, 10000);
        TICMP::SetSocketPreference(TICMP::SocketKind::Auto);
    }

    void concurrentMixedTargets_eachGetsOneResultOfItsKind_data() { addSocketRows(); }
    void concurrentMixedTargets_eachGetsOneResultOfItsKind()
    {
        QFETCH(int, sockets);
        // Answered by a kernel, answered by the responder, never answered, refused by the
        // router, and expiring at the router (TTL 1) although the same host answers the others.
        enum Kind { Answer, Responder, Silent, Unreachable, TtlExpired, Kinds };
        const int n = 500;
        Run run;
        for (int i = 0; i < n; ++i) {
            switch (Kind(i % Kinds)) {
            case Answer:
                run.start(i, kAnswer, 1500);
                break;
            case Responder:
                run.start(i, kResponder, 1500);
                break;
            case Silent:
                run.start(i, kSilent, 1500);
                break;
            case Unreachable:
                run.start(i, QStringLiteral("10.77.9.%1").arg(1 + i % 200), 1500);
                break;
            case TtlExpired:
                run.start(i, kAnswer, 1500, 0, 1);
                break;
            case Kinds:
                break;
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(run.delivered, n, 20000);
        QCOMPARE(EchoService::instance().inFlight(), 0);
        QCoreApplication::processEvents(); // a duplicate would be queued by now
        QCOMPARE(run.delivered, n);
        for (int i = 0; i < n; ++i) {
            const Result r = run.results.value(i);
            const QString what = QStringLiteral("echo %1").arg(i);
            QVERIFY2(r.deliveries == 1, qPrintable(what));
            QVERIFY2(r.kind == kindName(sockets), qPrintable(what + QStringLiteral(": ") + r.kind));
            switch (Kind(i % Kinds)) {
            case Answer:
            case Responder: {
                const QString target = i % Kinds == Answer ? kAnswer : kResponder;
                QVERIFY2(r.total == 1 && r.status == 0 && r.from == target && r.size == 56,
                    qPrintable(what + QStringLiteral(" from ") + r.from + QStringLiteral(" status ")
                        + QString::number(r.status)));
                break;
            }
            case Silent:
                QVERIFY2(r.total == 0 && r.errCode == 11010 && r.errString == QStringLiteral("Request timed out")
                        && r.dnsHostIP == kSilent,
                    qPrintable(what + QStringLiteral(" code ") + QString::number(r.errCode)));
                break;
            case Unreachable:
                QVERIFY2(r.total == 1 && r.status == 11003 && r.from == kRouter,
                    qPrintable(what + QStringLiteral(" from ") + r.from + QStringLiteral(" status ")
                        + QString::number(r.status)));
                break;
            case TtlExpired:
                QVERIFY2(r.total == 1 && r.status == 11013 && r.from == kRouter,
                    qPrintable(what + QStringLiteral(" from ") + r.from + QStringLiteral(" status ")
                        + QString::number(r.status)));
                break;
            case Kinds:
                break;
            }
        }
    }

    void concurrentMixedFamilies_eachGetsOneResultOfItsKind_data() { addSocketRows(); }
    void concurrentMixedFamilies_eachGetsOneResultOfItsKind()
    {
        QFETCH(int, sockets);
        // IPv4 and IPv6 echoes in flight together, one table of sequence numbers: each gets
        // its own family's answer, the IPv6 ones all four outcomes.
        enum Kind { Answer4, Unreachable4, Answer6, Silent6, Unreachable6, HopLimit6, Loopback6, Kinds };
        const int n = 700;
        Run run;
        for (int i = 0; i < n; ++i) {
            switch (Kind(i % Kinds)) {
            case Answer4:
                run.start(i, kAnswer, 1500);
                break;
            case Unreachable4:
                run.start(i, QStringLiteral("10.77.9.%1").arg(1 + i % 200), 1500);
                break;
            case Answer6:
                run.start(i, kAnswer6, 1500);
                break;
            case Silent6:
                run.start(i, kSilent6, 1500);
                break;
            case Unreachable6:
                run.start(i, QStringLiteral("fd77:9::%1").arg(1 + i % 200, 0, 16), 1500);
                break;
            case HopLimit6:
                run.start(i, kAnswer6, 1500, 0, 1);
                break;
            case Loopback6:
                run.start(i, QStringLiteral("::1"), 1500);
                break;
            case Kinds:
                break;
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(run.delivered, n, 20000);
        QCOMPARE(EchoService::instance().inFlight(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(run.delivered, n);
        for (int i = 0; i < n; ++i) {
            const Result r = run.results.value(i);
            const QString what = QStringLiteral("echo %1: total %2 from %3 status %4 error %5")
                                     .arg(i)
                                     .arg(r.total)
                                     .arg(r.from)
                                     .arg(r.status)
                                     .arg(r.errCode);
            QVERIFY2(r.deliveries == 1, qPrintable(what));
            QVERIFY2(r.kind == kindName(sockets), qPrintable(what + QStringLiteral(": ") + r.kind));
            bool ok = false;
            switch (Kind(i % Kinds)) {
            case Answer4:
                ok = r.total == 1 && r.status == 0 && r.from == kAnswer && r.size == 56;
                break;
            case Unreachable4:
                ok = r.total == 1 && r.status == 11003 && r.from == kRouter;
                break;
            case Answer6:
                ok = r.total == 1 && r.status == 0 && r.from == kAnswer6 && r.size == 56;
                break;
            case Silent6:
                ok = r.total == 0 && r.errCode == 11010 && r.dnsHostIP == kSilent6;
                break;
            case Unreachable6:
                ok = r.total == 1 && r.status == 11003 && r.from == kRouter6;
                break;
            case HopLimit6:
                ok = r.total == 1 && r.status == 11013 && r.from == kRouter6;
                break;
            case Loopback6:
                ok = r.total == 1 && r.status == 0 && r.from == QStringLiteral("::1");
                break;
            case Kinds:
                break;
            }
            QVERIFY2(ok, qPrintable(what));
        }
    }

    // The round trip comes from the kernel's receive stamp and the real-time clock read just
    // before the send; a clock step between the two leaves the monotonic measurement.
    void roundTripUs_fromTheStamp_orTheMonotonicClock_data()
    {
        QTest::addColumn<qint64>("sentNs"); // real-time clock, ns
        QTest::addColumn<qint64>("stampNs"); // -1: no stamp
        QTest::addColumn<qint64>("monotonicUs");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<quint32>("expected");
        QTest::addColumn<bool>("stamped");
        const qint64 t = 1'797'000'000'999'900'000; // a send 0.1 ms before a whole second
        QTest::newRow("stamp, across a second") << t << t + 345'678 << qint64(900) << 4000 << 345u << true;
        QTest::newRow("stamp at the time-out") << t << t + 4'000'000'000 << qint64(4000100) << 4000 << 4000000u << true;
        QTest::newRow("no stamp") << t << qint64(-1) << qint64(1234) << 4000 << 1234u << false;
        QTest::newRow("clock set back in between")
            << t << t - 2'000'000'000 << qint64(20500) << 4000 << 20500u << false;
        QTest::newRow("clock set forward beyond the time-out")
            << t << t + 3'600'000'000'000 << qint64(20500) << 4000 << 20500u << false;
        QTest::newRow("stamp just past the time-out")
            << t << t + 4'000'001'000 << qint64(3999) << 4000 << 3999u << false;
        QTest::newRow("monotonic below zero") << t << qint64(-1) << qint64(-5) << 4000 << 0u << false;
    }
    void roundTripUs_fromTheStamp_orTheMonotonicClock()
    {
        QFETCH(qint64, sentNs);
        QFETCH(qint64, stampNs);
        QFETCH(qint64, monotonicUs);
        QFETCH(int, timeoutMs);
        QFETCH(quint32, expected);
        QFETCH(bool, stamped);
        const auto toTimespec = [](qint64 ns) {
            return timespec { time_t(ns / 1'000'000'000), long(ns % 1'000'000'000) };
        };
        const timespec sent = toTimespec(sentNs);
        const timespec stamp = toTimespec(stampNs);
        bool used = !stamped;
        QCOMPARE(
            EchoService::roundTripUs(sent, stampNs < 0 ? nullptr : &stamp, monotonicUs, timeoutMs, &used), expected);
        QCOMPARE(used, stamped);
    }

    // Round trips in microseconds on both sockets and families: a loopback reply is a fraction
    // of a millisecond, not 0, and the responder's delayed replies measure their delay.
    void replyRtt_inMicroseconds_data()
    {
        QTest::addColumn<int>("sockets");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("delayMs");
        for (const int sockets : { int(TICMP::SocketKind::PingOnly), int(TICMP::SocketKind::RawOnly) }) {
            for (const auto &[target, delay] : { std::pair { "127.0.0.1", 0 }, std::pair { "::1", 0 },
                     std::pair { "10.77.4.20", 20 }, std::pair { "10.77.4.100", 100 } })
                QTest::addRow("%s socket, %s", qPrintable(kindName(sockets)), target)
                    << sockets << QString::fromLatin1(target) << delay;
        }
    }
    void replyRtt_inMicroseconds()
    {
        QFETCH(QString, target);
        QFETCH(int, delayMs);
        QList<quint32> rtts;
        bool fraction = false;
        for (int i = 0; i < 11; ++i) {
            const EchoService::Outcome o = echoOnce(target, 2000);
            QCOMPARE(o.replies, 1);
            QCOMPARE(o.rttMs, o.rttUs / 1000);
            QVERIFY(o.stamped);
            fraction = fraction || o.rttUs % 1000 != 0;
            rtts.append(o.rttUs);
        }
        std::sort(rtts.begin(), rtts.end());
        const quint32 median = rtts.at(rtts.size() / 2);
        const QByteArray all = QByteArray::number(median) + " us median of " + QByteArray::number(rtts.size());
        QVERIFY2(fraction, all.constData());
        if (delayMs == 0) {
            QVERIFY2(rtts.first() > 0, all.constData());
            QVERIFY2(median < 1000, all.constData());
        } else {
            // The responder sends on its millisecond poll, so a little late, never early.
            QVERIFY2(median >= quint32(delayMs) * 1000 && median <= quint32(delayMs) * 1000 + 5000, all.constData());
        }
    }

    void sequenceWrap_skipsNumbersInFlight_data() { addSocketRows(); }
    void sequenceWrap_skipsNumbersInFlight()
    {
        // The echo to the silent host holds sequence 0 while the others wrap past it.
        Run run;
        EchoService::instance().setNextSequence(0);
        run.start(0, kSilent, 2000);
        EchoService::instance().setNextSequence(0xFFFE);
        for (int i = 1; i <= 4; ++i)
            run.start(i, kAnswer, 2000, 10 * i);
        QTRY_COMPARE_WITH_TIMEOUT(run.delivered, 5, 10000);
        QCOMPARE(run.results.value(0).total, 0);
        QCOMPARE(run.results.value(0).errCode, 11010);
        for (int i = 1; i <= 4; ++i) {
            QCOMPARE(run.results.value(i).deliveries, 1);
            QCOMPARE(run.results.value(i).total, 1);
            QCOMPARE(run.results.value(i).from, kAnswer);
            QCOMPARE(run.results.value(i).size, 10 * i);
        }
    }

    void lateReply_isDroppedAndCounted_data() { addSocketRows(); }
    void lateReply_isDroppedAndCounted()
    {
        const auto lateBefore = EchoService::instance().counters().late;
        Run run;
        run.start(1, kDelay1000, 300); // the answer comes a second later
        QTRY_COMPARE_WITH_TIMEOUT(run.delivered, 1, 5000);
        QCOMPARE(run.results.value(1).total, 0);
        QCOMPARE(run.results.value(1).errCode, 11010);
        QTRY_VERIFY_WITH_TIMEOUT(EchoService::instance().counters().late > lateBefore, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(run.delivered, 1);
        QCOMPARE(run.results.value(1).deliveries, 1);
    }

    void sameHostTwiceInFlight_eachGetsItsOwnResult_data() { addSocketRows(); }
    void sameHostTwiceInFlight_eachGetsItsOwnResult()
    {
        // As when a frame is stopped and started again before its echo came back: the second
        // echo to the host leaves while the first is still on its way.
        Run run;
        run.start(1, kDelay100, 2000, 10);
        run.start(2, kDelay100, 2000, 56);
        QTRY_COMPARE_WITH_TIMEOUT(run.delivered, 2, 10000);
        QCOMPARE(run.results.value(1).deliveries, 1);
        QCOMPARE(run.results.value(2).deliveries, 1);
        QCOMPARE(run.results.value(1).size, 10);
        QCOMPARE(run.results.value(2).size, 56);
        QCOMPARE(run.results.value(1).from, kDelay100);
        QCOMPARE(run.results.value(2).from, kDelay100);
    }

    void unmatchedReplyFlood_deliversOnlyTheEchoesOwnResults_data() { addSocketRows(); }
    void unmatchedReplyFlood_deliversOnlyTheEchoesOwnResults()
    {
        // The first echo sets the flood off: tens of thousands of replies a second with our
        // identifier and sequence numbers of no echo in flight. The echoes that follow still
        // get their own replies, one completion each, and the flood none.
        auto &service = EchoService::instance();
        const auto before = service.counters();
        Run run;
        run.start(0, kFlooder, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(run.delivered, 1, 5000);
        const int n = 20;
        for (int i = 1; i <= n; ++i) {
            run.start(i, kFlooder, 2000);
            run.start(100 + i, kAnswer, 2000);
            QTest::qWait(50);
        }
        QTRY_COMPARE_WITH_TIMEOUT(run.delivered, 1 + 2 * n, 10000);
        const auto during = service.counters();
        QVERIFY2(during.late - before.late > 1000, qPrintable(QString::number(during.late - before.late)));
        QCOMPARE(during.completed - before.completed, quint64(1 + 2 * n));
        QCOMPARE(during.replies - before.replies, quint64(1 + 2 * n));
        for (auto it = run.results.cbegin(); it != run.results.cend(); ++it) {
            QCOMPARE(it->deliveries, 1);
            QCOMPARE(it->total, 1);
            QCOMPARE(it->from, it.key() >= 100 ? kAnswer : kFlooder);
        }
        // Let the flood end (the responder stops two seconds after the last request), so that
        // no stray reply meets the next case's echoes.
        quint64 last = ~quint64(0);
        auto quiet = [&] {
            const quint64 now = service.counters().late;
            return std::exchange(last, now) == now;
        };
        QTRY_VERIFY_WITH_TIMEOUT(quiet(), 8000);
        QCoreApplication::processEvents();
        QCOMPARE(run.delivered, 1 + 2 * n);
    }
};

QTEST_GUILESS_MAIN(TestEchoService)
#include "tst_echoservice.moc"
