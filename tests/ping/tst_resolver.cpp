#include "skylarkerror.h"
#include "wsocket.h"

#include <QSignalSpy>
#include <QTest>

// Records completions of one resolver.
struct Completions
{
    explicit Completions(TWSocket &s)
    {
        s.OnDnsLookupDone = [this, &s](QObject *, std::uint16_t err) {
            codes.append(err);
            results.append(s.DnsResult);
        };
    }
    QList<int> codes;
    QStringList results;
};

class ScriptedBackend : public IResolverBackend
{
public:
    ScriptedBackend() { setCurrent(this); }
    ~ScriptedBackend() override { setCurrent(nullptr); }
    void lookup(const QByteArray &name, Done done) override
    {
        asked.append(QString::fromLatin1(name));
        pending.append(done);
    }
    QStringList asked;
    QList<Done> pending;
};

class TestResolver : public QObject
{
    Q_OBJECT
private slots:
    void dotted_completesInsideDnsLookup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("result");
        QTest::newRow("plain") << QStringLiteral("192.168.1.10") << QStringLiteral("192.168.1.10");
        QTest::newRow("blanks") << QStringLiteral("  10.0.0.1 ") << QStringLiteral("10.0.0.1");
        QTest::newRow("leading zeros are octal") << QStringLiteral("010.0.0.012") << QStringLiteral("8.0.0.10");
    }
    void dotted_completesInsideDnsLookup()
    {
        QFETCH(QString, name);
        QFETCH(QString, result);
        ScriptedBackend backend;
        TWSocket s;
        Completions c(s);
        s.DnsLookup(name);
        QCOMPARE(c.codes, QList<int> { 0 });
        QCOMPARE(c.results, QStringList { result });
        QCOMPARE(s.DnsResultList, QStringList { result });
        QVERIFY(backend.asked.isEmpty());
    }

    void notDotted_goesToBackgroundLookup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ascii");
        QTest::newRow("all ones") << QStringLiteral("255.255.255.255") << QStringLiteral("255.255.255.255");
        QTest::newRow("part over 255") << QStringLiteral("1.2.3.256") << QStringLiteral("1.2.3.256");
        QTest::newRow("leading dot") << QStringLiteral(".1.2.3") << QStringLiteral(".1.2.3");
        QTest::newRow("blanks only") << QStringLiteral("   ") << QString();
        QTest::newRow("idna") << QStringLiteral(" bücher.example ") << QStringLiteral("xn--bcher-kva.example");
        QTest::newRow("ideographic dots")
            << QStringLiteral("bücher\u3002example") << QStringLiteral("xn--bcher-kva.example");
    }
    void notDotted_goesToBackgroundLookup()
    {
        QFETCH(QString, name);
        QFETCH(QString, ascii);
        ScriptedBackend backend;
        TWSocket s;
        Completions c(s);
        s.DnsLookup(name);
        QVERIFY(c.codes.isEmpty());
        QCOMPARE(backend.asked, QStringList { ascii });
        backend.pending.front()(0, { QStringLiteral("10.1.1.1"), QStringLiteral("10.1.1.2") });
        QTRY_COMPARE(c.codes, QList<int> { 0 });
        QCOMPARE(s.DnsResult, QStringLiteral("10.1.1.1"));
        QCOMPARE(s.DnsResultList.size(), 2);
    }

    // Which family and address a host text is pinged at. An empty answer means the text
    // completes inside DnsLookup, without a background lookup.
    void familyChoice_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("answer");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("list");
        const QString v4a = QStringLiteral("10.1.1.1"), v4b = QStringLiteral("10.1.1.2");
        const QString v6a = QStringLiteral("2001:db8::1"), v6b = QStringLiteral("fd77:2::2");
        QTest::newRow("IPv4 literal") << QStringLiteral("10.0.0.1") << QStringList() << QStringLiteral("10.0.0.1")
                                      << QStringList { QStringLiteral("10.0.0.1") };
        QTest::newRow("IPv6 literal") << QStringLiteral("2001:db8::1") << QStringList() << v6a << QStringList { v6a };
        QTest::newRow("IPv6 literal, long form and capitals")
            << QStringLiteral(" 2001:0DB8:0000:0000:0000:0000:0000:0001 ") << QStringList() << v6a
            << QStringList { v6a };
        QTest::newRow("IPv6 loopback") << QStringLiteral("::1") << QStringList() << QStringLiteral("::1")
                                       << QStringList { QStringLiteral("::1") };
        QTest::newRow("IPv6 in brackets")
            << QStringLiteral("[2001:db8::1]") << QStringList() << v6a << QStringList { v6a };
        QTest::newRow("IPv6 with a zone")
            << QStringLiteral("fe80::1%eth0") << QStringList() << QStringLiteral("fe80::1%eth0")
            << QStringList { QStringLiteral("fe80::1%eth0") };
        QTest::newRow("IPv6 with a numeric zone, in brackets")
            << QStringLiteral("[FE80::A%2]") << QStringList() << QStringLiteral("fe80::a%2")
            << QStringList { QStringLiteral("fe80::a%2") };
        QTest::newRow("IPv4-mapped IPv6 is IPv4")
            << QStringLiteral("::ffff:10.0.0.7") << QStringList() << QStringLiteral("10.0.0.7")
            << QStringList { QStringLiteral("10.0.0.7") };
        QTest::newRow("name with A only")
            << QStringLiteral("a.example") << QStringList { v4a, v4b } << v4a << QStringList { v4a, v4b };
        QTest::newRow("name with AAAA only")
            << QStringLiteral("aaaa.example") << QStringList { v6b, v6a } << v6b << QStringList { v6b, v6a };
        QTest::newRow("name with both, IPv6 first")
            << QStringLiteral("both.example") << QStringList { v6a, v4b, v6b, v4a } << v4b << QStringList { v4b, v4a };
        QTest::newRow("name with both, IPv4 first")
            << QStringLiteral("both.example") << QStringList { v4a, v6a } << v4a << QStringList { v4a };
    }
    void familyChoice()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, answer);
        QFETCH(QString, result);
        QFETCH(QStringList, list);
        ScriptedBackend backend;
        TWSocket s;
        s.SocketFamily = sfIPv4; // as the frames set it: IPv6-only hosts are pinged all the same
        Completions c(s);
        s.DnsLookup(name);
        if (answer.isEmpty()) {
            QVERIFY(backend.asked.isEmpty());
        } else {
            QVERIFY(c.codes.isEmpty());
            QCOMPARE(backend.asked, QStringList { name });
            backend.pending.front()(0, answer);
        }
        QTRY_COMPARE(c.codes, QList<int> { 0 });
        QCOMPARE(s.DnsResult, result);
        QCOMPARE(s.DnsResultList, list);
    }

    void notAnIPv6Literal_goesToBackgroundLookup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty zone") << QStringLiteral("fe80::1%");
        QTest::newRow("zone with a blank") << QStringLiteral("fe80::1%et h0");
        QTest::newRow("one bracket") << QStringLiteral("[2001:db8::1");
        QTest::newRow("too many groups") << QStringLiteral("1:2:3:4:5:6:7:8:9");
        QTest::newRow("group too long") << QStringLiteral("2001:db8::12345");
        QTest::newRow("zone without address") << QStringLiteral("host%eth0");
    }
    void notAnIPv6Literal_goesToBackgroundLookup()
    {
        QFETCH(QString, name);
        ScriptedBackend backend;
        TWSocket s;
        Completions c(s);
        s.DnsLookup(name);
        QVERIFY(c.codes.isEmpty());
        QCOMPARE(backend.asked, QStringList { name });
    }

    void secondLookup_abandonsTheFirst()
    {
        ScriptedBackend backend;
        TWSocket s;
        Completions c(s);
        s.DnsLookup(QStringLiteral("first.example"));
        s.DnsLookup(QStringLiteral("second.example"));
        backend.pending[1](0, { QStringLiteral("10.0.0.2") });
        backend.pending[0](0, { QStringLiteral("10.0.0.1") });
        QTest::qWait(50);
        QCOMPARE(c.codes, QList<int> { 0 });
        QCOMPARE(c.results, QStringList { QStringLiteral("10.0.0.2") });
    }

    void destroyedWhilePending_neverCompletes()
    {
        ScriptedBackend backend;
        int completions = 0;
        {
            TWSocket s;
            s.OnDnsLookupDone = [&](QObject *, std::uint16_t) { ++completions; };
            s.DnsLookup(QStringLiteral("pending.example"));
        }
        backend.pending.front()(0, { QStringLiteral("10.0.0.1") });
        QTest::qWait(50);
        QCOMPARE(completions, 0);
    }

    void emptyName_completesWith10022ThenRaises()
    {
        TWSocket s;
        QStringList order;
        s.OnDnsLookupDone = [&](QObject *, std::uint16_t err) { order.append(QString::number(err)); };
        try {
            s.DnsLookup(QString());
            QFAIL("no error raised");
        } catch (const SkylarkError &e) {
            order.append(e.message());
        }
        QCOMPARE(order, QStringList({ QStringLiteral("10022"), QStringLiteral("DNS lookup: invalid host name.") }));
    }

    void unconvertibleName_completesWith10022()
    {
        TWSocket s;
        Completions c(s);
        s.DnsLookup(QStringLiteral("bad\u0080\uFFFF\u00AD.") + QString(70, u'ü') + QStringLiteral(".example"));
        QCOMPARE(c.codes, QList<int> { 10022 });
    }

    // The real background lookup, through the system resolver.
    void systemResolver_localhostAndInvalid()
    {
        TWSocket s;
        Completions c(s);
        s.DnsLookup(QStringLiteral("localhost"));
        QVERIFY(c.codes.isEmpty()); // never answered inside the call
        QTRY_COMPARE_WITH_TIMEOUT(c.codes.size(), 1, 10000);
        QCOMPARE(c.codes.front(), 0);
        QVERIFY(s.DnsResult.startsWith(QStringLiteral("127.")));

        s.DnsLookup(QStringLiteral("no-such-host.invalid"));
        QTRY_COMPARE_WITH_TIMEOUT(c.codes.size(), 2, 15000);
        QVERIFY(c.codes.back() != 0);
        QVERIFY(s.DnsResult.isEmpty());
        QTest::qWait(100);
        QCOMPARE(c.codes.size(), 2);
    }

    // The real blocking lookup: "localhost" has both families here and keeps its IPv4
    // address; a name that does not exist keeps its error code.
    void lookupHost_prefersIPv4AndKeepsErrorCodes()
    {
        QStringList list;
        QCOMPARE(int(TWSocket::LookupHost("localhost", list)), 0);
        QVERIFY(!list.isEmpty());
        QVERIFY(list.front().startsWith(QStringLiteral("127.")));
        QString text;
        QCOMPARE(int(TWSocket::LookupHost("no-such-host.invalid", list, &text)), 11001);
        QVERIFY(list.isEmpty());
        QVERIFY(!text.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestResolver)
#include "tst_resolver.moc"
