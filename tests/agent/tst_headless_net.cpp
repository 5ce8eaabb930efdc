// The headless agent as a user runs it: the real program without a display, in the test
// network, scraped by a real Prometheus server.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
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

// The value of the sample of `metric` whose labels include `labels`; -1 when there is none.
double valueOf(const QByteArray &text, const QByteArray &metric, const QByteArray &labels)
{
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(metric + '{') && line.contains(labels))
            return line.mid(line.lastIndexOf(' ') + 1).toDouble();
    return -1;
}

// The frame label of the host's series.
QByteArray frameOf(const QByteArray &text, const QByteArray &host)
{
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith("skylark_echo_requests_total{") && line.contains("host=\"" + host + '"'))
            return line.mid(line.indexOf("frame=\""), line.indexOf(',') - line.indexOf("frame=\""));
    return {};
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
        QTest::newRow("interval without --headless")
            << QStringList { QStringLiteral("--interval"), QStringLiteral("2s"), QStringLiteral("h") }
            << "go with --headless";
        QTest::newRow("interval that does not read") << QStringList { QStringLiteral("--headless"),
            QStringLiteral("--interval"), QStringLiteral("fast"), QStringLiteral("h") }
                                                     << "--interval fast: give a number with ms, s, m or h";
        for (const char *days : { "0", "3651", "-1", "2d", "1.5", "", "99999999999" })
            QTest::newRow(qPrintable(QStringLiteral("keep-days %1").arg(QLatin1String(days)))) << QStringList {
                QStringLiteral("--headless"), QStringLiteral("--keep-days"), QLatin1String(days), QStringLiteral("h")
            } << QStringLiteral("--keep-days %1: give a whole number of days from 1 to 3650").arg(QLatin1String(days));
        QTest::newRow("keep-days without --headless") << QStringList { QStringLiteral("--keep-days"),
            QStringLiteral("5"), QStringLiteral("h") } << "go with --headless";
        QTest::newRow("timeout without a unit") << QStringList { QStringLiteral("--headless"),
            QStringLiteral("--timeout"), QStringLiteral("500"), QStringLiteral("h") }
                                                << "--timeout 500:";
        QTest::newRow("health options without --headless") << QStringList { QStringLiteral("--slow"),
            QStringLiteral("50ms"), QStringLiteral("h") } << "go with --headless";
        QTest::newRow("slow without a unit") << QStringList { QStringLiteral("--headless"), QStringLiteral("--slow"),
            QStringLiteral("50"), QStringLiteral("h") }
                                             << "--slow 50: give a number with ms";
        QTest::newRow("loss that does not read") << QStringList { QStringLiteral("--headless"),
            QStringLiteral("--loss"), QStringLiteral("some"), QStringLiteral("h") }
                                                 << "--loss some: give a share";
        QTest::newRow("damping of none") << QStringList { QStringLiteral("--headless"), QStringLiteral("--damping"),
            QStringLiteral("0"), QStringLiteral("h") }
                                         << "--damping 0: give a whole number from 1 to 100";
        QTest::newRow("an argument without a program") << QStringList { QStringLiteral("--headless"),
            QStringLiteral("--on-change-arg"), QStringLiteral("x"), QStringLiteral("h") }
                                                       << "--on-change-arg goes with --on-change";
        // Port 0 would listen where nobody is told, in the agent and in the desktop program.
        QTest::newRow("port 0, agent") << QStringList { QStringLiteral("--headless"), QStringLiteral("--metrics"),
            QStringLiteral("127.0.0.1:0"), QStringLiteral("h") }
                                       << "port 0";
        QTest::newRow("port 0, desktop") << QStringList { QStringLiteral("--metrics"), QStringLiteral("localhost:0"),
            QStringLiteral("h") } << "port 0";
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

    // A service manager's reload: the list is read again, the logs are written, and the
    // agent runs on; a list it cannot read leaves everything as it was.
    void sighup_rereadsTheList_keepsCountersOfUnchangedHosts_writesTheLogs()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString listPath = dir.filePath(QStringLiteral("hosts.txt"));
        const auto writeList = [&listPath](const QByteArray &text) {
            QFile f(listPath);
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
        };
        QVERIFY(writeList("127.0.0.2\n127.0.0.3 kept\n"));
        // Logs of days before those kept go at the first write; the kept ones stay.
        const QString logs = dir.filePath(QStringLiteral("Documents/Corvid/Skylark/Logs/"));
        QVERIFY(QDir().mkpath(logs));
        const QDate today = QDate::currentDate();
        const auto dated = [](const char *host, QDate day) {
            return QLatin1String(host) + u'-' + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
        };
        for (const QString &name : { dated("127.0.0.2", today.addDays(-3)), dated("127.0.0.2", today.addDays(-1)) }) {
            QFile f(logs + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QProcess agent;
        QProcessEnvironment env = noDisplay();
        env.insert(QStringLiteral("HOME"), dir.path());
        agent.setProcessEnvironment(env);
        agent.start(kExe,
            { QStringLiteral("--headless"), QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:19431"),
                QStringLiteral("--list"), listPath, QStringLiteral("--log"), QStringLiteral("--keep-days"),
                QStringLiteral("2") });
        QVERIFY(agent.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            valueOf(httpGet(19431, "/metrics"), "skylark_echo_replies_total", "host=\"127.0.0.2\"") >= 3, 15000);
        const QByteArray before = httpGet(19431, "/metrics");
        const double keptRequests = valueOf(before, "skylark_echo_requests_total", "host=\"127.0.0.3\"");
        const double goneReplies = valueOf(before, "skylark_echo_replies_total", "host=\"127.0.0.2\"");
        const QByteArray keptFrame = frameOf(before, "127.0.0.3");
        QVERIFY(!keptFrame.isEmpty());

        QVERIFY(writeList("127.0.0.3 kept\n127.0.0.4\n"));
        ::kill(pid_t(agent.processId()), SIGHUP);
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += agent.readAllStandardError()).contains("1 added, 1 removed"), 5000);
        QVERIFY2(err.contains("127.0.0.4") && err.contains("127.0.0.2"), err);
        QCOMPARE(agent.state(), QProcess::Running);
        // The removed host's results are in its log of the day, none lost.
        QFile goneLog(logs + dated("127.0.0.2", QDate::currentDate()));
        QVERIFY(goneLog.open(QIODevice::ReadOnly));
        QVERIFY2(goneLog.readAll().count('\n') - 1 >= goneReplies, QByteArray::number(goneReplies));
        if (QDate::currentDate() == today) {
            QVERIFY(!QFile::exists(logs + dated("127.0.0.2", today.addDays(-3))));
            QVERIFY(QFile::exists(logs + dated("127.0.0.2", today.addDays(-1))));
        }

        // The new host is watched, and the kept one counts on from where it was.
        QByteArray after;
        const auto goneOn = [&] {
            after = httpGet(19431, "/metrics");
            return valueOf(after, "skylark_echo_replies_total", "host=\"127.0.0.4\"") >= 1
                && valueOf(after, "skylark_echo_requests_total", "host=\"127.0.0.3\"") > keptRequests;
        };
        QTRY_VERIFY_WITH_TIMEOUT(goneOn(), 10000);
        QCOMPARE(frameOf(after, "127.0.0.3"), keptFrame);
        QVERIFY(!after.contains("host=\"127.0.0.2\""));
        QVERIFY(after.contains("\nskylark_probes 2\n"));

        QVERIFY(QFile::remove(listPath));
        ::kill(pid_t(agent.processId()), SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT((err += agent.readAllStandardError()).contains("stay as they were"), 5000);
        QCOMPARE(agent.state(), QProcess::Running);
        QVERIFY(httpGet(19431, "/metrics").contains("\nskylark_probes 2\n"));

        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(5000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
    }

    // A name that does not resolve yet (a resolver still coming up at boot) is watched all the
    // same: down until it resolves, then measured like the rest.
    void unresolvedHost_staysInTheOutputDown_andIsLookedUpAgain()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (its own hosts file)");
        QFile hosts(QStringLiteral("/etc/hosts"));
        QVERIFY(hosts.open(QIODevice::ReadOnly));
        const QByteArray original = hosts.readAll();
        hosts.close();
        QVERIFY(!original.contains("late.netkit"));
        const auto restore = qScopeGuard([&original] {
            QFile f(QStringLiteral("/etc/hosts"));
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(original);
        });

        QProcess agent;
        agent.setProcessEnvironment(noDisplay());
        agent.start(kExe,
            { QStringLiteral("--headless"), QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:19432"),
                QStringLiteral("late.netkit"), QStringLiteral("10.77.2.2") });
        QVERIFY(agent.waitForStarted());
        const QByteArray late = "host=\"late.netkit\"";
        QTRY_COMPARE_WITH_TIMEOUT(valueOf(httpGet(19432, "/metrics"), "skylark_host_up", late), 0.0, 10000);
        QVERIFY(httpGet(19432, "/metrics").contains("\nskylark_probes 2\n"));
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT(
            (err += agent.readAllStandardError()).contains("late.netkit: name lookup failed"), 5000);

        // It resolves now: the next tries find it.
        QVERIFY(hosts.open(QIODevice::WriteOnly | QIODevice::Append));
        QVERIFY(hosts.write("10.77.2.2 late.netkit\n") > 0);
        hosts.close();
        QTRY_COMPARE_WITH_TIMEOUT(valueOf(httpGet(19432, "/metrics"), "skylark_host_up", late), 1.0, 30000);
        QVERIFY(valueOf(httpGet(19432, "/metrics"), "skylark_echo_replies_total", late + ",ip=\"10.77.2.2\"") >= 1);

        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(5000));
        QCOMPARE(agent.exitCode(), 0);
    }

    // Slow by its own word, losing every second echo, and down: each announced once to the
    // change command (and counted), and the state set shows each.
    void health_slowLossyDown_announcedOnceEach()
    {
        if (qEnvironmentVariableIsEmpty("NETKIT"))
            QSKIP("needs the network test kit (tests/netkit/netkit.sh)");
        const QString changes = m_dir.filePath(QStringLiteral("changes.txt"));
        QProcess agent;
        agent.setProcessEnvironment(noDisplay());
        agent.start(kExe,
            { QStringLiteral("--headless"), QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:19433"),
                QStringLiteral("--interval"), QStringLiteral("200ms"), QStringLiteral("--timeout"),
                QStringLiteral("500ms"), QStringLiteral("--on-change"), QStringLiteral("/bin/sh"),
                QStringLiteral("--on-change-arg"), QStringLiteral("-c"), QStringLiteral("--on-change-arg"),
                QStringLiteral("echo \"$SKYLARK_HOST $SKYLARK_PREVIOUS $SKYLARK_STATE\" >> \"$0\""),
                QStringLiteral("--on-change-arg"), changes, QStringLiteral("10.77.4.100 slow=50ms"),
                QStringLiteral("10.77.4.50"), QStringLiteral("10.77.3.2") });
        QVERIFY(agent.waitForStarted());
        const auto stateOf = [](const QByteArray &host, const QByteArray &state) {
            return valueOf(httpGet(19433, "/metrics"), "skylark_host_state",
                "host=\"" + host + "\",ip=\"" + host + "\",label=\"\",state=\"" + state + '"');
        };
        QTRY_COMPARE_WITH_TIMEOUT(stateOf("10.77.4.100", "slow"), 1.0, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf("10.77.4.50", "lossy"), 1.0, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf("10.77.3.2", "down"), 1.0, 15000);
        // Some more results: the states hold, and nothing more is announced.
        QTest::qWait(3000);
        const QByteArray metrics = httpGet(19433, "/metrics");
        QCOMPARE(valueOf(metrics, "skylark_host_state_changes_total",
                     "host=\"10.77.4.100\",ip=\"10.77.4.100\","
                     "label=\"\",state=\"slow\""),
            1.0);
        QCOMPARE(valueOf(metrics, "skylark_host_state_changes_total",
                     "host=\"10.77.4.50\",ip=\"10.77.4.50\","
                     "label=\"\",state=\"lossy\""),
            1.0);
        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(5000));
        QCOMPARE(agent.exitCode(), 0);
        QFile f(changes);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        lines.sort();
        // Every second echo lost reads as degraded until ten results are in.
        QCOMPARE(lines.join(u'|'),
            QStringLiteral("10.77.3.2 up down|10.77.4.100 up slow|10.77.4.50 degraded lossy|10.77.4.50 up degraded"));
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
        // The state set says the same, on both sides.
        for (const QString side : { QStringLiteral("agent"), QStringLiteral("desktop") }) {
            const QString in = QStringLiteral("skylark_host_state{side=\"%1\",state=\"%2\"}");
            QTRY_COMPARE_WITH_TIMEOUT(
                query(in.arg(side, QStringLiteral("down"))).value(QStringLiteral("10.77.3.2"), -1), 1.0, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(
                query(in.arg(side, QStringLiteral("up"))).value(QStringLiteral("10.77.2.2"), -1), 1.0, 10000);
        }
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
