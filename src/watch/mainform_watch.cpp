// Notifications and the result log: every frame of the board and of the floating windows is
// handed to one result watch.
#include "mainform.h"

#include "resultwatch.h"

void TMainForm::WatchFrame(TPingFrame *frame)
{
    if (!ResultWatch)
        ResultWatch = new TResultWatch(
            AppSettings, [this] { return DtaDir; }, this);
    ResultWatch->watch(frame);
}

void TMainForm::FlushResultLog()
{
    if (ResultWatch)
        ResultWatch->flushLog();
}
