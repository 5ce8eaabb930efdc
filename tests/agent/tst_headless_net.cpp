// The headless agent as a user runs it: the real program without a display, in the test
// network, scraped by a real Prometheus server.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <sys/stat.h>
#include <tuple>

namespace {

const QString kExe = QStringLiteral(SKYLARK_EXE);

QProcessEnvironment noDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

// GET on 127.0.0.1:port; the body, or empty.
QByteArray httpGet(quint16 port, const QByteArray &target)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(2000))
        return {};
    s.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
        answer += s.readAll();
    answer += s.readAll();
    const qsizetype body = answer.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : answer.mid(body + 4);
}

} // namespace

class TestHeadless : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void badUse_exitsTwoWithAReason_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("no hosts") << QStringList { QStringLiteral("--headless") } << "Nothing to watch";
        QTest::newRow("missing list") << QStringList { QStringLiteral("--headless"), QStringLiteral("--list"),
            QStringLiteral("/nonexistent/hosts.txt") }
                                      << "/nonexistent/hosts.txt";
        QTest::newRow("list is a folder") << QStringList { QStringLiteral("--headless"), QStringLiteral("--list"),
            QStringLiteral("/tmp") } << "\"/tmp\"";
        // What the name leads to is said, as the desktop says it.
        const QString fifo = m_dir.filePath(QStringLiteral("hosts.fifo"));
        QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
        const QString loop = m_dir.filePath(QStringLiteral("loop.txt"));
        QVERIFY(QFileInfo(loop).isSymLink() || QFile::link(QStringLiteral("loop.txt"), loop));
        for (const auto &[name, file, reason] :
            { std::tuple { "list is a folder: said", QStringLiteral("/tmp"), QStringLiteral("it is a folder.") },
                std::tuple { "list is /dev/zero: said", QStringLiteral("/dev/zero"),
                    QStringLiteral("it is not a regular file.") },
                std::tuple { "list is a FIFO: said", fifo, QStringLiteral("it is not a regular file.") },
                std::tuple { "list is a link loop: said", loop, QStringLiteral("too many levels of symbolic links.") },
                std::tuple { "missing list: said", QStringLiteral("/nonexistent/hosts.txt"),
                    QStringLiteral("there is no such file.") } })
            QTest::newRow(name) << QStringList { QStringLiteral("--headless"), QStringLiteral("--list"), file }
                                << QStringLiteral("\"%1\": %2").arg(file, reason);
        QTest::newRow("bad metrics address") << QStringList { QStringLiteral("--headless"), QStringLiteral("--metrics"),
            QStringLiteral("127.0.0.1"), QStringLiteral("h") }
                                             << "is not an address and port";
        QTest::newRow("agent options without --headless")
            << QStringList { QStringLiteral("--log"), QStringLiteral("h") } << "go with --headless";
        QTest::newRow("unknown option") << QStringList { QStringLiteral("--headles") } << "Unknown option";
    }
    void badUse_exitsTwoWithAReason()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        QProcess p;
        p.setProcessEnvironment(noDisplay());
        p.start(kExe, args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.contains(says), qPrintable(err));
    }

    void realPrometheus_scrapesUpDownAndReplyRate()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit");
        const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
        if (prometheus.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("the prometheus server is not installed");
            QSKIP("the prometheus server is not installed");
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // Hosts from a list file (with a comment-like label on one) and from the command line.
        QFile list(dir.filePath(QStringLiteral("hosts.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("10.77.2.2\r\n10.77.3.2\r\n\r\n");
        list.close();

        QProcess agent;
        agent.setProcessEnvironment(noDisplay());
        agent.start(kExe,
            { QStringLiteral("--headless"), QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:19427"),
                QStringLiteral("--list"), list.fileName(), QStringLiteral("10.77.9.9") });
        QVERIFY(agent.waitForStarted());

        // The desktop program serves the same figures for its frames.
        QProcess desktop;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        desktop.setProcessEnvironment(env);
        desktop.start(kExe,
            { QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:19428"), QStringLiteral("10.77.2.2"),
                QStringLiteral("10.77.3.2") });
        QVERIFY(desktop.waitForStarted());

        QFile config(dir.filePath(QStringLiteral("prometheus.yml")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                     "scrape_configs:\n  - job_name: skylark\n    static_configs:\n"
                     "      - targets: ['127.0.0.1:19427']\n        labels: {side: 'agent'}\n"
                     "      - targets: ['127.0.0.1:19428']\n        labels: {side: 'desktop'}\n");
        config.close();
        QProcess server;
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(prometheus,
            { QStringLiteral("--config.file=") + config.fileName(),
                QStringLiteral("--storage.tsdb.path=") + dir.filePath(QStringLiteral("data")),
                QStringLiteral("--web.listen-address=127.0.0.1:19090") });
        QVERIFY(server.waitForStarted());

        // Asks Prometheus; the value of each series by its host label.
        const auto query = [](const QString &promql) {
            const QByteArray body = httpGet(19090, "/api/v1/query?query=" + QUrl::toPercentEncoding(promql));
            QHash<QString, double> values;
            const QJsonArray result
                = QJsonDocument::fromJson(body)[QLatin1String("data")][QLatin1String("result")].toArray();
            for (const QJsonValue &r : result)
                values.insert(r[QLatin1String("metric")][QLatin1String("host")].toString(),
                    r[QLatin1String("value")][1].toString().toDouble());
            return values;
        };
        // The silent host needs three echo time-outs of 4 s (and a second between) to be down.
        QTRY_VERIFY_WITH_TIMEOUT(
            query(QStringLiteral("skylark_host_up")).value(QStringLiteral("10.77.3.2"), 1) == 0, 40000);
        const QHash<QString, double> up = query(QStringLiteral("skylark_host_up"));
        QCOMPARE(up.value(QStringLiteral("10.77.2.2"), -1), 1.0);
        // The router's "unreachable" answers are no replies.
        QCOMPARE(up.value(QStringLiteral("10.77.9.9"), -1), 0.0);
        const double rate
            = query(QStringLiteral("rate(skylark_echo_replies_total[10s])")).value(QStringLiteral("10.77.2.2"));
        QVERIFY2(rate > 0.8 && rate < 1.2, QByteArray::number(rate));
        QVERIFY(query(QStringLiteral("skylark_echo_foreign_total")).value(QStringLiteral("10.77.9.9")) >= 3);
        QCOMPARE(query(QStringLiteral("sum(skylark_probes)")).value(QString()), 5.0); // 3 agent + 2 desktop
        QTRY_VERIFY_WITH_TIMEOUT(
            query(QStringLiteral("skylark_host_up{side=\"desktop\"}")).value(QStringLiteral("10.77.3.2"), 1) == 0,
            20000);
        QCOMPARE(
            query(QStringLiteral("skylark_host_up{side=\"desktop\"}")).value(QStringLiteral("10.77.2.2"), -1), 1.0);
        const double desktopRate = query(QStringLiteral("rate(skylark_echo_replies_total{side=\"desktop\"}[10s])"))
                                       .value(QStringLiteral("10.77.2.2"));
        QVERIFY2(desktopRate > 0.8 && desktopRate < 1.2, QByteArray::number(desktopRate));
        // The README's percentile query gives a figure for an answering host.
        const double p95 = query(QStringLiteral("histogram_quantile(0.95, sum by (host, le) "
                                                "(rate(skylark_rtt_seconds_bucket{side=\"agent\"}[10s])))"))
                               .value(QStringLiteral("10.77.2.2"), -1);
        QVERIFY2(p95 > 0 && p95 <= 4.096, QByteArray::number(p95));

        server.terminate();
        server.waitForFinished(10000);
        ::kill(pid_t(desktop.processId()), SIGTERM);
        QVERIFY(desktop.waitForFinished(10000));
        QCOMPARE(desktop.exitCode(), 0);

        // The end signal ends the agent at once and cleanly.
        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(2000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless_net.moc"
