#include "commandline.h"

#include "metricsserver.h"

#include <QCommandLineParser>

CommandLine CommandLine::parse(const QStringList &args, const QString &versionText)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Watches the reachability and latency of many hosts at once."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version(
        { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Shows the version and exits."));
    const QCommandLineOption headless(
        QStringLiteral("headless"), QStringLiteral("Runs without a display: probes, metrics and logs only."));
    const QCommandLineOption metrics(QStringLiteral("metrics"),
        QStringLiteral("Serves metrics for Prometheus at ADDRESS:PORT."), QStringLiteral("address:port"));
    const QCommandLineOption list(QStringLiteral("list"),
        QStringLiteral("Watches the hosts of a host list file too (with --headless)."), QStringLiteral("file"));
    const QCommandLineOption log(
        QStringLiteral("log"), QStringLiteral("Appends every result to the host's log file (with --headless)."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOptions({ headless, metrics, list, log });
    for (const char *name :
        { "platform", "style", "stylesheet", "display", "geometry", "session", "title", "qwindowtitle" }) {
        QCommandLineOption toolkit(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(toolkit);
    }
    for (const char *name : { "reverse", "widgetcount", "sync", "nograb", "dograb" }) {
        QCommandLineOption toolkit(QString::fromLatin1(name));
        toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(toolkit);
    }
    parser.addPositionalArgument(QStringLiteral("hosts"),
        QStringLiteral("Host names or addresses to watch, each in a running frame."), QStringLiteral("[host...]"));

    CommandLine cl;
    if (!parser.parse(args)) {
        cl.action = Action::Fail;
        cl.text = QStringLiteral("skylark: %1\nTry 'skylark --help' for more information.\n").arg(parser.errorText());
        return cl;
    }
    if (parser.isSet(help)) {
        cl.action = Action::Print;
        cl.text = parser.helpText();
        return cl;
    }
    if (parser.isSet(version)) {
        cl.action = Action::Print;
        cl.text = versionText + u'\n';
        return cl;
    }
    cl.headless = parser.isSet(headless);
    cl.metricsAddress = parser.value(metrics);
    cl.listFile = parser.value(list);
    cl.log = parser.isSet(log);
    if (!cl.headless && (parser.isSet(list) || cl.log)) {
        cl.action = Action::Fail;
        cl.text = QStringLiteral("skylark: --list and --log go with --headless.\n"
                                 "Try 'skylark --help' for more information.\n");
        return cl;
    }
    // Port 0 would listen on a port the system picks and nobody is told.
    if (const auto at = MetricsServer::parseAddress(cl.metricsAddress); at && at->port == 0) {
        cl.action = Action::Fail;
        cl.text = QStringLiteral("skylark: --metrics %1: port 0 is not served; give a port from 1 to 65535.\n")
                      .arg(cl.metricsAddress.trimmed());
        return cl;
    }
    for (const QString &host : parser.positionalArguments())
        if (!host.trimmed().isEmpty())
            cl.hosts.append(host.trimmed());
    return cl;
}
