#pragma once

#include "hoststate.h"
#include "linkstats.h"
#include "sessionfile.h"

#include <QFrame>
#include <QList>
#include <QPointer>

#include <cstdint>

class HostProbe;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTime;
class QTimer;
class QToolButton;
class TCompactRow;
class TPingChart;
class TPopupMenu;
class TSplitterBar;
class TWSocket;

// A ping frame watches one host: while its Start/Stop button is down it resolves the host,
// sends one echo on a worker thread, charts the result, and one timer interval later begins
// again. The cycle and what it learns are its HostProbe's; the frame shows them. Callers
// (the frame board, sessions) drive it through its published controls: set
// ContinuousPingSpdBtn down or up and call ContinuousPingSpdBtnClick; "+" in
// ThreadInProgressLbl means an echo of this frame is in flight.
class TPingFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TPingFrame(QWidget *parent = nullptr);
    ~TPingFrame() override;

    static constexpr int kDesignedWidth = 454;
    static constexpr int kDesignedHeight = 109;

    QWidget *TopPanel;
    TPingChart *PingChart;
    QToolButton *ContinuousPingSpdBtn;
    // The probe's one-shot timer.
    QTimer *PingTimer;
    QLabel *StatusLbl;
    QSpinBox *SpinEdit;
    QLabel *ThreadInProgressLbl;
    QLabel *IPAddressLbl;
    QLineEdit *HostEdit;
    QWidget *BottomPanel;
    QWidget *BottomRightPanel;
    TSplitterBar *Splitter;
    QLabel *TimeoutsLbl;
    QLabel *ToggleBRPnl;
    // The probe's resolver.
    TWSocket *WSocket;
    QComboBox *LastTimeoutComboBox;
    QLabel *ClearChartPnl;
    QLabel *PointsLbl;
    // Loss and jitter over the most recent results, as many as SpinEdit's value.
    QLabel *LossJitterLbl;
    QLabel *TimeSinceLastTimeoutLbl;

    // The board's popup menu for this frame (FramePM1 / FramePM2), or none.
    QPointer<TPopupMenu> PopupMenu;
    int Tag = 0;

    // What the board and sessions keep of a frame, and give back to it: the frame's one door
    // for them (nobody outside the frame touches its controls). A session file holds the same.
    using Setup = SessionFile::Frame;
    Setup setup() const;
    // Shows the host, points and details of `s`; a stopped frame that should run starts (its
    // first echo startDelayMs later) and a running one that should not stops.
    void applySetup(const Setup &s, int startDelayMs = 0);
    // Stops the cycle as a click on Stop does, and cancels a cycle already due unless told
    // to leave the timer as it is.
    void StopPinging(bool cancelDueCycle = true);
    // Takes the echo in flight as finished, as a click on the indicator does.
    void MarkIdle();

    bool Running() const;
    void SetDown(bool down);
    bool InFlight() const;
    // A name lookup is under way; a stopped frame still sends the echo it starts.
    bool LookupPending() const;
    // True while a result handler of this frame lets other events run (step 7 of its work).
    bool InTerminateHandler() const { return m_terminateDepth > 0; }

    // Starts the frame as a click on Start does, but sends its first echo delayMs later (at
    // once for 0). The board spreads frames started together over the second with it.
    void StartDelayed(int delayMs);

    // The host's ping cycle, with its points, figures, timeouts and state. Watchers may
    // subscribe to its resultProcessed and lookupFailed.
    HostProbe *Probe() const { return m_probe; }

    // Handlers, named after control and event.
    void ContinuousPingSpdBtnClick();
    void PingTimerTimer();
    void WSocketDnsLookupDone(QObject *sender, std::uint16_t errCode);
    void ClearChartPnlClick();
    void ToggleBRPnlClick();
    void TimeoutsLblMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift);
    void ThreadInProgressLblClick();

    // What the stripe along the left edge shows: the host's state from its recent results.
    HostState::State State() const { return m_state; }
    // True while the frame is too short for its controls and draws one compact row instead.
    bool Compact() const { return m_compact; }
    // The stripe's width and the compact row's threshold, both from the font.
    int StripeWidth() const;
    int CompactThreshold() const;

    // Whether the "#" panel shows the yellow timeout mark.
    bool TimeoutMarked() const;

    // A frame the board has covered with its overview keeps pinging but leaves its widgets
    // as they are; uncovered, it shows at once what its probe has now.
    void setCovered(bool covered);
    bool isCovered() const { return m_covered; }

    static QString FormatStatus(int low, int avg, int high);
    // The time that passed from a timeout's time of day to now's, "hh:mm:ss"; both are times
    // of day, so a span that crosses midnight is taken forward and is always under a day.
    static QString TimeSince(const QTime &timeout, const QTime &now);

    // A frame fits its controls to whatever size it is given, so it asks for no minimum:
    // the widths its labels have now are no reason to keep its window from shrinking.
    QSize minimumSizeHint() const override { return { 0, 0 }; }

signals:
    // Every processed result, after the frame has shown it.
    void ResultProcessed(const EchoOutcome &outcome);
    // The host's name lookup failed and stopped the frame; `hostText` is the whole host text.
    void LookupFailed(const QString &hostText);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    // The Start/Stop caption and the host edit for a running or a stopped frame.
    void showRunning(bool running);
    // The probe's result, shown step by step in the order the user sees it.
    void showResult(const EchoOutcome &outcome);
    // After the result is shown: lets it be drawn, then clears the in-flight indicator.
    void finishResult();
    // Everything showResult shows, from the probe as it is now.
    void catchUp();
    void showLookupFailure();
    // The chart follows the probe's points: the oldest it dropped go, the new are added.
    void showPoints();
    // Recomputes the state; a new one recolours the stripe and rewrites the descriptions.
    void updateState();
    void placeStripe();
    void paintStripe();
    void updateCompactRow();
    void showLossJitter(const QString &figures);
    void setToggleColour(const QColor &colour);
    void followPalette();
    // Sizes the labels and the host edit for the widest text they show, in the current font.
    void sizeToText();
    // Gives the details panel's labels its width.
    void fitDetailWidths();
    // Shows what fits the frame's size whole and hides the rest, in a fixed order.
    void fitToSize();
    // The frame's tooltip holds the text of the top bar's labels hidden for lack of room.
    void updateTip();
    void refitFor(QLabel *label);
    QList<QWidget *> detailRows() const;
    // The details panel's labels, which a result rewrites.
    QList<QLabel *> detailLabels() const;

    bool ClearChart = false;
    int m_terminateDepth = 0;
    int m_hostWidth = 0;
    int m_statusWidth = 0;
    int m_addressWidth = 0;
    // The state the stripe shows.
    HostState::State m_state = HostState::State::Stopped;
    bool m_compact = false;
    bool m_covered = false;
    // A timeout came while covered: the list and the mark are brought up to date on uncovering.
    bool m_timeoutWhileCovered = false;
    QWidget *m_stripe = nullptr;
    TCompactRow *m_row = nullptr;
    HostProbe *m_probe = nullptr;
    // The probe's pointsAdded() the chart shows.
    qint64 m_pointsShown = 0;
};
