#include "application.h"
#include "commandline.h"
#include "headlessagent.h"
#include "historyexport.h"
#include "hlbeditmemodlg.h"
#include "infomemoform.h"
#include "mainform.h"
#include "selectfiledlg.h"
#include "settingsform.h"
#include "oiform.h"
#include "utlunit.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>

namespace {

// Probes, metrics and logs without a display: no widget is made, so no display is needed.
int runHeadless(int argc, char **argv, const CommandLine &commandLine, const QString &version)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("skylark"));
    const QString dtaDir
        = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/Corvid/Skylark/");
    HeadlessAgent::Options options { commandLine.hosts, commandLine.listFile, commandLine.metricsAddress,
        commandLine.log, commandLine.intervalMs, commandLine.timeoutMs, commandLine.historyDir, commandLine.slowMs,
        commandLine.lossPercent, commandLine.damping, commandLine.onChange, commandLine.onChangeArgs };
    if (commandLine.keepDays > 0)
        options.keepDays = commandLine.keepDays;
    HeadlessAgent agent(std::move(options), dtaDir, version);
    const QString why = agent.start();
    if (!why.isEmpty()) {
        std::fprintf(stderr, "skylark: %s\n", qPrintable(why));
        return 2;
    }
    QObject::connect(&agent, &HeadlessAgent::quitRequested, &app, &QCoreApplication::quit);
    app.exec();
    agent.finish();
    return 0;
}

// The kept history as CSV, without a display.
int runExport(int argc, char **argv, const CommandLine &commandLine)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("skylark"));
    const QString dir = !commandLine.historyDir.isEmpty()
        ? commandLine.historyDir
        : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
            + QStringLiteral("/Corvid/Skylark/History");
    const CommandLine::Export &e = commandLine.historyExport;
    HistoryExport::Request request { dir, e.hosts, e.from, e.to,
        e.outages       ? HistoryExport::Rows::Outages
            : e.minutes ? HistoryExport::Rows::Minutes
                        : HistoryExport::Rows::Results };
    QTextStream out(stdout);
    QTextStream err(stderr);
    return HistoryExport::run(request, out, err, QDateTime::currentMSecsSinceEpoch());
}

} // namespace

int main(int argc, char **argv)
{
    // --help and --version are answered before any window exists, so they need no display.
    CommandLine commandLine;
    QString version;
    {
        QCoreApplication early(argc, argv);
        early.setApplicationName(QStringLiteral("skylark"));
        version = UtlUnit::GetFileVersionStr(QCoreApplication::applicationFilePath());
        commandLine = CommandLine::parse(QCoreApplication::arguments(), QStringLiteral("Skylark-v") + version);
    }
    if (commandLine.action != CommandLine::Action::Run) {
        const bool failed = commandLine.action == CommandLine::Action::Fail;
        std::fputs(commandLine.text.toLocal8Bit().constData(), failed ? stderr : stdout);
        return failed ? 2 : 0;
    }
    if (commandLine.exportHistory)
        return runExport(argc, argv, commandLine);
    if (commandLine.headless)
        return runHeadless(argc, argv, commandLine, version);

    TApplication app(argc, argv);

    // The long-lived windows, in this order; each lives until the process ends.
    TMainForm mainForm;
    app.setMainWindow(&mainForm);
    TSelectFileDlg selectFileDlg(&mainForm);
    mainForm.SelectFileDlg = &selectFileDlg;
    TSettingsForm settingsForm(&mainForm);
    TInfoMemoForm infoMemoForm(&mainForm);
    mainForm.InfoMemoForm = &infoMemoForm;
    TOIForm oiForm(&mainForm);
    mainForm.OIForm = &oiForm;
    THLBEditMemoDlg hlbEditMemoDlg(&mainForm);
    mainForm.HLBEditMemoDlg = &hlbEditMemoDlg;
    mainForm.StartHosts = commandLine.hosts;
    mainForm.StartMetricsAddress = commandLine.metricsAddress;

    mainForm.show();
    return app.exec();
}
