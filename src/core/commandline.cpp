#include "commandline.h"

#include "hostspec.h"
#include "hoststate.h"
#include "metricsserver.h"
#include "resultlog.h"

#include <QCommandLineParser>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <tuple>

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
    const QCommandLineOption log(QStringLiteral("log"),
        QStringLiteral("Appends every result to ~/Documents/Corvid/Skylark/Logs/<host>-YYYY-MM-DD.csv, a file per "
                       "host and local day (with --headless)."));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption interval(QStringLiteral("interval"),
        QStringLiteral("Time from a result to the next echo for hosts that set none, such as 2s (with --headless)."),
        QStringLiteral("duration"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("How long an echo waits for its reply for hosts that set none, such as 500ms (with "
                       "--headless)."),
        QStringLiteral("duration"));
    const QCommandLineOption slow(QStringLiteral("slow"),
        QStringLiteral("A host whose median RTT is above this is slow, such as 50ms (with --headless)."),
        QStringLiteral("duration"));
    const QCommandLineOption loss(QStringLiteral("loss"),
        QStringLiteral("A host losing more than this share of its echoes is lossy, such as 5% (with --headless)."),
        QStringLiteral("percent"));
    const QCommandLineOption damping(QStringLiteral("damping"),
        QStringLiteral("How many results in a row a new state must hold before it is announced; 3 unless given "
                       "(with --headless)."),
        QStringLiteral("n"));
    const QCommandLineOption onChange(QStringLiteral("on-change"),
        QStringLiteral("Runs PROGRAM at every announced change of a host's state (with --headless)."),
        QStringLiteral("program"));
    const QCommandLineOption onChangeArg(QStringLiteral("on-change-arg"),
        QStringLiteral("An argument for the --on-change program (repeatable)."), QStringLiteral("arg"));
    const QCommandLineOption keepDays(QStringLiteral("keep-days"),
        QStringLiteral("Days of history and of logs kept besides today, 1 to 3650; older ones are removed (with "
                       "--headless; default 30)."),
        QStringLiteral("n"));
    parser.addOptions(
        { headless, metrics, list, log, interval, timeout, slow, loss, damping, onChange, onChangeArg, keepDays });
    const QCommandLineOption exportHistory(QStringLiteral("export-history"),
        QStringLiteral("Writes the kept history as CSV to standard output and exits."));
    const QCommandLineOption history(QStringLiteral("history"),
        QStringLiteral("Keeps the history in DIR (with --headless), or exports it from there."), QStringLiteral("dir"));
    const QCommandLineOption exportHost(QStringLiteral("host"),
        QStringLiteral("Exports this host only: its text without options, or its first word (repeatable)."),
        QStringLiteral("text"));
    const QCommandLineOption from(
        QStringLiteral("from"), QStringLiteral("Exports from this ISO 8601 date or time on."), QStringLiteral("time"));
    const QCommandLineOption to(
        QStringLiteral("to"), QStringLiteral("Exports up to this ISO 8601 date or time."), QStringLiteral("time"));
    const QCommandLineOption outages(QStringLiteral("outages"), QStringLiteral("Exports the outages."));
    const QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("Exports the one-minute figures."));
    parser.addOptions({ exportHistory, history, exportHost, from, to, outages, minutes });
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
    if (!cl.headless && (parser.isSet(interval) || parser.isSet(timeout) || parser.isSet(keepDays))) {
        cl.action = Action::Fail;
        cl.text = QStringLiteral("skylark: --interval, --timeout and --keep-days go with --headless.\n"
                                 "Try 'skylark --help' for more information.\n");
        return cl;
    }
    if (parser.isSet(keepDays)) {
        const QString value = parser.value(keepDays).trimmed();
        const bool digits = !value.isEmpty() && value.size() <= 4
            && std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        const int days = digits ? value.toInt() : 0;
        if (days < ResultLog::kMinKeepDays || days > ResultLog::kMaxKeepDays) {
            cl.action = Action::Fail;
            cl.text = QStringLiteral("skylark: --keep-days %1: give a whole number of days from %2 to %3.\n")
                          .arg(value.left(40))
                          .arg(ResultLog::kMinKeepDays)
                          .arg(ResultLog::kMaxKeepDays);
            return cl;
        }
        cl.keepDays = days;
    }
    // The same values and bounds as a host text's own words.
    for (const auto &[option, name, target] :
        { std::tuple { &interval, "interval", &cl.intervalMs }, std::tuple { &timeout, "timeout", &cl.timeoutMs } }) {
        if (!parser.isSet(*option))
            continue;
        const QString value = parser.value(*option).trimmed();
        double ms = 0;
        if (!Duration::parse(value, &ms)) {
            cl.action = Action::Fail;
            cl.text = QStringLiteral("skylark: --%1 %2: give a number with ms, s, m or h, such as 2s.\n")
                          .arg(QLatin1String(name), value.left(40));
            return cl;
        }
        const HostSpec s
            = HostSpec::parse(QStringLiteral("x %1=%2ms").arg(QLatin1String(name), QString::number(ms, 'f', 3)));
        *target = std::string_view(name) == "interval" ? s.intervalMs : s.timeoutMs;
        for (const QString &note : s.notes)
            std::fprintf(stderr, "skylark: --%s: %s\n", name, qPrintable(note));
    }
    if (!cl.headless
        && (parser.isSet(slow) || parser.isSet(loss) || parser.isSet(damping) || parser.isSet(onChange)
            || parser.isSet(onChangeArg))) {
        cl.action = Action::Fail;
        cl.text = QStringLiteral("skylark: --slow, --loss, --damping and --on-change go with --headless; the desktop "
                                 "has them in its settings.\nTry 'skylark --help' for more information.\n");
        return cl;
    }
    const auto fail = [&cl](const QString &why) {
        cl.action = Action::Fail;
        cl.text = QStringLiteral("skylark: %1\n").arg(why);
        return cl;
    };
    // The same words and bounds as a host text's slow= and loss=.
    if (parser.isSet(slow) || parser.isSet(loss)) {
        const QString slowText = parser.value(slow).trimmed(), lossText = parser.value(loss).trimmed();
        QString words = QStringLiteral("x");
        if (parser.isSet(slow))
            words += QStringLiteral(" slow=") + slowText;
        if (parser.isSet(loss))
            words += QStringLiteral(" loss=") + lossText;
        const HostSpec s = HostSpec::parse(words);
        if (parser.isSet(slow) && !s.slowGiven)
            return fail(
                QStringLiteral("--slow %1: give a number with ms, s, m or h, such as 50ms.").arg(slowText.left(40)));
        if (parser.isSet(loss) && !s.lossGiven)
            return fail(QStringLiteral("--loss %1: give a share in percent, such as 5%.").arg(lossText.left(40)));
        cl.slowMs = s.slowGiven ? s.slowMs : 0;
        cl.lossPercent = s.lossGiven ? s.lossPercent : -1;
        for (const QString &note : s.notes)
            std::fprintf(stderr, "skylark: %s\n", qPrintable(note));
    }
    if (parser.isSet(damping)) {
        bool ok = false;
        cl.damping = parser.value(damping).trimmed().toInt(&ok);
        if (!ok || cl.damping < 1 || cl.damping > HostState::Damper::kMaxResults)
            return fail(QStringLiteral("--damping %1: give a whole number from 1 to %2.")
                            .arg(parser.value(damping).trimmed().left(40))
                            .arg(HostState::Damper::kMaxResults));
    }
    cl.onChange = parser.value(onChange);
    cl.onChangeArgs = parser.values(onChangeArg);
    if (parser.isSet(onChangeArg) && cl.onChange.isEmpty())
        return fail(QStringLiteral("--on-change-arg goes with --on-change PROGRAM."));
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

    auto refuse = [&cl](const QString &why) {
        cl.action = Action::Fail;
        cl.text = QStringLiteral("skylark: %1\nTry 'skylark --help' for more information.\n").arg(why);
        return cl;
    };
    cl.exportHistory = parser.isSet(exportHistory);
    cl.historyDir = parser.value(history);
    if (parser.isSet(history) && cl.historyDir.isEmpty())
        return refuse(QStringLiteral("--history wants a folder."));
    if (parser.isSet(history) && !cl.headless && !cl.exportHistory)
        return refuse(QStringLiteral("--history goes with --headless or --export-history."));
    const bool exportOptions = parser.isSet(exportHost) || parser.isSet(from) || parser.isSet(to)
        || parser.isSet(outages) || parser.isSet(minutes);
    if (!cl.exportHistory) {
        if (exportOptions)
            return refuse(QStringLiteral("--host, --from, --to, --outages and --minutes go with --export-history."));
        return cl;
    }
    if (cl.headless || parser.isSet(metrics) || parser.isSet(list) || cl.log || !cl.hosts.isEmpty())
        return refuse(QStringLiteral("--export-history takes no hosts, --headless, --metrics, --list or --log."));
    if (parser.isSet(outages) && parser.isSet(minutes))
        return refuse(QStringLiteral("--outages and --minutes do not go together."));
    cl.historyExport = { parser.values(exportHost), parser.value(from), parser.value(to), parser.isSet(outages),
        parser.isSet(minutes) };
    return cl;
}
