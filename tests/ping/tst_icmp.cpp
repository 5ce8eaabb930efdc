// Real ICMP against the network test kit's hosts (run through tests/netkit/netkit.sh).
#include "icmp.h"
#include "pingthread.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {
const QString kAnswer = QStringLiteral("10.77.2.2");
const QString kSilent = QStringLiteral("10.77.3.2");
const QString kBehindRouter = QStringLiteral("10.77.9.9");
const QString kRouter = QStringLiteral("10.77.1.1");
const QString kResponder = QStringLiteral("10.77.4.10");
const QString kDelay20 = QStringLiteral("10.77.4.20");
const QString kDelay100 = QStringLiteral("10.77.4.100");
const QString kForeign = QStringLiteral("10.77.4.40");
const QString kBadSum = QStringLiteral("10.77.4.71");
const QString kUnreachable = QStringLiteral("10.77.4.72");
const QString kUnreachableBadSum = QStringLiteral("10.77.4.73");
const QString kUnreachableBadQuote = QStringLiteral("10.77.4.74");
// The kit's IPv6 hosts.
const QString kAnswer6 = QStringLiteral("fd77:2::2");
const QString kSilent6 = QStringLiteral("fd77:3::2");
const QString kBehindRouter6 = QStringLiteral("fd77:9::9");
const QString kRouter6 = QStringLiteral("fd77:1::1");

std::shared_ptr<TPingThread> echo(const QString &target, int timeout = 0, int size = 0, int ttl = 0)
{
    auto w = TPingThread::Create();
    w->PingHostName = target;
    w->PingTimeout = timeout;
    w->PingSize = size;
    w->PingTTL = ttl;
    w->Execute();
    return w;
}

QMap<QString, QString> probe(const QStringList &args, const QStringList &asUser = {})
{
    QProcess p;
    if (asUser.isEmpty())
        p.start(QStringLiteral(NETKIT_PROBE), args);
    else
        p.start(QStringLiteral("setpriv"), asUser + QStringList { QStringLiteral(NETKIT_PROBE) } + args);
    p.waitForFinished(15000);
    QMap<QString, QString> out;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            out.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return out;
}

const QStringList kNobody { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
    QStringLiteral("--clear-groups") };

void setPingGroupRange(const QByteArray &range)
{
    QFile f(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(range);
}
} // namespace

class TestIcmp : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (tests/netkit/netkit.sh)");
    }
    void cleanup() { TICMP::SetSocketPreference(TICMP::SocketKind::Auto); }

    void reply_fromTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("sockets");
        for (auto [name, kind] :
            { std::pair { "ping", TICMP::SocketKind::PingOnly }, std::pair { "raw", TICMP::SocketKind::RawOnly } }) {
            QTest::addRow("loopback %s", name) << QStringLiteral("127.0.0.1") << int(kind);
            QTest::addRow("namespace host %s", name) << kAnswer << int(kind);
            QTest::addRow("responder %s", name) << kResponder << int(kind);
        }
    }
    void reply_fromTarget()
    {
        QFETCH(QString, target);
        QFETCH(int, sockets);
        TICMP::SetSocketPreference(TICMP::SocketKind(sockets));
        const auto w = echo(QStringLiteral(" ") + target + QStringLiteral(" "), 2000);
        QCOMPARE(w->ReplyTotal, 1);
        QCOMPARE(w->DnsHostIP, target);
        QCOMPARE(w->ReplyIPAddr, target);
        QCOMPARE(w->ReplyStatus, 0u);
        QCOMPARE(w->ReplyDataSize, 56);
        QCOMPARE(w->SocketKind,
            sockets == int(TICMP::SocketKind::PingOnly) ? QStringLiteral("ping") : QStringLiteral("raw"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("sockets");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("code"); // ReplyStatus with a reply, ErrCode without
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("times"); // echoes in a row, each with the same outcome
        for (auto [name, kind] :
            { std::pair { "ping", TICMP::SocketKind::PingOnly }, std::pair { "raw", TICMP::SocketKind::RawOnly } }) {
            QTest::addRow("router says host unreachable %s", name)
                << kBehindRouter << int(kind) << 1 << kRouter << 11003 << QString() << 1;
            // Every one answered: the kit's router must not ration its "unreachable" answers.
            QTest::addRow("router says host unreachable 20 in a row %s", name)
                << kBehindRouter << int(kind) << 1 << kRouter << 11003 << QString() << 20;
            QTest::addRow("silent host %s", name)
                << kSilent << int(kind) << 0 << QString() << 11010 << QStringLiteral("Request timed out") << 1;
            QTest::addRow("all ones %s", name) << QStringLiteral("255.255.255.255") << int(kind) << 0 << QString()
                                               << 100 << QStringLiteral("Invalid IPv4 host address") << 1;
            QTest::addRow("blank %s", name)
                << QStringLiteral("   ") << int(kind) << 0 << QString() << 100 << QStringLiteral("Blank adreess") << 1;
            QTest::addRow("foreign source %s", name)
                << kForeign << int(kind) << 1 << QStringLiteral("10.77.4.3") << 0 << QString() << 1;
            // Damaged answers are no answers: the ping socket's kernel drops them, the raw
            // socket's reader must.
            QTest::addRow("target says host unreachable %s", name)
                << kUnreachable << int(kind) << 1 << kUnreachable << 11003 << QString() << 1;
            QTest::addRow("reply with a wrong checksum %s", name)
                << kBadSum << int(kind) << 0 << QString() << 11010 << QStringLiteral("Request timed out") << 2;
            QTest::addRow("unreachable with a wrong checksum %s", name)
                << kUnreachableBadSum << int(kind) << 0 << QString() << 11010 << QStringLiteral("Request timed out")
                << 2;
        }
        // An error whose quote matches the request's numbers but not the request itself.
        QTest::addRow("unreachable quoting another request raw")
            << kUnreachableBadQuote << int(TICMP::SocketKind::RawOnly) << 0 << QString() << 11010
            << QStringLiteral("Request timed out") << 2;
    }
    void failures()
    {
        QFETCH(QString, target);
        QFETCH(int, sockets);
        QFETCH(int, total);
        QFETCH(QString, from);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(int, times);
        TICMP::SetSocketPreference(TICMP::SocketKind(sockets));
        for (int i = 1; i <= times; ++i) {
            const auto w = echo(target, total ? 2000 : 700);
            QVERIFY2(w->ReplyTotal == total,
                qPrintable(QStringLiteral("echo %1 of %2: %3 replies").arg(i).arg(times).arg(w->ReplyTotal)));
            if (total) {
                QCOMPARE(w->ReplyIPAddr, from);
                QCOMPARE(int(w->ReplyStatus), code);
                QCOMPARE(w->DnsHostIP, target);
            } else {
                QCOMPARE(w->ErrCode, code);
                QCOMPARE(w->ErrString, text);
                QCOMPARE(w->DnsHostIP, target.trimmed());
            }
        }
    }

    // ICMPv6 over either socket: each row's echo repeated, each with the same outcome.
    void ipv6_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("sockets");
        QTest::addColumn<int>("ttl");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("code"); // ReplyStatus with a reply, ErrCode without
        QTest::addColumn<QString>("hostIP");
        QTest::addColumn<int>("times");
        for (auto [name, kind] :
            { std::pair { "ping", TICMP::SocketKind::PingOnly }, std::pair { "raw", TICMP::SocketKind::RawOnly } }) {
            QTest::addRow("loopback %s", name) << QStringLiteral("::1") << int(kind) << 0 << 1 << QStringLiteral("::1")
                                               << 0 << QStringLiteral("::1") << 1;
            QTest::addRow("namespace host %s", name)
                << kAnswer6 << int(kind) << 0 << 1 << kAnswer6 << 0 << kAnswer6 << 3;
            QTest::addRow("in brackets, long form %s", name)
                << QStringLiteral("[FD77:2:0:0:0:0:0:2]") << int(kind) << 0 << 1 << kAnswer6 << 0 << kAnswer6 << 1;
            QTest::addRow("name with only an IPv6 address %s", name)
                << QStringLiteral("v6only.netkit") << int(kind) << 0 << 1 << kAnswer6 << 0 << kAnswer6 << 1;
            QTest::addRow("name with both families goes IPv4 %s", name)
                << QStringLiteral("both.netkit") << int(kind) << 0 << 1 << kAnswer << 0 << kAnswer << 1;
            QTest::addRow("silent host %s", name)
                << kSilent6 << int(kind) << 0 << 0 << QString() << 11010 << kSilent6 << 2;
            QTest::addRow("router says address unreachable %s", name)
                << kBehindRouter6 << int(kind) << 0 << 1 << kRouter6 << 11003 << kBehindRouter6 << 20;
            QTest::addRow("hop limit 1 expires at the router %s", name)
                << kAnswer6 << int(kind) << 1 << 1 << kRouter6 << 11013 << kAnswer6 << 3;
            QTest::addRow("hop limit 2 reaches the host %s", name)
                << kAnswer6 << int(kind) << 2 << 1 << kAnswer6 << 0 << kAnswer6 << 1;
        }
    }
    void ipv6()
    {
        QFETCH(QString, target);
        QFETCH(int, sockets);
        QFETCH(int, ttl);
        QFETCH(int, total);
        QFETCH(QString, from);
        QFETCH(int, code);
        QFETCH(QString, hostIP);
        QFETCH(int, times);
        TICMP::SetSocketPreference(TICMP::SocketKind(sockets));
        for (int i = 1; i <= times; ++i) {
            const auto w = echo(target, total ? 2000 : 700, 0, ttl);
            QVERIFY2(w->ReplyTotal == total,
                qPrintable(QStringLiteral("echo %1 of %2: %3 replies, error %4")
                               .arg(i)
                               .arg(times)
                               .arg(w->ReplyTotal)
                               .arg(w->ErrCode)));
            QCOMPARE(w->DnsHostIP, hostIP);
            QCOMPARE(w->SocketKind,
                sockets == int(TICMP::SocketKind::PingOnly) ? QStringLiteral("ping") : QStringLiteral("raw"));
            if (total) {
                QCOMPARE(w->ReplyIPAddr, from);
                QCOMPARE(int(w->ReplyStatus), code);
                QCOMPARE(w->ReplyDataSize, 56);
            } else {
                QCOMPARE(w->ErrCode, code);
                QCOMPARE(w->ErrString, TICMP::ErrorText(std::uint32_t(code)));
            }
        }
    }

    void ipv6SocketKinds_byPrivilege()
    {
        setPingGroupRange("0 2147483647");
        auto r = probe({ kAnswer6, QStringLiteral("--timeout"), QStringLiteral("2000") }, kNobody);
        QCOMPARE(r.value(QStringLiteral("kind")), QStringLiteral("ping"));
        QCOMPARE(r.value(QStringLiteral("total")), QStringLiteral("1"));
        QCOMPARE(r.value(QStringLiteral("from")), kAnswer6);
        setPingGroupRange("1 0");
        r = probe({ kAnswer6, QStringLiteral("--timeout"), QStringLiteral("2000") }, kNobody);
        QCOMPARE(r.value(QStringLiteral("total")), QStringLiteral("0"));
        QCOMPARE(r.value(QStringLiteral("err")), QStringLiteral("100"));
        QCOMPARE(r.value(QStringLiteral("errstr")), QStringLiteral("Unable to get IPv6 ICMP handle"));
        r = probe({ kAnswer6, QStringLiteral("--timeout"), QStringLiteral("2000") });
        QCOMPARE(r.value(QStringLiteral("kind")), QStringLiteral("raw"));
        QCOMPARE(r.value(QStringLiteral("total")), QStringLiteral("1"));
        setPingGroupRange("0 2147483647");
    }

    void requestAsTargetSeesIt_defaultsAndTtl()
    {
        const QString log = qEnvironmentVariable("NETKIT_LOG");
        QFile::resize(log, 0);
        const QString text = QString::fromLatin1(kDefaultPingMsg);
        echo(kResponder, 2000, 0, 32); // defaults: 56 bytes
        echo(kResponder, 2000, 10, 32); // size 10: the text's first 10 characters
        echo(kResponder, 2000, 0, 0); // TTL 0: the default 64
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        auto field = [&](int line, int i) { return lines[line].split(' ').value(i); };
        QCOMPARE(field(0, 1), QByteArray("31")); // 32 less the router's hop
        QCOMPARE(field(0, 2), QByteArray("56"));
        QCOMPARE(QByteArray::fromHex(field(0, 3)), text.toLatin1() + QByteArray(11, ' '));
        QCOMPARE(QByteArray::fromHex(field(1, 3)), text.toLatin1().left(10));
        QCOMPARE(field(2, 1), QByteArray("63"));
    }

    void defaultTimeout_isFourSeconds()
    {
        QElapsedTimer t;
        t.start();
        const auto w = echo(kSilent, 0);
        QCOMPARE(w->ReplyTotal, 0);
        QVERIFY2(t.elapsed() >= 3900 && t.elapsed() < 6000, qPrintable(QString::number(t.elapsed())));
    }

    void responderDelay_showsInRtt_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("delay");
        QTest::newRow("20 ms") << kDelay20 << 20;
        QTest::newRow("100 ms") << kDelay100 << 100;
    }
    void responderDelay_showsInRtt()
    {
        QFETCH(QString, target);
        QFETCH(int, delay);
        const auto w = echo(target, 2000);
        QCOMPARE(w->ReplyTotal, 1);
        QVERIFY2(int(w->ReplyRTT) >= delay && int(w->ReplyRTT) < delay + 50, qPrintable(QString::number(w->ReplyRTT)));
    }

    void socketKinds_byPrivilege()
    {
        // An ordinary user gets the ping socket where the group range allows it ...
        setPingGroupRange("0 2147483647");
        auto r = probe({ kAnswer, QStringLiteral("--timeout"), QStringLiteral("2000") }, kNobody);
        QCOMPARE(r.value(QStringLiteral("kind")), QStringLiteral("ping"));
        QCOMPARE(r.value(QStringLiteral("total")), QStringLiteral("1"));
        // ... and neither socket where it does not.
        setPingGroupRange("1 0");
        r = probe({ kAnswer, QStringLiteral("--timeout"), QStringLiteral("2000") }, kNobody);
        QCOMPARE(r.value(QStringLiteral("total")), QStringLiteral("0"));
        QCOMPARE(r.value(QStringLiteral("err")), QStringLiteral("100"));
        QCOMPARE(r.value(QStringLiteral("errstr")), QStringLiteral("Unable to get IPv4 ICMP handle"));
        // root falls back to the raw socket.
        r = probe({ kAnswer, QStringLiteral("--timeout"), QStringLiteral("2000") });
        QCOMPARE(r.value(QStringLiteral("kind")), QStringLiteral("raw"));
        QCOMPARE(r.value(QStringLiteral("total")), QStringLiteral("1"));
        setPingGroupRange("0 2147483647");
    }

    void rawSocket_identifierAndFirstSequenceDrawnEachRun()
    {
        // Two runs of a separate process: neither identifier is its process id, and both the
        // identifier and the first sequence number differ between the runs.
        const QString log = qEnvironmentVariable("NETKIT_LOG");
        QList<QList<QByteArray>> seen;
        for (int run = 0; run < 2; ++run) {
            QFile::resize(log, 0);
            QProcess p;
            p.start(QStringLiteral(NETKIT_PROBE),
                { kResponder, QStringLiteral("--sockets"), QStringLiteral("raw"), QStringLiteral("--timeout"),
                    QStringLiteral("2000") });
            QVERIFY(p.waitForStarted());
            const qint64 pid = p.processId();
            QVERIFY(p.waitForFinished(10000));
            QVERIFY(p.readAllStandardOutput().contains("total=1"));
            QFile f(log);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QList<QByteArray> fields = f.readAll().trimmed().split(' ');
            QCOMPARE(fields.size(), 6);
            QVERIFY2(fields[4].toLong() != (pid & 0xFFFF), fields[4].constData());
            seen.append(fields);
        }
        QVERIFY(seen[0][4] != seen[1][4]);
        QVERIFY(seen[0][5] != seen[1][5]);
    }

    void exitWithEchoesInFlight_isCleanAndQuick()
    {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral(NETKIT_PROBE), { QStringLiteral("--exit-in-flight"), QStringLiteral("20"), kSilent });
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!p.readAllStandardOutput().contains("delivered"));
    }

    void manyConcurrentEchoes_allComeBack()
    {
        QObject owner;
        CompletionPort port(&owner);
        int replies = 0, done = 0;
        const int n = 100;
        for (int i = 0; i < n; ++i) {
            auto w = TPingThread::Create();
            w->PingHostName = i % 2 ? kAnswer : kResponder;
            w->PingTimeout = 3000;
            w->OnTerminate = [&](TPingThread *s) {
                ++done;
                replies += s->ReplyTotal;
            };
            w->Start(port.handle());
        }
        QTRY_COMPARE_WITH_TIMEOUT(done, n, 10000);
        QCOMPARE(replies, n);
    }
};

QTEST_GUILESS_MAIN(TestIcmp)
#include "tst_icmp.moc"
