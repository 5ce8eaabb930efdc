#include "metricsformat.h"
#include "httpresponder.h"
#include "metricsserver.h"
#include "metricsstore.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>
#include <QTest>
#include <QTimer>

#include <algorithm>

using Kind = EchoOutcome::Kind;

namespace {

MetricsStore::Identity identity(const QString &frame, const QString &host, const QString &label = {})
{
    return { frame, label.isEmpty() ? host : host + QStringLiteral(" ") + label, host, QStringLiteral("192.0.2.1"),
        label };
}

QByteArrayList lines(const QByteArray &text)
{
    QByteArrayList out = text.split('\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

// The samples of one metric, in order of output.
QByteArrayList samples(const QByteArray &text, const QByteArray &prefix)
{
    QByteArrayList out;
    for (const QByteArray &l : lines(text))
        if (l.startsWith(prefix))
            out.append(l);
    return out;
}

// Sends `request` and reads the answer until the server closes the connection.
QByteArray exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000))
        return "no connection";
    s.write(request);
    QByteArray answer;
    // Generous: a loaded machine (or a sanitizer build) may take seconds to format a large answer.
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(30000))
        answer += s.readAll();
    return answer + s.readAll();
}

// Clients that connect to the server and are replaced as soon as it drops one.
class Crowd
{
public:
    Crowd(quint16 port, int size, QByteArray sends, bool reads)
        : m_port(port)
        , m_sends(std::move(sends))
        , m_reads(reads)
        , m_sockets(size, nullptr)
    {
        for (int i = 0; i < size; ++i)
            join(i);
    }
    ~Crowd()
    {
        for (QTcpSocket *s : std::as_const(m_sockets))
            if (s) {
                s->disconnect();
                s->abort();
                delete s;
            }
    }
    int connected() const
    {
        return int(std::count_if(m_sockets.begin(), m_sockets.end(),
            [](const QTcpSocket *s) { return s && s->state() == QAbstractSocket::ConnectedState; }));
    }
    int dropped() const { return m_dropped; }
    void send(const QByteArray &bytes)
    {
        for (QTcpSocket *s : std::as_const(m_sockets))
            if (s && s->state() == QAbstractSocket::ConnectedState)
                s->write(bytes);
    }

private:
    void join(int place)
    {
        auto *s = new QTcpSocket;
        if (!m_reads)
            s->setReadBufferSize(1);
        QObject::connect(s, &QTcpSocket::connected, s, [s, this] { s->write(m_sends); });
        QObject::connect(s, &QTcpSocket::disconnected, s, [s, this, place] {
            ++m_dropped;
            s->disconnect();
            s->deleteLater();
            m_sockets[place] = nullptr;
            join(place);
        });
        s->connectToHost(QHostAddress::LocalHost, m_port);
        m_sockets[place] = s;
    }

    quint16 m_port;
    QByteArray m_sends;
    bool m_reads;
    QList<QTcpSocket *> m_sockets;
    int m_dropped = 0;
};

} // namespace

class TestMetrics : public QObject
{
    Q_OBJECT
private slots:
    void exposition_countsBucketsAndEscapedLabels()
    {
        MetricsStore store;
        store.setIdentity(1,
            identity(QStringLiteral("PingFrame_0"), QStringLiteral("gw"), QStringLiteral("say \"hi\" \\ back\nnow")));
        for (int i = 0; i < 7; ++i)
            store.countRequest(1);
        // 0 ms and exactly 1 ms sit in the first two buckets; 5 s lies above the last edge.
        for (int rtt : { 0, 1, 3, 300, 5000 })
            store.record(1, Kind::Reply, rtt, true, 0.25);
        store.record(1, Kind::Timeout, 0, true, 0.25);
        store.record(1, Kind::Foreign, 2, false, 0.5);

        const QByteArray text
            = MetricsFormat::render(store.snapshot(), QStringLiteral("1.2.3.4"), MetricsFormat::Format::Prometheus);
        const QByteArray labels
            = "frame=\"PingFrame_0\",host=\"gw\",ip=\"192.0.2.1\",label=\"say \\\"hi\\\" \\\\ back\\nnow\"";
        QCOMPARE(samples(text, "skylark_echo_"),
            (QByteArrayList { "skylark_echo_requests_total{" + labels + "} 7",
                "skylark_echo_replies_total{" + labels + "} 5", "skylark_echo_timeouts_total{" + labels + "} 1",
                "skylark_echo_foreign_total{" + labels + "} 1" }));
        const QByteArrayList rtt = samples(text, "skylark_rtt_seconds");
        QCOMPARE(rtt.size(), 17);
        const QByteArray le[] = { "0.0005", "0.001", "0.002", "0.004", "0.008", "0.016", "0.032", "0.064", "0.128",
            "0.256", "0.512", "1.024", "2.048", "4.096" };
        const int cumulative[] = { 1, 2, 2, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4 };
        for (int b = 0; b < 14; ++b)
            QCOMPARE(rtt[b],
                "skylark_rtt_seconds_bucket{" + labels + ",le=\"" + le[b] + "\"} " + QByteArray::number(cumulative[b]));
        QCOMPARE(rtt[14], "skylark_rtt_seconds_bucket{" + labels + ",le=\"+Inf\"} 5");
        QCOMPARE(rtt[15], "skylark_rtt_seconds_sum{" + labels + "} 5.304");
        QCOMPARE(rtt[16], "skylark_rtt_seconds_count{" + labels + "} 5");
        QCOMPARE(samples(text, "skylark_host_up"), QByteArrayList { "skylark_host_up{" + labels + "} 0" });
        QCOMPARE(samples(text, "skylark_loss_ratio"), QByteArrayList { "skylark_loss_ratio{" + labels + "} 0.5" });
        QCOMPARE(samples(text, "skylark_build_info"), QByteArrayList { "skylark_build_info{version=\"1.2.3.4\"} 1" });
        QCOMPARE(samples(text, "skylark_probes"), QByteArrayList { "skylark_probes 1" });
        // Every family says what it is.
        for (const QByteArray &l : lines(text))
            if (!l.startsWith('#')) {
                QByteArray family = l.left(l.indexOf(l.contains('{') ? '{' : ' '));
                for (const char *suffix : { "_bucket", "_sum", "_count" })
                    if (family.startsWith("skylark_rtt_seconds") && family.endsWith(suffix))
                        family.chop(int(qstrlen(suffix)));
                QVERIFY2(text.contains("# HELP " + family + ' '), family);
                QVERIFY2(text.contains("# TYPE " + family + ' '), family);
            }
    }

    void counters_keptAcrossRenamesAndStopsResetForANewHost()
    {
        MetricsStore store;
        store.setIdentity(1, identity(QStringLiteral("PingFrame_1"), QStringLiteral("a")));
        store.setIdentity(2, identity(QStringLiteral("PingFrame_2"), QStringLiteral("b")));
        store.countRequest(1);
        store.record(1, Kind::Reply, 5, true, 0);
        store.countRequest(2);
        store.record(2, Kind::Timeout, 0, true, 1);

        // Renumbered after a removal above it, and a new address: the same host's counters.
        store.setIdentity(1, identity(QStringLiteral("PingFrame_0"), QStringLiteral("a")));
        QCOMPARE(store.snapshot().first().replies, 1u);
        QCOMPARE(store.snapshot().first().id.frame, QStringLiteral("PingFrame_0"));
        // A new host text starts afresh, and says nothing of up or loss before its first result.
        store.setIdentity(2, identity(QStringLiteral("PingFrame_2"), QStringLiteral("c")));
        const MetricsStore::Series c = store.snapshot().last();
        QCOMPARE(c.requests + c.timeouts, 0u);
        const QByteArray text = MetricsFormat::render(store.snapshot(), {}, MetricsFormat::Format::Prometheus);
        QCOMPARE(samples(text, "skylark_host_up").size(), 1);

        // Stopped: out of the output; started again: the same counters.
        store.setActive(1, false);
        const QByteArray after = MetricsFormat::render(store.snapshot(), {}, MetricsFormat::Format::Prometheus);
        QVERIFY(!after.contains("host=\"a\""));
        QVERIFY(after.contains("skylark_probes 1\n"));
        QCOMPARE(samples(after, "skylark_echo_requests_total").size(), 1);
        store.setActive(1, true);
        QCOMPARE(store.snapshot().first().replies, 1u);
        store.remove(1);
        QCOMPARE(store.size(), 1);
    }

    void identity_firstWordIsTheHostTheRestItsLabel()
    {
        const auto id = MetricsStore::Identity::of(
            QStringLiteral("PingFrame_3"), QStringLiteral("10.0.0.1 \tcore \"router\""), QStringLiteral("10.0.0.1"));
        QCOMPARE(id.hostWord, QStringLiteral("10.0.0.1"));
        QCOMPARE(id.label, QStringLiteral("core \"router\""));
        QCOMPARE(id.host, QStringLiteral("10.0.0.1 \tcore \"router\""));
        const auto plain = MetricsStore::Identity::of(QStringLiteral("Probe_0"), QStringLiteral("gw"), {});
        QCOMPARE(plain.hostWord, QStringLiteral("gw"));
        QCOMPARE(plain.label, QString());
    }

    void openMetrics_namesFamiliesAndEnds()
    {
        MetricsStore store;
        store.setIdentity(1, identity(QStringLiteral("PingForm_0"), QStringLiteral("h")));
        store.record(1, Kind::Reply, 12, true, 0);
        QCOMPARE(MetricsFormat::negotiate("application/openmetrics-text; version=1.0.0,text/plain;q=0.5"),
            MetricsFormat::Format::OpenMetrics);
        QCOMPARE(MetricsFormat::negotiate("text/plain"), MetricsFormat::Format::Prometheus);
        const QByteArray text
            = MetricsFormat::render(store.snapshot(), QStringLiteral("1"), MetricsFormat::Format::OpenMetrics);
        QVERIFY(text.endsWith("\n# EOF\n"));
        QVERIFY(text.contains("# TYPE skylark_echo_replies counter\n"));
        QVERIFY(text.contains("\nskylark_echo_replies_total{"));
        QVERIFY(text.contains("# TYPE skylark_build info\n"));
        QVERIFY(text.contains("\nskylark_build_info{version=\"1\"} 1\n"));
    }

    // The classic format as Prometheus's own checker reads it.
    void promtool_acceptsTheOutput()
    {
        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (promtool.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("promtool is missing");
            QSKIP("promtool is not installed");
        }
        MetricsStore store;
        store.setIdentity(
            1, identity(QStringLiteral("PingFrame_0"), QStringLiteral("a"), QStringLiteral("core \"router\"")));
        store.setIdentity(2, identity(QStringLiteral("PingFrame2_0"), QStringLiteral("a")));
        store.record(1, Kind::Reply, 3, true, 0);
        store.record(2, Kind::Timeout, 0, false, 1);
        store.setState(1, HostState::State::Slow);
        store.countChange(1, HostState::State::Slow);
        store.setState(2, HostState::State::Down);
        QProcess p;
        p.start(promtool, { QStringLiteral("check"), QStringLiteral("metrics") });
        QVERIFY(p.waitForStarted());
        p.write(MetricsFormat::render(store.snapshot(), QStringLiteral("1.0"), MetricsFormat::Format::Prometheus));
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(30000));
        QVERIFY2(p.exitCode() == 0, p.readAll().constData());
    }

    // The state set: one series per state a watched host can be in, 1 for its own; stopped is
    // never among them. The changes count the announcements into each state.
    void hostState_stateSetAndChanges()
    {
        MetricsStore store;
        store.setIdentity(1, identity(QStringLiteral("PingFrame_0"), QStringLiteral("a"), QStringLiteral("edge")));
        store.record(1, Kind::Reply, 300, true, 0);
        store.setState(1, HostState::State::Slow);
        store.countChange(1, HostState::State::Slow);
        store.countChange(1, HostState::State::Up);
        store.countChange(1, HostState::State::Slow);
        const QByteArray out
            = MetricsFormat::render(store.snapshot(), QStringLiteral("1.0"), MetricsFormat::Format::Prometheus);
        QStringList states, changes;
        for (const QByteArray &line : out.split('\n')) {
            if (line.startsWith("skylark_host_state{"))
                states.append(QString::fromUtf8(line.mid(line.indexOf("state=\""))));
            if (line.startsWith("skylark_host_state_changes_total{"))
                changes.append(QString::fromUtf8(line.mid(line.indexOf("state=\""))));
        }
        QCOMPARE(states.join(u';'),
            QStringLiteral("state=\"up\"} 0;state=\"degraded\"} 0;state=\"slow\"} 1;state=\"lossy\"} 0;"
                           "state=\"down\"} 0;state=\"lookup_failed\"} 0;state=\"waiting\"} 0"));
        QCOMPARE(changes.join(u';'),
            QStringLiteral("state=\"up\"} 1;state=\"degraded\"} 0;state=\"slow\"} 2;state=\"lossy\"} 0;"
                           "state=\"down\"} 0;state=\"lookup_failed\"} 0;state=\"waiting\"} 0"));
        QVERIFY(out.contains(
            "skylark_host_state{frame=\"PingFrame_0\",host=\"a\",ip=\"192.0.2.1\",label=\"edge\",state=\"slow\"} 1\n"));
        QVERIFY(out.contains("# TYPE skylark_host_state gauge\n"));
        QVERIFY(out.contains("# TYPE skylark_host_state_changes_total counter\n"));
        // A failed lookup is a state of its own; a new host text starts the changes afresh.
        store.recordLookupFailure(1);
        QCOMPARE(store.snapshot().first().state, HostState::State::LookupFailed);
        store.setIdentity(1, identity(QStringLiteral("PingFrame_0"), QStringLiteral("b")));
        QCOMPARE(store.snapshot().first().changes[std::size_t(HostState::State::Slow)], 0u);
    }

    void address_acceptedForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("loopback") << "127.0.0.1:9427"
                                  << "127.0.0.1" << 9427;
        QTest::newRow("blanks around") << " 10.1.2.3:80 "
                                       << "10.1.2.3" << 80;
        QTest::newRow("localhost") << "LocalHost:9427"
                                   << "127.0.0.1" << 9427;
        QTest::newRow("all addresses, when written") << "0.0.0.0:9427"
                                                     << "0.0.0.0" << 9427;
        QTest::newRow("no port") << "127.0.0.1" << QString() << 0;
        QTest::newRow("port too big") << "127.0.0.1:65536" << QString() << 0;
        QTest::newRow("port not a number") << "127.0.0.1:http" << QString() << 0;
        QTest::newRow("short address") << "127.1:9427" << QString() << 0;
        QTest::newRow("octet too big") << "127.0.0.256:9427" << QString() << 0;
        QTest::newRow("a name") << "example.org:9427" << QString() << 0;
        QTest::newRow("only a port") << ":9427" << QString() << 0;
        QTest::newRow("empty") << "" << QString() << 0;
    }
    void address_acceptedForms()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(int, port);
        QString error;
        const auto at = MetricsServer::parseAddress(text, &error);
        QCOMPARE(at.has_value(), !address.isEmpty());
        if (at) {
            QCOMPARE(at->address.toString(), address);
            QCOMPARE(int(at->port), port);
        } else {
            QVERIFY(!error.isEmpty());
        }
    }

    void http_answersByMethodAndPath_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<bool>("withBody");
        const QByteArray classic = "text/plain; version=0.0.4; charset=utf-8";
        QTest::newRow("GET") << QByteArray("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("200 OK")
                             << classic << true;
        QTest::newRow("GET with a query, bare line ends")
            << QByteArray("GET /metrics?x=1 HTTP/1.0\n\n") << QByteArray("200 OK") << classic << true;
        QTest::newRow("HEAD") << QByteArray("HEAD /metrics HTTP/1.1\r\n\r\n") << QByteArray("200 OK") << classic
                              << false;
        QTest::newRow("OpenMetrics asked for")
            << QByteArray("GET /metrics HTTP/1.1\r\nACCEPT: application/openmetrics-text;version=1.0.0\r\n\r\n")
            << QByteArray("200 OK") << QByteArray("application/openmetrics-text; version=1.0.0; charset=utf-8") << true;
        QTest::newRow("POST") << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                              << QByteArray("405 Method Not Allowed") << QByteArray() << true;
        QTest::newRow("DELETE") << QByteArray("DELETE /metrics HTTP/1.1\r\n\r\n")
                                << QByteArray("405 Method Not Allowed") << QByteArray() << true;
        QTest::newRow("another path") << QByteArray("GET /secret HTTP/1.1\r\n\r\n") << QByteArray("404 Not Found")
                                      << QByteArray() << true;
        QTest::newRow("a body") << QByteArray("GET /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello")
                                << QByteArray("413 Content Too Large") << QByteArray() << true;
        QTest::newRow("chunked body") << QByteArray("GET /metrics HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                                      << QByteArray("413 Content Too Large") << QByteArray() << true;
        QTest::newRow("not HTTP") << QByteArray("hello there\r\n\r\n") << QByteArray("400 Bad Request") << QByteArray()
                                  << true;
        // The first is answered, and the connection closes.
        QTest::newRow("100 pipelined GETs") << QByteArray("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n").repeated(100)
                                            << QByteArray("200 OK") << classic << true;
    }
    void http_answersByMethodAndPath()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, contentType);
        QFETCH(bool, withBody);
        MetricsStore store;
        store.setIdentity(1, identity(QStringLiteral("PingFrame_0"), QStringLiteral("h")));
        MetricsServer server(store, QStringLiteral("1"));
        QCOMPARE(server.start(QStringLiteral("127.0.0.1:0")), QString());

        const QByteArray answer = exchange(server.port(), request);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + status + "\r\n"), answer.left(200));
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        QVERIFY(headEnd > 0);
        const QByteArray head = answer.left(headEnd);
        if (!contentType.isEmpty())
            QVERIFY2(head.contains("\r\nContent-Type: " + contentType + "\r\n"), head);
        if (status.startsWith("405"))
            QVERIFY(head.contains("\r\nAllow: GET, HEAD\r\n"));
        const QByteArray body = answer.mid(headEnd + 4);
        QCOMPARE(!body.isEmpty(), withBody);
        QCOMPARE(answer.count("HTTP/1.1 "), 1);
        if (withBody && !request.startsWith("HEAD "))
            QVERIFY2(head.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"), head);
        if (status == "200 OK") {
            // HEAD announces the length GET sends.
            const QByteArray get = exchange(server.port(), QByteArray(request).replace("HEAD ", "GET "));
            const QByteArray getBody = get.mid(get.indexOf("\r\n\r\n") + 4);
            QVERIFY2(head.contains("\r\nContent-Length: " + QByteArray::number(getBody.size())), head);
        }
    }

    // The request head as the responder reads it; "-" for a head that is not HTTP.
    void httpRequest_parse_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("accept");
        QTest::addColumn<bool>("body");
        QTest::newRow("GET") << QByteArray("GET /metrics HTTP/1.1\r\nHost: x") << QByteArray("GET")
                             << QByteArray("/metrics") << QByteArray() << false;
        QTest::newRow("query dropped, bare LF")
            << QByteArray("GET /metrics?a=1&b HTTP/1.0\nAccept: text/plain") << QByteArray("GET")
            << QByteArray("/metrics") << QByteArray("text/plain") << false;
        QTest::newRow("header name in any case, blanks trimmed")
            << QByteArray("HEAD / HTTP/1.1\r\naCCept:   application/openmetrics-text  \r\n") << QByteArray("HEAD")
            << QByteArray("/") << QByteArray("application/openmetrics-text") << false;
        QTest::newRow("length 0 is no body") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 0")
                                             << QByteArray("POST") << QByteArray("/x") << QByteArray() << false;
        QTest::newRow("length") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 5") << QByteArray("GET")
                                << QByteArray("/") << QByteArray() << true;
        QTest::newRow("chunked") << QByteArray("GET / HTTP/1.1\r\nTransfer-Encoding: chunked") << QByteArray("GET")
                                 << QByteArray("/") << QByteArray() << true;
        QTest::newRow("line without a colon skipped")
            << QByteArray("GET / HTTP/1.1\r\nnonsense\r\n: empty name\r\nAccept: a") << QByteArray("GET")
            << QByteArray("/") << QByteArray("a") << false;
        QTest::newRow("HTTP/2") << QByteArray("GET / HTTP/2") << QByteArray("-") << QByteArray() << QByteArray()
                                << false;
        QTest::newRow("two words") << QByteArray("GET /metrics") << QByteArray("-") << QByteArray() << QByteArray()
                                   << false;
        QTest::newRow("four words") << QByteArray("GET /a b HTTP/1.1") << QByteArray("-") << QByteArray()
                                    << QByteArray() << false;
        QTest::newRow("empty") << QByteArray() << QByteArray("-") << QByteArray() << QByteArray() << false;
        QTest::newRow("TLS hello") << QByteArray("\x16\x03\x01\x02\x00\x01", 6) << QByteArray("-") << QByteArray()
                                   << QByteArray() << false;
    }
    void httpRequest_parse()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, accept);
        QFETCH(bool, body);
        const std::optional<HttpRequest> r = HttpRequest::parse(head);
        QCOMPARE(r.has_value(), method != "-");
        if (!r)
            return;
        QCOMPARE(r->method, method);
        QCOMPARE(r->path, path);
        QCOMPARE(r->accept, accept);
        QCOMPARE(r->body, body);
    }

    // The responder knows nothing of metrics: whatever the handler makes is sent, and a HEAD
    // gets its head alone.
    void httpResponder_sendsWhatTheHandlerMakes()
    {
        QThread thread;
        thread.start();
        QList<QByteArray> asked;
        auto *responder = new HttpResponder({}, [&asked](const HttpRequest &r) {
            asked.append(r.method + " " + r.path);
            return HttpAnswer { "418 I'm a teapot", "Content-Type: text/x-tea\r\n", "short and stout" };
        });
        responder->moveToThread(&thread);
        QString why;
        quint16 port = 0;
        QMetaObject::invokeMethod(
            responder, [&] { port = responder->listen(QHostAddress::LocalHost, 0, &why); },
            Qt::BlockingQueuedConnection);
        QVERIFY2(port != 0, qPrintable(why));
        const QByteArray get = exchange(port, "GET /pot?x HTTP/1.1\r\n\r\n");
        const QByteArray head = exchange(port, "HEAD /pot HTTP/1.1\r\n\r\n");
        QMetaObject::invokeMethod(
            responder, [responder] { delete responder; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        QCOMPARE(get,
            QByteArray("HTTP/1.1 418 I'm a teapot\r\nContent-Type: text/x-tea\r\nContent-Length: 15\r\n"
                       "Connection: close\r\n\r\nshort and stout"));
        QVERIFY(head.endsWith("Content-Length: 15\r\nConnection: close\r\n\r\n"));
        QCOMPARE(asked, (QList<QByteArray> { "GET /pot", "HEAD /pot" }));
    }

    void http_hostileClients_refusedWhileServingOthers()
    {
        MetricsStore store;
        store.setIdentity(1, identity(QStringLiteral("PingFrame_0"), QStringLiteral("h")));
        MetricsServer::Limits limits;
        limits.idleMs = 400;
        MetricsServer server(store, QStringLiteral("1"), limits);
        QCOMPARE(server.start(QStringLiteral("127.0.0.1:0")), QString());

        // A request head of 1 MiB is cut off after the limit.
        QByteArray huge = "GET /metrics HTTP/1.1\r\nX-Pad: " + QByteArray(1 << 20, 'a') + "\r\n\r\n";
        QVERIFY(exchange(server.port(), huge).startsWith("HTTP/1.1 431 "));

        // 500 connections at once that never send a request: the server keeps at most 64, each
        // newcomer in place of the longest waiting, so the crowd cannot shut a scraper out.
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 500; ++i) {
            crowd.push_back(std::make_unique<QTcpSocket>());
            crowd.back()->connectToHost(QHostAddress::LocalHost, server.port());
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            exchange(server.port(), "GET /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK"), 20000);
        crowd.clear();
        QVERIFY(exchange(server.port(), "GET /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK"));
    }

    // A full house of hostile clients, refilled as they are dropped, with the limits as
    // shipped: a scraper's proper GET is still served in full, the crowd does not hold its
    // places for ever, and what it costs stays bounded.
    void http_hostileCrowd_aProperGetIsStillServed_data()
    {
        QTest::addColumn<QByteArray>("sends"); // at once after connecting
        QTest::addColumn<bool>("trickles"); // then one byte every 200 ms
        QTest::addColumn<bool>("reads");
        QTest::newRow("idle") << QByteArray() << false << true;
        QTest::newRow("trickle, never a whole head") << QByteArray("G") << true << true;
        QTest::newRow("pipelined, never reading")
            << QByteArray("GET /metrics HTTP/1.1\r\n\r\n").repeated(100) << false << false;
        QTest::newRow("GET, never reading") << QByteArray("GET /metrics HTTP/1.1\r\n\r\n") << false << false;
    }
    void http_hostileCrowd_aProperGetIsStillServed()
    {
        QFETCH(QByteArray, sends);
        QFETCH(bool, trickles);
        QFETCH(bool, reads);
        // About 20 MB of answer: more than the socket buffers of a client that reads nothing hold.
        MetricsStore store;
        for (int i = 0; i < 8000; ++i)
            store.setIdentity(std::uintptr_t(i + 1),
                identity(QStringLiteral("PingFrame_%1").arg(i), QStringLiteral("host-%1").arg(i)));
        const MetricsServer::Limits limits;
        MetricsServer server(store, QStringLiteral("1"), limits);
        QCOMPARE(server.start(QStringLiteral("127.0.0.1:0")), QString());

        Crowd crowd(server.port(), limits.maxConnections, sends, reads);
        QTimer trickle;
        QObject::connect(&trickle, &QTimer::timeout, [&crowd] { crowd.send("E"); });
        if (trickles)
            trickle.start(200);
        // A burst of connections overflows the listen backlog; the rest come in on the retry.
        QTRY_COMPARE_WITH_TIMEOUT(crowd.connected(), limits.maxConnections, 10000);
        QTest::qWait(1000);

        // Served at the first try, and whole: the crowd may delay it, never shut it out.
        const QByteArray answer = exchange(server.port(), "GET /metrics HTTP/1.1\r\n\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK"), answer.left(100));
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        QVERIFY(answer.contains("\r\nContent-Length: " + QByteArray::number(answer.size() - headEnd - 4) + "\r\n"));

        // Places are not held for ever: a whole head must come within seconds, progress or not.
        if (reads)
            QTRY_VERIFY_WITH_TIMEOUT(crowd.dropped() >= limits.maxConnections, 15000);
        // Everyone was handed the same output, and the queue stayed within its bound.
        const MetricsServer::Counts counts = server.counts();
        QCOMPARE(counts.renders, 1);
        QVERIFY2(counts.queuedHigh <= limits.outputTotal, QByteArray::number(counts.queuedHigh));
    }

    void http_clientThatNeverReads_isDropped()
    {
        // About 50 MB of answer: more than the socket buffers on both sides hold.
        MetricsStore store;
        for (int i = 0; i < 20000; ++i)
            store.setIdentity(std::uintptr_t(i + 1),
                identity(QStringLiteral("PingFrame_%1").arg(i), QStringLiteral("host-%1").arg(i)));
        MetricsServer::Limits limits;
        limits.idleMs = 300;
        MetricsServer server(store, QStringLiteral("1"), limits);
        QCOMPARE(server.start(QStringLiteral("127.0.0.1:0")), QString());

        QTcpSocket lazy;
        lazy.setReadBufferSize(1);
        lazy.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(lazy.waitForConnected(2000));
        lazy.write("GET /metrics HTTP/1.1\r\n\r\n");
        QVERIFY(lazy.waitForBytesWritten(2000));
        QTest::qWait(2000);
        // Meanwhile others are served.
        QVERIFY(exchange(server.port(), "HEAD /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK"));

        lazy.setReadBufferSize(0);
        qint64 received = 0;
        while (lazy.state() == QAbstractSocket::ConnectedState && lazy.waitForReadyRead(3000))
            received += lazy.readAll().size();
        received += lazy.readAll().size();
        QVERIFY2(received < 40'000'000, QByteArray::number(received));
    }

    void bindFailure_saysWhyAndLeavesTheServerStopped()
    {
        MetricsStore store;
        MetricsServer first(store, {});
        QCOMPARE(first.start(QStringLiteral("127.0.0.1:0")), QString());
        MetricsServer second(store, {});
        const QString taken = QStringLiteral("127.0.0.1:%1").arg(first.port());
        const QString why = second.start(taken);
        QVERIFY2(
            why.startsWith(QStringLiteral("Cannot serve metrics at ") + taken + QStringLiteral(": ")), qPrintable(why));
        QVERIFY(!second.isListening());
        QVERIFY(second.start(QStringLiteral("nowhere")).startsWith(QStringLiteral("Cannot serve metrics: ")));
        QVERIFY(first.isListening());
    }
};

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
