// Notifications and the result log: the probe of every frame of the board and of the floating
// windows is handed to one result watch, and to the metrics watch that serves their figures.
#include "mainform.h"

#include "metricswatch.h"
#include "resultwatch.h"
#include "skylarkerror.h"
#include "utlunit.h"

#include <QCoreApplication>
#include <QTimer>

void TMainForm::WatchFrame(TPingFrame *frame)
{
    if (!ResultWatch) {
        ResultWatch = new TResultWatch(
            *Settings, [this] { return DtaDir; }, this);
    }
    ResultWatch->watch(frame->Probe());
    if (!MetricsWatch)
        MetricsWatch = new TMetricsWatch(UtlUnit::GetFileVersionStr(QCoreApplication::applicationFilePath()), this);
    MetricsWatch->watch(frame->Probe(), frame);
}

// The metrics endpoint: serves at StartMetricsAddress when the command line gave one,
// else at AppSettings.MetricsAddress (nowhere when empty); a failure is shown once.
void TMainForm::ApplyMetricsAddress()
{
    if (!MetricsWatch)
        MetricsWatch = new TMetricsWatch(UtlUnit::GetFileVersionStr(QCoreApplication::applicationFilePath()), this);
    const QString address = StartMetricsAddress.isEmpty() ? AppSettings.MetricsAddress : StartMetricsAddress;
    const QString why = MetricsWatch->serveAt(address);
    if (!why.isEmpty())
        // After the caller's work: the program goes on without the endpoint.
        QTimer::singleShot(0, this, [why] { ErrorDisplay::show(why); });
}

void TMainForm::FlushResultLog()
{
    if (ResultWatch)
        ResultWatch->flushLog();
}
