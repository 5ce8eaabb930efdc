// The main window's side of the frame board: its commands, menus and columns. The board
// (TFrameBoard) does the work on the frames.
#include "mainform.h"

#include "timingdialog.h"

#include "frameboard.h"
#include "columnpanel.h"
#include "pingframe.h"
#include "popupmenu.h"
#include "skylarkerror.h"
#include "splitterbar.h"

#include <QLineEdit>
#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>

#include <algorithm>

void TMainForm::connectBoardCommand(QAction *action, void (TMainForm::*operation)())
{
    connect(action, &QAction::triggered, this,
        [this, operation] { runBoardCommand([this, operation] { (this->*operation)(); }); });
}

// The one rule for commands that touch frames: while a command waits for pings (and lets
// events through meanwhile), every other such command is refused, since the waiting one
// holds frames it is about to free. A close that arrives meanwhile is deferred (closeEvent).
bool TMainForm::runBoardCommand(const std::function<void()> &operation)
{
    return Board->run([&] {
        // What the user does to the board now is the board; frames a cut-short load never
        // made are no longer part of it.
        m_unloaded1.clear();
        m_unloaded2.clear();
        runGuarded(operation);
    });
}

void TMainForm::wireBoardCommands()
{
    for (auto [action, operation] : std::initializer_list<std::pair<QAction *, void (TMainForm::*)()>> {
             { aAddPingFrame, &TMainForm::AddPingFrame }, { aClearFrames, &TMainForm::ClearColumnFrames1 },
             { aClearFrames2, &TMainForm::ClearColumnFrames2 }, { aClearAllFrames, &TMainForm::ClearAllFrames },
             { aStartAllPinging, &TMainForm::StartAllPinging }, { aStopAllPinging, &TMainForm::StopAllPinging },
             { aRemoveOrphanFrames, &TMainForm::RemoveOrphanFrames }, { aSizeFrames, &TMainForm::SizeFrames },
             { aSizeFrames2, &TMainForm::SizeFrames2 }, { aShow3, &TMainForm::aShow3Execute },
             { pmiRemoveFrameObject, &TMainForm::pmiRemoveFrameObjectClick },
             { pmiRemoveFrameObject2, &TMainForm::pmiRemoveFrameObject2Click },
             { pmiMoveUp, &TMainForm::pmiMoveUpClick }, { pmiMoveDown, &TMainForm::pmiMoveDownClick },
             { pmiMoveUp2, &TMainForm::pmiMoveUp2Click }, { pmiMoveDown2, &TMainForm::pmiMoveDown2Click },
             { pmiMovetoColumn2, &TMainForm::pmiMovetoColumn2Click },
             { pmiMovetoColumn1, &TMainForm::pmiMovetoColumn1Click } })
        connectBoardCommand(action, operation);
    connect(pmiIntervalTimeout, &QAction::triggered, this, [this] { EditFrameTiming(popupFrame(FramePM1)); });
    connect(pmiIntervalTimeout2, &QAction::triggered, this, [this] { EditFrameTiming(popupFrame(FramePM2)); });
    connect(mmiOutages, &QAction::triggered, this, [this] { runGuarded([this] { ShowOutages(); }); });
    connect(
        pmiHistory, &QAction::triggered, this, [this] { runGuarded([this] { ShowHistory(popupFrame(FramePM1)); }); });
    connect(
        pmiHistory2, &QAction::triggered, this, [this] { runGuarded([this] { ShowHistory(popupFrame(FramePM2)); }); });
    // Sessions replace the board.
    connectBoardCommand(aLoadFrameSession, &TMainForm::aLoadFrameSessionExecute);
    connectBoardCommand(aSelectSessionFile, &TMainForm::aSelectSessionFileExecute);
    connectBoardCommand(aReloadAutosaveSession, &TMainForm::aReloadAutosaveSessionExecute);
    connectGuarded(aSaveFrameSession, &TMainForm::aSaveFrameSessionExecute);
    connect(aShow2, &QAction::triggered, this, [this] {
        if (!runBoardCommand([this] { ShowColumn2(); }))
            mmiShow2->setChecked(!mmiShow2->isChecked()); // refused: undo the item's own toggle
    });
    connect(mmiShowColumn2Resize, &QAction::triggered, this, [this] {
        mmiShowColumn2Resize->setChecked(mmiShow2->isChecked()); // the state follows column 2
        runBoardCommand([this] { ShowColumn2Resize(); });
    });
    FramePM1->OnPopup = [this](TPopupMenu *m) { return FramePM1Popup(m); };
    FramePM2->OnPopup = [this](TPopupMenu *m) { return FramePM2Popup(m); };
}

void TMainForm::wirePingFormCommands()
{
    connectBoardCommand(aAddPingForm, &TMainForm::AddPingForm);
    connectBoardCommand(aClearPingForms, &TMainForm::ClearPingForms);
}

// --- Adding and laying out -----------------------------------------------------------

void TMainForm::AddPingFrame()
{
    Board->addFrame(1);
}

void TMainForm::AddPingFrame2()
{
    Board->addFrame(2);
}

void TMainForm::SizeFrames()
{
    Board->sizeColumn(1);
}

void TMainForm::SizeFrames2()
{
    Board->sizeColumn(2);
}

void TMainForm::SizeFramesWithExpand()
{
    if (Board->ColumnFrames1.isEmpty())
        return;
    // The window grows by a frame while it stays within the work area of its screen; past
    // that the frames share what fits.
    int grow = Board->ColumnFrames1[0]->height();
    QScreen *screen = QGuiApplication::screenAt(frameGeometry().center());
    if (!screen)
        screen = this->screen();
    if (screen) {
        const QRect area = screen->availableGeometry(), outer = frameGeometry();
        grow = std::clamp(area.y() + area.height() - (outer.y() + outer.height()), 0, grow);
    }
    if (grow > 0)
        resize(width(), height() + grow);
    // Re-align the panels now, as the column layout below reads their new height.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (layout())
        layout()->activate();
    if (centralWidget()->layout())
        centralWidget()->layout()->activate();
    if (RightPanel->layout())
        RightPanel->layout()->activate();
    SizeFrames();
}

static int column2Width(QWidget *right, QWidget *s12, QWidget *s23, int parts)
{
    return (right->width() - s12->width() - s23->width()) / parts;
}

void TMainForm::ShowColumn2()
{
    mmiShowColumn2Resize->setChecked(mmiShow2->isChecked());
    if (mmiShow2->isChecked()) {
        ColumnPanel2->SetPanelWidth(column2Width(RightPanel, Splitter12, Splitter23, 2));
        ColumnPanel2->setCaption(QString());
        ColumnPanel2->show();
        Splitter12->show();
        for (QAction *a : { aPingSelected2, aClearFrames2, aSizeFrames2 })
            a->setVisible(true);
        pmiMovetoColumn2->setVisible(true);
    } else {
        ClearColumnFrames2();
        ColumnPanel2->hide();
        Splitter12->hide();
        for (QAction *a : { aShow3, aPingSelected2, aClearFrames2, aSizeFrames2 })
            a->setVisible(false);
        pmiMovetoColumn2->setVisible(false);
    }
}

void TMainForm::ShowColumn2Resize()
{
    mmiShow2->setChecked(!mmiShow2->isChecked());
    mmiShowColumn2Resize->setChecked(mmiShow2->isChecked());
    if (mmiShow2->isChecked()) {
        const int before = width();
        resize(width() + ColumnPanel1->width() + Splitter12->width(), height());
        m_widthsAroundColumn2 = { before, width() };
    } else if (width() == m_widthsAroundColumn2.second && m_widthsAroundColumn2.first > 0) {
        // Not resized since column 2 came: back to exactly the width it had before.
        resize(m_widthsAroundColumn2.first, height());
    } else {
        resize(width() - (ColumnPanel2->width() + Splitter12->width()), height());
    }
    ShowColumn2();
}

void TMainForm::aShow3Execute()
{
    ColumnPanel3->SetPanelWidth(column2Width(RightPanel, Splitter12, Splitter23, 3));
    ColumnPanel3->show();
    Splitter23->show();
}

void TMainForm::FormResize()
{
    if (mmiShow2->isChecked())
        ColumnPanel2->SetPanelWidth(column2Width(RightPanel, Splitter12, Splitter23, 2));
    SizeFrames();
    SizeFrames2();
}

// --- Popup menus ---------------------------------------------------------------------

void TMainForm::EditFrameTiming(TPingFrame *frame)
{
    if (!frame)
        return;
    auto *dialog = findChild<TTimingDialog *>(QStringLiteral("TimingDialog"));
    if (!dialog)
        dialog = new TTimingDialog(this);
    QPointer<TPingFrame> f(frame);
    dialog->setHostText(frame->HostEdit->text());
    if (dialog->exec() != QDialog::Accepted || !f)
        return;
    // The probe follows its host text; the identity stays, so the host goes on as it was.
    if (f->HostEdit->text() != dialog->hostText()) {
        f->HostEdit->setText(dialog->hostText());
        Board->SetChanged(true);
    }
}

TPingFrame *TMainForm::popupFrame(TPopupMenu *menu) const
{
    return qobject_cast<TPingFrame *>(menu->PopupComponent.data());
}

bool TMainForm::FramePM1Popup(TPopupMenu *menu)
{
    // A Shift-click belongs to the frame; Shift+F10 opens the menu.
    if (!menu->OpenedByKeyboard() && (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier))
        return false;
    const TPingFrame *f = popupFrame(menu);
    const int t = f ? f->Tag : 0;
    pmiMoveUp->setVisible(t > 0);
    pmiMoveDown->setVisible(t < Board->ColumnFrames1.size() - 1);
    return true;
}

bool TMainForm::FramePM2Popup(TPopupMenu *menu)
{
    if (!menu->OpenedByKeyboard() && (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier))
        return false;
    const TPingFrame *f = popupFrame(menu);
    const int t = f ? f->Tag : 0;
    pmiMoveUp2->setVisible(t > 0);
    pmiMoveDown2->setVisible(t < Board->ColumnFrames2.size() - 1);
    return true;
}

// --- Frame commands: the board does the work -----------------------------------------

void TMainForm::pmiRemoveFrameObjectClick()
{
    Board->removeFrame(1, popupFrame(FramePM1));
}
void TMainForm::pmiRemoveFrameObject2Click()
{
    Board->removeFrame(2, popupFrame(FramePM2));
}
void TMainForm::pmiMoveUpClick()
{
    Board->moveFrame(1, popupFrame(FramePM1), -1);
}
void TMainForm::pmiMoveDownClick()
{
    Board->moveFrame(1, popupFrame(FramePM1), +1);
}
void TMainForm::pmiMoveUp2Click()
{
    Board->moveFrame(2, popupFrame(FramePM2), -1);
}
void TMainForm::pmiMoveDown2Click()
{
    Board->moveFrame(2, popupFrame(FramePM2), +1);
}

void TMainForm::pmiMovetoColumn2Click()
{
    if (!ColumnPanel2->isHidden())
        Board->moveToOtherColumn(1, popupFrame(FramePM1));
}

void TMainForm::pmiMovetoColumn1Click()
{
    Board->moveToOtherColumn(2, popupFrame(FramePM2));
}
void TMainForm::ClearColumnFrames1()
{
    Board->clearColumns({ 1 });
}
void TMainForm::ClearColumnFrames2()
{
    Board->clearColumns({ 2 });
}
void TMainForm::ClearAllFrames()
{
    Board->clearColumns({ 1, 2 });
}
void TMainForm::StartAllPinging()
{
    Board->startAll();
}
void TMainForm::StopAllPinging()
{
    Board->stopAll();
}
void TMainForm::RemoveOrphanFrames()
{
    Board->removeOrphans();
}
void TMainForm::ShowPause()
{
    Board->ShowPause();
}
void TMainForm::AddPingForm()
{
    Board->addForm();
}
void TMainForm::ClearPingForms()
{
    Board->clearForms();
}

// The command line's hosts as running frames: a host already on the board is started
// where it is (when none of its frames runs) instead of being added again.
void TMainForm::AddStartHosts(const QStringList &hosts)
{
    // The autosaved session already holds the hosts of the last run's command line: a host
    // on the board (same text, either column) is started, not added again.
    for (const QString &host : hosts) {
        TPingFrame *stopped = nullptr;
        bool running = false;
        for (const QList<TPingFrame *> *list : { &Board->ColumnFrames1, &Board->ColumnFrames2 }) {
            for (TPingFrame *f : *list) {
                if (f->setup().host != host)
                    continue;
                running = running || f->Running();
                if (!stopped && !f->Running())
                    stopped = f;
            }
        }
        if (running)
            continue;
        if (stopped)
            Board->startFrame(stopped);
        else
            AddHostFrame(host, true);
    }
}
