// Notifications and the result log: every frame of the board and of the floating windows is
// handed to one result watch.
#include "mainform.h"

#include "resultwatch.h"
#include "settingsform.h"

#include <QCheckBox>

void TMainForm::WatchFrame(TPingFrame *frame)
{
    if (!ResultWatch) {
        ResultWatch = new TResultWatch(
            AppSettings, [this] { return DtaDir; }, this);
        // The settings dialog shows the switch as it now is.
        connect(ResultWatch, &TResultWatch::LoggingStopped, this, [this] {
            if (SettingsForm)
                SettingsForm->LogResultsCheckBox->setChecked(false);
        });
    }
    ResultWatch->watch(frame);
}

void TMainForm::FlushResultLog()
{
    if (ResultWatch)
        ResultWatch->flushLog();
}
