// The frame board: the two frame columns, their layout, and the commands that add, move,
// remove and clear frames. Positions, tags and names of the frames in a column always agree:
// the frame at position i is "PingFrame_i" (column 2: "PingFrame2_i") with Tag i.
#include "mainform.h"

#include "boardwait.h"
#include "columnpanel.h"
#include "pingframe.h"
#include "popupmenu.h"
#include "skylarkerror.h"
#include "splitterbar.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLayout>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {
// A frame whose only unfinished business is the result handler below us on the stack will
// never show "-" while we wait; it counts as finished.
bool stillInFlight(const QPointer<TPingFrame> &f)
{
    return f && f->InFlight() && !f->InTerminateHandler();
}
} // namespace

TMainForm::Column TMainForm::column(int k)
{
    if (k == 2)
        return { &ColumnFrames2, ColumnPanel2, QStringLiteral("PingFrame2_"), FramePM2 };
    return { &ColumnFrames1, ColumnPanel1, QStringLiteral("PingFrame_"), FramePM1 };
}

void TMainForm::sleepTimeToWait() const
{
    const int ms = std::min(AppSettings.TimeToWait, kMaxTimeToWait);
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

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
    if (BoardBusy())
        return false;
    m_boardChanged = true;
    // What the user does to the board now is the board; frames a cut-short load never made
    // are no longer part of it.
    m_unloaded1.clear();
    m_unloaded2.clear();
    runGuarded(operation);
    return true;
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

// --- Adding and laying out -----------------------------------------------------------

void TMainForm::addFrame(Column c, const QString *host, bool start, bool expand)
{
    const int n = int(c.frames->size()) + 1;
    auto *f = new TPingFrame(c.panel);
    c.frames->append(f);
    WatchFrame(f);
    f->setGeometry(0, n == 1 ? 0 : (n - 1) * f->height(), c.panel->width(), f->height());
    f->setObjectName(c.prefix + QString::number(n - 1));
    f->Tag = n - 1;
    f->PopupMenu = c.popup;
    f->BottomRightPanel->setVisible(AppSettings.StartTimeoutPnlVisible);
    f->show();
    if (host)
        f->HostEdit->setText(*host);
    if (expand)
        SizeFramesWithExpand();
    else if (!m_layoutDeferred)
        sizeColumn(c);
    if (start && !f->HostEdit->text().isEmpty())
        startFrame(f);
}

void TMainForm::startFrame(TPingFrame *f)
{
    constexpr int kStartsAtOnce = 16, kStepMs = 5;
    if (m_startsThisTurn++ == 0)
        QTimer::singleShot(0, this, [this] { m_startsThisTurn = 0; });
    const int later = m_startsThisTurn - kStartsAtOnce;
    f->StartDelayed(later > 0 ? (later * kStepMs) % 1000 : 0);
}

void TMainForm::AddPingFrame()
{
    addFrame(column(1), nullptr, false, false);
}

void TMainForm::AddPingFrame2()
{
    addFrame(column(2), nullptr, false, false);
}

void TMainForm::sizeColumn(Column c)
{
    const int n = int(c.frames->size());
    if (n <= 0)
        return;
    // The remainder of the division goes to the bottom frames, a pixel each, so that the
    // column is filled and no frame is more than a pixel taller than another.
    const int h = c.panel->height() / n, taller = n - c.panel->height() % n;
    for (int i = 0; i < n; ++i)
        (*c.frames)[i]->setGeometry(0, i * h + std::max(0, i - taller), c.panel->width(), h + (i >= taller ? 1 : 0));
}

void TMainForm::SizeFrames()
{
    sizeColumn(column(1));
}

void TMainForm::SizeFrames2()
{
    sizeColumn(column(2));
}

void TMainForm::SizeFramesWithExpand()
{
    const int n = int(ColumnFrames1.size());
    if (n <= 0)
        return;
    // The window grows by a frame while it stays within the work area of its screen; past
    // that the frames share what fits.
    int grow = ColumnFrames1[0]->height();
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
        m_widthsAroundColumn2 = {before, width()};
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
    pmiMoveDown->setVisible(t < ColumnFrames1.size() - 1);
    return true;
}

bool TMainForm::FramePM2Popup(TPopupMenu *menu)
{
    if (!menu->OpenedByKeyboard() && (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier))
        return false;
    const TPingFrame *f = popupFrame(menu);
    const int t = f ? f->Tag : 0;
    pmiMoveUp2->setVisible(t > 0);
    pmiMoveDown2->setVisible(t < ColumnFrames2.size() - 1);
    return true;
}

// --- Remove and move -----------------------------------------------------------------

static int lastIndexOfName(const QList<TPingFrame *> &frames, const QString &name)
{
    for (int i = int(frames.size()) - 1; i >= 0; --i)
        if (frames[i] && frames[i]->objectName() == name)
            return i;
    return -1;
}

static void renumber(QList<TPingFrame *> &frames, int from, const QString &prefix)
{
    for (int j = from; j < frames.size(); ++j) {
        frames[j]->setObjectName(prefix + QString::number(j));
        frames[j]->Tag = j;
    }
}

void TMainForm::removeFrame(Column c, TPingFrame *frame)
{
    if (!frame)
        return;
    int idx = lastIndexOfName(*c.frames, frame->objectName());
    if (idx < 0)
        return;
    QPointer<TPingFrame> f = c.frames->at(idx);
    {
        BoardWait wait(this);
        const bool wasRunning = f->Running();
        if (wasRunning) {
            f->SetDown(false);
            f->ContinuousPingSpdBtnClick();
        }
        f->setEnabled(false); // nobody restarts it while we wait
        // A frame that was neither running nor pinging has nothing to wait for.
        do {
            QCoreApplication::processEvents();
            if (wasRunning || stillInFlight(f))
                sleepTimeToWait();
        } while (stillInFlight(f));
    }
    // Out of the list before it is freed: the list never holds a freed frame.
    idx = int(c.frames->indexOf(f.data()));
    if (idx >= 0)
        c.frames->removeAt(idx);
    delete f.data();
    if (idx >= 0)
        renumber(*c.frames, idx, c.prefix);
    sizeColumn(c);
}

void TMainForm::pmiRemoveFrameObjectClick()
{
    removeFrame(column(1), popupFrame(FramePM1));
}

void TMainForm::pmiRemoveFrameObject2Click()
{
    removeFrame(column(2), popupFrame(FramePM2));
}

void TMainForm::moveFrame(Column c, TPingFrame *frame, int delta)
{
    if (!frame)
        return;
    const int t = frame->Tag;
    const int u = t + delta;
    if (t < 0 || t >= c.frames->size() || u < 0 || u >= c.frames->size())
        return;
    TPingFrame *a = (*c.frames)[t];
    TPingFrame *b = (*c.frames)[u];
    const QString nA = a->objectName();
    const QString nB = b->objectName();
    a->setObjectName(QStringLiteral("TempName"));
    b->setObjectName(nA);
    a->setObjectName(nB);
    std::swap(a->Tag, b->Tag);
    c.frames->swapItemsAt(t, u);
    sizeColumn(c);
}

void TMainForm::pmiMoveUpClick()
{
    moveFrame(column(1), popupFrame(FramePM1), -1);
}

void TMainForm::pmiMoveDownClick()
{
    moveFrame(column(1), popupFrame(FramePM1), +1);
}

void TMainForm::pmiMoveUp2Click()
{
    moveFrame(column(2), popupFrame(FramePM2), -1);
}

void TMainForm::pmiMoveDown2Click()
{
    moveFrame(column(2), popupFrame(FramePM2), +1);
}

void TMainForm::moveToOtherColumn(Column from, Column to, TPingFrame *frame)
{
    if (!frame)
        return;
    const int idx = lastIndexOfName(*from.frames, frame->objectName());
    if (idx < 0)
        return;
    TPingFrame *f = (*from.frames)[idx];
    to.frames->append(f);
    const int m = int(to.frames->size());
    f->setParent(to.panel);
    f->Tag = m - 1;
    f->setObjectName(to.prefix + QString::number(m - 1));
    f->PopupMenu = to.popup;
    // Anchored to the column's edges, the frame takes the width of its new column.
    f->setGeometry(0, f->y(), to.panel->width(), f->height());
    f->show();
    from.frames->removeAt(idx);
    renumber(*from.frames, idx, from.prefix);
    SizeFrames();
    SizeFrames2();
}

void TMainForm::pmiMovetoColumn2Click()
{
    if (ColumnPanel2->isHidden())
        return;
    moveToOtherColumn(column(1), column(2), popupFrame(FramePM1));
}

void TMainForm::pmiMovetoColumn1Click()
{
    moveToOtherColumn(column(2), column(1), popupFrame(FramePM2));
}

// --- Clears --------------------------------------------------------------------------

void TMainForm::stopColumnFrames(Column c, bool &anyRunning)
{
    for (TPingFrame *f : *c.frames) {
        if (f->Running()) {
            f->SetDown(false);
            f->ContinuousPingSpdBtnClick();
            anyRunning = true;
        }
        f->PingTimer->stop();
        f->setEnabled(false); // nobody restarts it before it is freed
    }
}

void TMainForm::markColumnFramesIdle(Column c)
{
    for (TPingFrame *f : *c.frames)
        if (f)
            f->ThreadInProgressLbl->setText(QStringLiteral("-"));
}

void TMainForm::freeColumnFrames(Column c)
{
    while (!c.frames->isEmpty()) {
        QPointer<TPingFrame> f = c.frames->first();
        while (stillInFlight(f)) {
            QCoreApplication::processEvents();
            if (stillInFlight(f))
                QThread::msleep(2);
        }
        // Out of the list before it is freed: the list never holds a freed frame.
        c.frames->removeOne(f.data());
        delete f.data();
    }
}

void TMainForm::clearColumns(const QList<int> &columns, bool atShutdown)
{
    BoardWait wait(this);
    bool anyRunning = false;
    for (int k : columns)
        stopColumnFrames(column(k), anyRunning);
    // With no frame running there is nothing to wait for; at shutdown by a signal or the
    // session manager there is nobody to answer the pause either.
    if (anyRunning)
        sleepTimeToWait();
    if (AppSettings.PauseForRemoveFrame && anyRunning && !(atShutdown && m_unattended))
        ShowPause();
    for (int k : columns) {
        markColumnFramesIdle(column(k));
        freeColumnFrames(column(k));
    }
}

void TMainForm::ClearColumnFrames1()
{
    clearColumns({ 1 });
}

void TMainForm::ClearColumnFrames2()
{
    clearColumns({ 2 });
}

void TMainForm::ClearAllFrames()
{
    clearColumns({ 1, 2 });
}

// --- Start, stop, orphans ------------------------------------------------------------

void TMainForm::StartAllPinging()
{
    // A frame that cannot start (empty host) must not keep the frames after it stopped:
    // start them all, then report the first error once.
    QString firstError;
    for (QList<TPingFrame *> *list : { &ColumnFrames1, &ColumnFrames2 }) {
        const QList<TPingFrame *> frames = *list;
        for (TPingFrame *f : frames) {
            if (f->Running())
                continue;
            try {
                startFrame(f);
            } catch (const SkylarkError &e) {
                if (firstError.isEmpty())
                    firstError = e.message();
            }
        }
    }
    if (!firstError.isEmpty())
        throw SkylarkError(firstError);
}

void TMainForm::AddStartHosts(const QStringList &hosts)
{
    // The autosaved session already holds the hosts of the last run's command line: a host
    // on the board (same text, either column) is started, not added again.
    for (const QString &host : hosts) {
        TPingFrame *stopped = nullptr;
        bool running = false;
        for (QList<TPingFrame *> *list : { &ColumnFrames1, &ColumnFrames2 }) {
            for (TPingFrame *f : *list) {
                if (f->HostEdit->text() != host)
                    continue;
                running = running || f->Running();
                if (!stopped && !f->Running())
                    stopped = f;
            }
        }
        if (running)
            continue;
        if (stopped)
            startFrame(stopped);
        else
            AddHostFrame(host, true);
    }
}

void TMainForm::StopAllPinging()
{
    for (QList<TPingFrame *> *list : { &ColumnFrames1, &ColumnFrames2 }) {
        for (TPingFrame *f : *list) {
            if (f->Running()) {
                f->SetDown(false);
                f->ContinuousPingSpdBtnClick();
            }
            f->PingTimer->stop();
        }
    }
}

void TMainForm::RemoveOrphanFrames()
{
    BoardWait wait(this);
    auto framesIn = [](TColumnPanel *panel) { return panel->findChildren<TPingFrame *>(Qt::FindDirectChildrenOnly); };
    bool anyRunning = false;
    for (TColumnPanel *panel : { ColumnPanel1, ColumnPanel2 }) {
        const QList<TPingFrame *> frames = framesIn(panel);
        for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
            if ((*it)->Running()) {
                (*it)->SetDown(false);
                (*it)->ContinuousPingSpdBtnClick();
                anyRunning = true;
            }
            (*it)->PingTimer->stop();
            (*it)->setEnabled(false);
        }
    }
    if (anyRunning)
        sleepTimeToWait();
    for (auto [panel, list] :
        { std::pair { ColumnPanel1, &ColumnFrames1 }, std::pair { ColumnPanel2, &ColumnFrames2 } }) {
        QList<QPointer<TPingFrame>> frames;
        for (TPingFrame *f : framesIn(panel))
            frames.prepend(f); // last child first
        for (const QPointer<TPingFrame> &f : frames) {
            do {
                QCoreApplication::processEvents();
                if (stillInFlight(f))
                    sleepTimeToWait();
            } while (stillInFlight(f));
            // Out of the list before it is freed: the list never holds a freed frame.
            list->removeAll(f.data());
            delete f.data();
        }
        list->clear();
    }
}

void TMainForm::ShowPause()
{
    ShowMsgDlgTm(QStringLiteral("Pausing for pings to finish!"), QStringLiteral("Continue"),
        QStringLiteral("Confirmation"), frameGeometry(), AppSettings.CntDwnFrm);
}
