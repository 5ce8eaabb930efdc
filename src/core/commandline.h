#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for: host names to watch, or a text to print and leave.
struct CommandLine
{
    enum class Action { Run, Print, Fail };
    Action action = Action::Run;
    QStringList hosts; // become running frames once the program has started
    // Running without a display: the probes, the metrics endpoint and the logs only.
    bool headless = false;
    QString metricsAddress;
    QString listFile;
    bool log = false;
    // The agent's interval and echo time-out for every host whose text sets none (ms).
    int intervalMs = 0;
    int timeoutMs = 0;
    // The agent's thresholds for hosts whose text sets none (0 and -1: the usual 250 ms and
    // 10 %), how many results a change must hold before it is announced, and the command run
    // at each announced change, with its arguments.
    int slowMs = 0;
    double lossPercent = -1;
    int damping = 0;
    QString onChange;
    QStringList onChangeArgs;
    // The agent's days of raw history and of logs kept besides the current one; 0 when not given.
    int keepDays = 0;
    QString text; // help, version or error text for Print / Fail
    // The history folder (with --headless or --export-history).
    QString historyDir;
    // --export-history: CSV of the kept history to standard output, and nothing else.
    struct Export
    {
        QStringList hosts;
        QString from;
        QString to;
        bool outages = false;
        bool minutes = false;
    };
    bool exportHistory = false;
    Export historyExport;

    // args as the program got them, the program's name first. Options of the toolkit's own
    // (-platform, -style, -display, ...) are let through for it.
    static CommandLine parse(const QStringList &args, const QString &versionText);
};
