#pragma once

#include "hostcollection.h"
#include "pingframe.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>

class QDialog;
class QLabel;
class QTimer;
class QWidget;
struct TAppSettings;
class HostTableModel;
class THostOverview;
class TColumnPanel;
class TPingForm;
class TPopupMenu;
class TSettingsOwner;

// The frame board: the two frame columns and the floating ping windows, the commands that
// add, move, remove, clear, start and stop their frames, and the one rule for waiting on
// pings. Positions, tags and names of the frames in a column always agree: the frame at
// position i is "PingFrame_i" (column 2: "PingFrame2_i") with Tag i; the ping window at
// index i is "PingForm_i" with Tag i.
class TFrameBoard : public QObject
{
    Q_OBJECT
public:
    // What the board works on and with, owned by others.
    struct Borrowed
    {
        TColumnPanel *column1 = nullptr;
        TColumnPanel *column2 = nullptr;
        TPopupMenu *popup1 = nullptr;
        TPopupMenu *popup2 = nullptr;
        const TSettingsOwner *settings = nullptr;
        // Parent of the ping windows and of the pause, which is centred on it.
        QWidget *window = nullptr;
    };
    explicit TFrameBoard(const Borrowed &borrowed, QObject *parent = nullptr);
    ~TFrameBoard() override;

    QList<TPingFrame *> ColumnFrames1, ColumnFrames2;
    QList<TPingForm *> PingForms;
    QList<TPingFrame *> &frames(int column) { return column == 2 ? ColumnFrames2 : ColumnFrames1; }

    // --- Waiting for pings ------------------------------------------------------------
    // Marks a command that waits for pings while events keep flowing. Commands that arrive
    // meanwhile are refused (run); `idle` is emitted when the last wait is over.
    class Wait
    {
    public:
        explicit Wait(TFrameBoard *board);
        Wait(const Wait &) = delete;
        Wait &operator=(const Wait &) = delete;
        ~Wait();

    private:
        TFrameBoard *m_board;
    };
    bool Busy() const { return m_waits > 0; }
    // Runs a command that touches frames, unless one is waiting for pings; false if refused.
    // A command that runs changes the board.
    bool run(const std::function<void()> &command);
    // Whether a command changed the board since the session last saved or loaded it.
    bool Changed() const { return m_changed; }
    void SetChanged(bool changed) { m_changed = changed; }
    // A close by signal or logout: from now on no wait waits, and no pause is shown.
    void SetUnattended(bool unattended) { m_unattended = unattended; }
    // How a wait leaves the frames it waits for.
    enum class Halt {
        // They finish their cycle as they like (a ping window freed between two pings).
        None,
        // Stopped as by the user: a step under way runs on, and a timer already armed still
        // ticks once (a frame being removed).
        Stop,
        // Stopped, and their timers switched off: no further cycle begins (the clears).
        StopForGood,
    };
    // Halts the frames, takes them out of the user's hands, and lets events through while any
    // of them has an echo under way, sleeping sleepMs between passes, for at most boundMs.
    // With `passFirst`, a frame that was running gets one pass and one sleep before the first
    // look, since a running frame may be about to send its next echo. True if any frame was
    // running (always false for Halt::None).
    bool stopAndWaitIdle(const QList<QPointer<TPingFrame>> &frames, int sleepMs, qint64 boundMs,
        Halt halt = Halt::StopForGood, bool passFirst = false);
    // What a wait for pings waits for: an echo in flight, or a name lookup that is to send one.
    // The one rule of every wait: a frame with neither is freed at once, whether it runs or not.
    static bool EchoUnderWay(const TPingFrame *frame);
    // The sleep between the passes of a wait; tests count and script them.
    void SetSleeper(std::function<void(int ms)> sleep) { m_sleep = std::move(sleep); }

    // --- Frames ------------------------------------------------------------------------
    // Adds a frame at the bottom of a column with the host (the designed "LocalHost" without
    // one), laid out with the column unless layouts are deferred; starts it when asked and
    // the host is not empty.
    TPingFrame *addFrame(int column, const QString *host = nullptr, bool start = false);
    // Starts a frame. Frames started in one go (a session, a host list, Start All) beyond the
    // first few send their first echo a little later each, spread over the second, so that
    // hundreds of them do not echo, answer and repaint in the same instant every second.
    void startFrame(TPingFrame *f);
    // While set, frames added are laid out by the caller (a session load, once a slice).
    void SetLayoutDeferred(bool deferred) { m_layoutDeferred = deferred; }
    void sizeColumn(int column);
    void removeFrame(int column, TPingFrame *frame);
    void moveFrame(int column, TPingFrame *frame, int delta);
    void moveToOtherColumn(int from, TPingFrame *frame);
    // Stops, pauses for and frees the frames of the columns; `atShutdown` skips the pause of
    // an unattended close.
    void clearColumns(const QList<int> &columns, bool atShutdown = false);
    // Starts every stopped frame; raises the first error once all have had their chance.
    void startAll();
    void stopAll();
    // Frees every frame of the column panels, listed or not.
    void removeOrphans();

    // --- The watched hosts as data --------------------------------------------------------
    // Every frame's probe in the board's order (column 1, column 2, the ping windows), and the
    // table the overviews show. syncHosts tells the collection the board's order now; the
    // commands call it, and so does laying out a column.
    HostCollection *Hosts() const { return m_hosts; }
    HostTableModel *HostModel() const { return m_model; }
    void syncHosts();
    // The frame (on a column or in a ping window) whose probe this is, or null.
    TPingFrame *frameOf(const HostProbe *probe) const;
    // The table that stands in for a column's frames while they are too short for their
    // controls; null until the column first needs it.
    THostOverview *overview(int column) const { return m_overviews[column == 2 ? 1 : 0]; }
    bool showsOverview(int column) const;

    // --- Ping windows --------------------------------------------------------------------
    TPingForm *addForm();
    // Frees the ping windows, each between two pings of its frame.
    void clearForms();

    // --- The pause for running pings ---------------------------------------------------
    QPointer<QDialog> aMsgDlgTm;
    QPointer<QLabel> DlgLbl;
    int CntDwn = 0;
    int ShowMsgDlgTm(
        const QString &msg, const QString &buttonCaption, const QString &caption, const QRect &rect, int countDown);
    void MsgDlgTmTimer(QTimer *timer);
    void ShowPause();

signals:
    void frameAdded(TPingFrame *frame);
    // Just before the frame is freed.
    void frameRemoved(TPingFrame *frame);
    void idle();
    // A column changed between its frames and its overview.
    void overviewShown(int column, bool shown);

private:
    struct Column
    {
        QList<TPingFrame *> *frames;
        TColumnPanel *panel;
        QString prefix;
        TPopupMenu *popup;
    };
    Column column(int k);
    const TAppSettings &settings() const;
    int timeToWait() const;
    void freeFrame(TPingFrame *frame);
    void showOverview(int column, bool show);

    Borrowed m_borrowed;
    int m_waits = 0;
    // Frames started since the event loop last turned.
    int m_startsThisTurn = 0;
    bool m_changed = false;
    bool m_unattended = false;
    bool m_layoutDeferred = false;
    HostCollection *m_hosts;
    HostTableModel *m_model;
    THostOverview *m_overviews[2] = { nullptr, nullptr };
    std::function<void(int ms)> m_sleep;
};
