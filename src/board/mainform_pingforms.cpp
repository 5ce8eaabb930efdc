// The floating ping windows: "Add Form" makes one more, "Clear Forms" and the shutdown free
// them all. The window at index i of PingForms is "PingForm_i" with Tag i.
#include "mainform.h"

#include "boardwait.h"
#include "pingform.h"
#include "pingframe.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QThread>

namespace {
// How long a clear waits for one window's echo: the echo's own time-out and a second more.
// An indicator that never returns to "-" (set by hand, or a lost completion) must not hold
// the clear, or the shutdown, for ever; a result that comes later is dropped with its frame.
constexpr qint64 kEchoWaitMs = 4000 + 1000;

// As for column frames: a frame whose result handler is below us on the stack has finished.
bool pingInFlight(const QPointer<TPingFrame> &f)
{
    return f && f->InFlight() && !f->InTerminateHandler();
}
} // namespace

void TMainForm::wirePingFormCommands()
{
    connectBoardCommand(aAddPingForm, &TMainForm::AddPingForm);
    connectBoardCommand(aClearPingForms, &TMainForm::ClearPingForms);
}

void TMainForm::AddPingForm()
{
    const int n = int(PingForms.size()) + 1;
    auto *form = new TPingForm(this);
    PingForms.append(form);
    WatchFrame(form->PingFrame);
    const QString name = QStringLiteral("PingForm_") + QString::number(n - 1);
    form->setObjectName(name);
    form->setWindowTitle(name);
    form->Tag = n - 1;
    // Shown where the window system puts a new window, at its designed size.
    form->show();
}

void TMainForm::ClearPingForms()
{
    if (PingForms.isEmpty())
        return;
    BoardWait wait(this);
    // The frames keep running until their window goes, but nobody may start or stop them now.
    for (TPingForm *form : std::as_const(PingForms))
        form->PingFrame->setEnabled(false);
    while (!PingForms.isEmpty()) {
        QPointer<TPingForm> form = PingForms.first();
        QPointer<TPingFrame> frame = form ? form->PingFrame : nullptr;
        // Freed between two pings of a running frame. A close by signal or logout has
        // nobody to wait for: the windows go at once, and late results are dropped.
        QElapsedTimer waited;
        waited.start();
        while (!m_unattended) {
            QCoreApplication::processEvents();
            QThread::msleep(100);
            if (!pingInFlight(frame) || m_unattended || waited.elapsed() >= kEchoWaitMs)
                break;
        }
        // Out of the list before it is freed: the list never holds a freed window.
        PingForms.removeOne(form.data());
        delete form.data();
    }
    PingForms.clear();
}
