#include "frameboard.h"

#include "columnpanel.h"
#include "hostoverview.h"
#include "hostprobe.h"
#include "hosttablemodel.h"
#include "pingform.h"
#include "popupmenu.h"
#include "settingsowner.h"
#include "skylarkerror.h"

#include <QCoreApplication>
#include <QToolButton>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {
// How long a wait for the frames' echoes may take: the longest of their time-outs and a second
// more. An indicator that never returns to "-" (set by hand, or a lost completion) must not
// hold a command, or the shutdown, for ever; a result that comes later is dropped with its frame.
qint64 echoWaitMs(const QList<QPointer<TPingFrame>> &frames)
{
    int longest = HostSpec::kDefaultTimeoutMs;
    for (const QPointer<TPingFrame> &f : frames)
        if (f && f->Probe())
            longest = std::max(longest, f->Probe()->hostSpec().timeoutMs);
    return longest + 1000;
}
// Ping windows are freed between two pings of their frame, looked at this often.
constexpr int kFormWaitStepMs = 100;

// A frame whose only unfinished business is the result handler below us on the stack will
// never show "-" while we wait; it counts as finished.
bool stillUnderWay(const QPointer<TPingFrame> &f)
{
    return f && TFrameBoard::EchoUnderWay(f) && !f->InTerminateHandler();
}

int lastIndexOfName(const QList<TPingFrame *> &frames, const QString &name)
{
    for (int i = int(frames.size()) - 1; i >= 0; --i)
        if (frames[i] && frames[i]->objectName() == name)
            return i;
    return -1;
}

void renumber(QList<TPingFrame *> &frames, int from, const QString &prefix)
{
    for (int j = from; j < frames.size(); ++j) {
        frames[j]->setObjectName(prefix + QString::number(j));
        frames[j]->Tag = j;
    }
}

QList<QPointer<TPingFrame>> guarded(const QList<TPingFrame *> &frames)
{
    return { frames.begin(), frames.end() };
}
} // namespace

TFrameBoard::TFrameBoard(const Borrowed &borrowed, QObject *parent)
    : QObject(parent)
    , m_borrowed(borrowed)
    , m_hosts(new HostCollection(this))
    , m_model(new HostTableModel(m_hosts, this))
{
    m_hosts->setObjectName(QStringLiteral("Hosts"));
}

TFrameBoard::~TFrameBoard() = default;

TFrameBoard::Column TFrameBoard::column(int k)
{
    if (k == 2)
        return { &ColumnFrames2, m_borrowed.column2, QStringLiteral("PingFrame2_"), m_borrowed.popup2 };
    return { &ColumnFrames1, m_borrowed.column1, QStringLiteral("PingFrame_"), m_borrowed.popup1 };
}

const TAppSettings &TFrameBoard::settings() const
{
    return m_borrowed.settings->get();
}

int TFrameBoard::timeToWait() const
{
    return std::clamp(settings().TimeToWait, 0, kMaxTimeToWait);
}

// --- Waiting for pings -----------------------------------------------------------------

TFrameBoard::Wait::Wait(TFrameBoard *board)
    : m_board(board)
{
    ++m_board->m_waits;
}

TFrameBoard::Wait::~Wait()
{
    if (--m_board->m_waits == 0)
        emit m_board->idle();
}

// The one rule for commands that touch frames: while a command waits for pings (and lets
// events through meanwhile), every other such command is refused, since the waiting one
// holds frames it is about to free.
bool TFrameBoard::run(const std::function<void()> &command)
{
    if (Busy())
        return false;
    m_changed = true;
    command();
    return true;
}

bool TFrameBoard::EchoUnderWay(const TPingFrame *frame)
{
    // A lookup under way sends its echo even after a stop; waiting for "-" alone would free
    // such a frame just before it pings. An echo in flight is waited for whether its frame
    // still runs or was stopped a moment before.
    return frame->InFlight() || frame->LookupPending();
}

bool TFrameBoard::stopAndWaitIdle(
    const QList<QPointer<TPingFrame>> &frames, int sleepMs, qint64 boundMs, Halt halt, bool passFirst)
{
    const Wait wait(this);
    bool anyRunning = false;
    for (const QPointer<TPingFrame> &f : frames) {
        if (!f)
            continue;
        if (halt != Halt::None) {
            anyRunning = anyRunning || f->Running();
            f->StopPinging(halt == Halt::StopForGood);
        }
        f->setEnabled(false); // nobody restarts or stops it while we wait
    }
    auto pending = [&frames] { return std::any_of(frames.begin(), frames.end(), stillUnderWay); };
    // The bound counts what was slept as well as what the clock shows, so that it holds
    // whatever the sleeper does.
    QElapsedTimer clock;
    clock.start();
    qint64 slept = 0;
    auto sleep = [&] {
        if (sleepMs <= 0 || m_unattended)
            return false;
        if (m_sleep)
            m_sleep(sleepMs);
        else
            QThread::msleep(static_cast<unsigned long>(sleepMs));
        slept += sleepMs;
        return true;
    };
    // A frame with nothing under way has nothing to wait for, unless it was running and the
    // first look comes after a pass and a sleep; a close by signal or logout waits for nothing.
    bool look = !(passFirst && anyRunning);
    bool sleptLast = false;
    while (!m_unattended && (!look || pending())) {
        if (std::max(clock.elapsed(), slept) >= boundMs) {
            // What came back during the last sleep is still taken in.
            if (sleptLast)
                QCoreApplication::processEvents();
            break;
        }
        QCoreApplication::processEvents();
        sleptLast = (!look || pending()) && sleep();
        look = true;
    }
    return anyRunning;
}

void TFrameBoard::freeFrame(TPingFrame *frame)
{
    emit frameRemoved(frame);
    delete frame;
}

// --- Frames ----------------------------------------------------------------------------

TPingFrame *TFrameBoard::addFrame(int k, const QString *host, bool start)
{
    const Column c = column(k);
    const int n = int(c.frames->size()) + 1;
    auto *f = new TPingFrame(c.panel);
    c.frames->append(f);
    emit frameAdded(f);
    f->setGeometry(0, n == 1 ? 0 : (n - 1) * f->height(), c.panel->width(), f->height());
    f->setObjectName(c.prefix + QString::number(n - 1));
    f->Tag = n - 1;
    f->PopupMenu = c.popup;
    TPingFrame::Setup s = f->setup();
    if (host)
        s.host = *host;
    s.details = settings().StartTimeoutPnlVisible;
    f->applySetup(s);
    f->show();
    if (!m_layoutDeferred)
        sizeColumn(k);
    if (start && !s.host.isEmpty())
        startFrame(f);
    return f;
}

void TFrameBoard::startFrame(TPingFrame *f)
{
    constexpr int kStartsAtOnce = 16, kStepMs = 5;
    if (m_startsThisTurn++ == 0)
        QTimer::singleShot(0, this, [this] { m_startsThisTurn = 0; });
    const int later = m_startsThisTurn - kStartsAtOnce;
    f->StartDelayed(later > 0 ? (later * kStepMs) % 1000 : 0);
}

void TFrameBoard::sizeColumn(int k)
{
    const Column c = column(k);
    const int n = int(c.frames->size());
    syncHosts();
    if (n <= 0) {
        showOverview(k, false);
        return;
    }
    // The remainder of the division goes to the bottom frames, a pixel each, so that the
    // column is filled and no frame is more than a pixel taller than another; unless that pixel
    // would make the bottom frames full ones among compact rows: the last pixels then stay blank.
    const int h = c.panel->height() / n;
    const bool pixelChangesLook = h + 1 == c.frames->front()->CompactThreshold();
    const int taller = n - (pixelChangesLook ? 0 : c.panel->height() % n);
    for (int i = 0; i < n; ++i)
        (*c.frames)[i]->setGeometry(0, i * h + std::max(0, i - taller), c.panel->width(), h + (i >= taller ? 1 : 0));
    // Frames too short for their controls give way to one table of the column's hosts, and
    // come back as soon as they fit.
    showOverview(k, h < c.frames->front()->CompactThreshold());
}

void TFrameBoard::syncHosts()
{
    QList<HostCollection::Entry> entries;
    entries.reserve(ColumnFrames1.size() + ColumnFrames2.size() + PingForms.size());
    const auto add = [&](TPingFrame *f, HostCollection::Place place) {
        if (f && f->Probe())
            entries.append({ f->Probe(), f->objectName(), place });
    };
    for (TPingFrame *f : std::as_const(ColumnFrames1))
        add(f, HostCollection::Place::Column1);
    for (TPingFrame *f : std::as_const(ColumnFrames2))
        add(f, HostCollection::Place::Column2);
    for (TPingForm *form : std::as_const(PingForms))
        if (form)
            add(form->PingFrame, HostCollection::Place::Window);
    m_hosts->sync(entries);
}

TPingFrame *TFrameBoard::frameOf(const HostProbe *probe) const
{
    for (const QList<TPingFrame *> *list : { &ColumnFrames1, &ColumnFrames2 })
        for (TPingFrame *f : *list)
            if (f && f->Probe() == probe)
                return f;
    for (TPingForm *form : PingForms)
        if (form && form->PingFrame && form->PingFrame->Probe() == probe)
            return form->PingFrame;
    return nullptr;
}

bool TFrameBoard::showsOverview(int k) const
{
    const THostOverview *o = overview(k);
    return o && !o->isHidden();
}

void TFrameBoard::showOverview(int k, bool show)
{
    const Column c = column(k);
    THostOverview *&o = m_overviews[k == 2 ? 1 : 0];
    if (show && !o) {
        o = new THostOverview(
            m_model, k == 2 ? HostCollection::Place::Column2 : HostCollection::Place::Column1, c.panel);
        o->setObjectName(k == 2 ? QStringLiteral("HostOverview2") : QStringLiteral("HostOverview"));
        o->hide();
        // Enter and a double click do what the frame's Start/Stop button does.
        connect(o, &THostOverview::activated, this, [this](HostProbe *p) {
            if (TPingFrame *f = frameOf(p)) {
                f->ContinuousPingSpdBtn->click();
            }
        });
        connect(o, &THostOverview::menuRequested, this, [this, k](HostProbe *p, const QPoint &at) {
            TPingFrame *f = frameOf(p);
            if (f && column(k).popup)
                column(k).popup->popupFor(f, at, false);
        });
    }
    if (!o)
        return;
    // Hidden frames keep pinging; their widgets wait until they are shown again.
    for (TPingFrame *f : std::as_const(*c.frames)) {
        if (f->isHidden() != show)
            f->setVisible(!show);
        f->setCovered(show);
    }
    if (show)
        o->setGeometry(c.panel->rect());
    if (show == !o->isHidden())
        return;
    o->setVisible(show);
    if (show)
        o->raise();
    emit overviewShown(k, show);
}

void TFrameBoard::removeFrame(int k, TPingFrame *frame)
{
    const Column c = column(k);
    const int listed = frame ? lastIndexOfName(*c.frames, frame->objectName()) : -1;
    if (listed < 0)
        return;
    QPointer<TPingFrame> f = c.frames->at(listed);
    // Stopped as by the user, its timer left as it is: one pass and one sleep, then it is
    // freed once nothing of it is under way.
    stopAndWaitIdle({ f }, timeToWait(), echoWaitMs({ f }), Halt::Stop, true);
    // Out of the list before it is freed: the list never holds a freed frame.
    const int idx = int(c.frames->indexOf(f.data()));
    if (idx >= 0)
        c.frames->removeAt(idx);
    if (f)
        freeFrame(f);
    if (idx >= 0)
        renumber(*c.frames, idx, c.prefix);
    sizeColumn(k);
}

void TFrameBoard::moveFrame(int k, TPingFrame *frame, int delta)
{
    const Column c = column(k);
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
    sizeColumn(k);
}

void TFrameBoard::moveToOtherColumn(int fromColumn, TPingFrame *frame)
{
    const Column from = column(fromColumn), to = column(fromColumn == 1 ? 2 : 1);
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
    sizeColumn(1);
    sizeColumn(2);
}

// --- Clears, start, stop, orphans ------------------------------------------------------

void TFrameBoard::clearColumns(const QList<int> &columns, bool atShutdown)
{
    const Wait wait(this);
    QList<QPointer<TPingFrame>> frames;
    for (int k : columns)
        frames += guarded(*column(k).frames);
    // The echoes under way get TimeToWait to come back, and the user may pause for them.
    const bool anyRunning = stopAndWaitIdle(frames, timeToWait(), timeToWait());
    // With no frame running there is nothing to wait for; at shutdown by a signal or the
    // session manager there is nobody to answer the pause either.
    if (settings().PauseForRemoveFrame && anyRunning && !(atShutdown && m_unattended))
        ShowPause();
    for (int k : columns) {
        QList<TPingFrame *> &list = *column(k).frames;
        // What is still in flight is not waited for: its result is dropped with its frame.
        for (TPingFrame *f : std::as_const(list))
            f->MarkIdle();
        while (!list.isEmpty()) {
            // Out of the list before it is freed: the list never holds a freed frame.
            TPingFrame *f = list.takeFirst();
            freeFrame(f);
        }
    }
}

void TFrameBoard::startAll()
{
    // A frame that cannot start (empty host) must not keep the frames after it stopped:
    // start them all, then report the first error once.
    QString firstError;
    for (int k : { 1, 2 }) {
        const QList<TPingFrame *> frames = *column(k).frames;
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

void TFrameBoard::stopAll()
{
    for (int k : { 1, 2 })
        for (TPingFrame *f : std::as_const(*column(k).frames))
            f->StopPinging();
}

void TFrameBoard::removeOrphans()
{
    const Wait wait(this);
    // Every frame of both panels is stopped before any wait, last child first.
    QList<QPointer<TPingFrame>> frames[2];
    for (int k : { 1, 2 })
        for (TPingFrame *f : column(k).panel->findChildren<TPingFrame *>(Qt::FindDirectChildrenOnly))
            frames[k - 1].prepend(f);
    stopAndWaitIdle(frames[0] + frames[1], timeToWait(), echoWaitMs(frames[0] + frames[1]));
    for (int k : { 1, 2 }) {
        const Column c = column(k);
        for (const QPointer<TPingFrame> &f : std::as_const(frames[k - 1])) {
            // Out of the list before it is freed: the list never holds a freed frame.
            c.frames->removeAll(f.data());
            if (f)
                freeFrame(f);
        }
        c.frames->clear();
    }
}

// --- Ping windows ----------------------------------------------------------------------

TPingForm *TFrameBoard::addForm()
{
    const int n = int(PingForms.size()) + 1;
    auto *form = new TPingForm(m_borrowed.window);
    PingForms.append(form);
    emit frameAdded(form->PingFrame);
    const QString name = QStringLiteral("PingForm_") + QString::number(n - 1);
    form->setObjectName(name);
    form->setWindowTitle(name);
    form->Tag = n - 1;
    // Shown where the window system puts a new window, at its designed size.
    form->show();
    syncHosts();
    return form;
}

void TFrameBoard::clearForms()
{
    if (PingForms.isEmpty())
        return;
    const Wait wait(this);
    // The frames keep running until their window goes, but nobody may start or stop them now.
    for (TPingForm *form : std::as_const(PingForms))
        form->PingFrame->setEnabled(false);
    while (!PingForms.isEmpty()) {
        QPointer<TPingForm> form = PingForms.first();
        // Freed between two pings of a running frame.
        const QList<QPointer<TPingFrame>> waited { form ? form->PingFrame : nullptr };
        stopAndWaitIdle(waited, kFormWaitStepMs, echoWaitMs(waited), Halt::None);
        // Out of the list before it is freed: the list never holds a freed window.
        PingForms.removeOne(form.data());
        if (form) {
            emit frameRemoved(form->PingFrame);
            delete form.data();
        }
    }
}
