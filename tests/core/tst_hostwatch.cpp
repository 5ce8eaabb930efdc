#include "hostwatch.h"

#include <QTest>

// A script of results for one watch: "12" a reply of 12 ms, "t" a timeout, "f" an answer from
// another address, "@name" switches the host text to name. The expected changes are written
// the same way, one letter per result: "." none, "D" down, "B" back.
class TestHostWatch : public QObject
{
    Q_OBJECT
private slots:
    void feed_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<bool>("downAtEnd");
        QTest::newRow("replies only") << "5 6 7"
                                      << "..." << false;
        QTest::newRow("two timeouts are not down") << "5 t t 5 t t"
                                                   << "......" << false;
        QTest::newRow("down after three, reported once while down") << "5 t t t t t"
                                                                    << "...D.." << true;
        QTest::newRow("down from the start") << "t t t"
                                             << "..D" << true;
        QTest::newRow("foreign answers count as timeouts") << "5 f t f"
                                                           << "...D" << true;
        QTest::newRow("a foreign answer does not bring it back") << "t t t f 4"
                                                                 << "..D.B" << false;
        QTest::newRow("back once at the first reply") << "t t t 4 5 6"
                                                      << "..D B.." << false;
        QTest::newRow("down again after coming back") << "t t t 4 t t t 4"
                                                      << "..DB..DB" << false;
        QTest::newRow("a reply in between starts the count again") << "t t 4 t t 4 t"
                                                                   << "......." << false;
        // Stop and start leave the results as they are: the state carries over.
        QTest::newRow("same host after a restart: no repeat, then back") << "t t t @h t t 9"
                                                                         << "..D...B" << false;
        QTest::newRow("new host text starts afresh: no back") << "t t t @other 9 t"
                                                              << "..D..." << false;
        QTest::newRow("new host text resets the count") << "t t @other t t"
                                                        << "....." << false;
    }
    void feed()
    {
        QFETCH(QString, script);
        QFETCH(QString, changes);
        QFETCH(bool, downAtEnd);
        const QString expected = QString(changes).remove(u' ');
        DownUpWatch w;
        QString host = QStringLiteral("h");
        QString got;
        for (const QString &token : script.split(u' ', Qt::SkipEmptyParts)) {
            if (token.startsWith(u'@')) {
                host = token.mid(1);
                got += u'.';
                continue;
            }
            EchoOutcome o;
            o.host = host;
            if (token == QStringLiteral("t"))
                o.kind = EchoOutcome::Timeout;
            else if (token == QStringLiteral("f"))
                o.kind = EchoOutcome::Foreign, o.rtt = 1;
            else
                o.kind = EchoOutcome::Reply, o.rtt = token.toInt();
            const auto c = w.feed(o);
            got += c == DownUpWatch::Change::Down ? u'D' : c == DownUpWatch::Change::Back ? u'B' : u'.';
        }
        QCOMPARE(got, expected);
        QCOMPARE(w.isDown(), downAtEnd);
    }

    void lastRtt_isTheLatestReplyOfThisHost()
    {
        DownUpWatch w;
        EchoOutcome o;
        o.host = QStringLiteral("h");
        QCOMPARE(w.lastRtt(), -1);
        o.kind = EchoOutcome::Reply, o.rtt = 12;
        w.feed(o);
        o.kind = EchoOutcome::Foreign, o.rtt = 3;
        w.feed(o);
        o.kind = EchoOutcome::Timeout, o.rtt = 0;
        w.feed(o);
        QCOMPARE(w.lastRtt(), 12);
        o.host = QStringLiteral("other");
        w.feed(o);
        QCOMPARE(w.lastRtt(), -1);
    }
};

QTEST_GUILESS_MAIN(TestHostWatch)
#include "tst_hostwatch.moc"
