// The history: every result of every frame of the board and of the ping windows is kept in
// the store in DtaDir + "History/", written on a thread of its own. The store's messages (a
// second Skylark writing it, a full disk, a damaged store moved aside) go to the error display.
#include "mainform.h"

#include "historyform.h"
#include "historyrecorder.h"
#include "outagesform.h"
#include "historywriter.h"
#include "pingframe.h"
#include "hostprobe.h"
#include "hostspec.h"
#include "skylarkerror.h"

#include <QLineEdit>

QString TMainForm::HistoryDir() const
{
    return DtaDir + QStringLiteral("History/");
}

void TMainForm::RecordFrame(TPingFrame *frame)
{
    if (!frame->Probe())
        return;
    if (!HistoryWriting) {
        HistoryWriting = new HistoryThread(HistoryDir(), {}, this);
        // Already queued from the writer's thread: shown between two events, never from
        // inside a frame's work.
        connect(HistoryWriting, &HistoryThread::message, this, [](const QString &text) { ErrorDisplay::show(text); });
        HistoryRecording = new HistoryRecorder(HistoryWriting, HistoryWriting);
    }
    // Each probe is followed until it is freed with its frame.
    HistoryRecording->attach(frame->Probe());
}

void TMainForm::CloseHistory()
{
    // Writes what waits and ends the run; a frame made later starts a new one.
    delete std::exchange(HistoryWriting, nullptr);
    HistoryRecording = nullptr;
}

THistoryForm *TMainForm::ShowHistory(TPingFrame *frame)
{
    if (!frame)
        return nullptr;
    // The host the frame pings now, or the one its edit names.
    QString identity = frame->Probe() ? frame->Probe()->hostSpec().identity : QString();
    if (identity.isEmpty())
        identity = HostSpec::parse(frame->HostEdit->text()).identity;
    return ShowHistoryOf(identity);
}

THistoryForm *TMainForm::ShowHistoryOf(const QString &identity)
{
    if (identity.isEmpty())
        return nullptr;
    for (THistoryForm *open : findChildren<THistoryForm *>()) {
        if (open->identity() == identity) {
            open->reload();
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto *form = new THistoryForm(HistoryDir(), identity, this);
    form->show();
    return form;
}

TOutagesForm *TMainForm::ShowOutages()
{
    if (auto *open = findChild<TOutagesForm *>()) {
        open->reload();
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    auto *form = new TOutagesForm(HistoryDir(), this);
    connect(form, &TOutagesForm::historyRequested, this, &TMainForm::ShowHistoryOf);
    form->show();
    return form;
}
