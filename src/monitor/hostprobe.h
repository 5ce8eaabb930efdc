#pragma once

#include "completionport.h"
#include "hostspec.h"
#include "hoststate.h"
#include "hostwatch.h"
#include "linkstats.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <limits>

class QTimer;
class TPingThread;
class TWSocket;

// The ping cycle of one host, with no window: while it runs it looks the host up, sends one
// echo (time-out 4000 ms, TTL 32), processes the result, and about a second later begins
// again. It keeps the recent results for the loss and jitter figures and the down/up state,
// and reports each result once it is processed. A lookup failure stops it.
//
// A probe that keeps its points (a ping frame's) also keeps what its view shows: the chart's
// points, the status line's figures, the times of the recent timeouts, and the results
// behind the host's state and the compact row's strip. An agent's probes keep none of it.
class HostProbe : public QObject
{
    Q_OBJECT
public:
    explicit HostProbe(QObject *parent = nullptr);
    ~HostProbe() override;

    // The timeout list keeps the newest 99 times.
    static constexpr int kTimeoutsKept = 99;

    // The host text; the next lookup looks up its first word. Its option words set the
    // interval and the echo's time-out; the other words are a label.
    void setHost(const QString &host);
    QString host() const { return m_host; }
    const HostSpec &hostSpec() const { return m_spec; }
    // The interval and time-out for a host text that sets none (0: the usual ones); its own
    // words win. Takes effect at the next setHost.
    void setDefaultTiming(int intervalMs, int timeoutMs);
    // The thresholds for a host text that sets none; its own words (slow=, loss=) win. Takes
    // effect at once.
    void setDefaultThresholds(const HostState::Thresholds &t);
    HostState::Thresholds thresholds() const { return m_thresholds; }
    // How many results a new state must hold before it is announced.
    void setDamping(int results) { m_damper.setResults(results); }
    int damping() const { return m_damper.results(); }
    // How many recent results the figures cover (at least 1), and how many points are kept.
    void setWindow(int results);
    int window() const { return m_window; }

    // Runs the cycle; the first lookup follows after delayMs (at once for 0). A probe that
    // already has a lookup or an echo under way goes on with it.
    void start(int delayMs = 0);
    // Stops after the echo in flight, if any, whose result is still processed; a lookup
    // under way and a cycle already due are dropped.
    void stop();
    bool running() const { return m_running; }
    bool inFlight() const { return m_inFlight > 0; }
    // A lookup is under way whose completion will send an echo.
    bool lookupPending() const { return m_lookingUp && !m_dropLookup; }

    // A ping frame drives the cycle step by step, as its controls do:
    // Whether the cycle goes on after the next result; nothing else changes, so a lookup
    // under way still sends its echo and a cycle already due still begins.
    void setRunning(bool running);
    // A new run by the user: forgets a failed lookup and counts the run's results afresh.
    void beginRun();
    // Begins a cycle at once with a new lookup (one still pending is abandoned and never
    // completes; an echo in flight goes on, and its result is processed too), or, for
    // delayMs > 0, at the timer's tick delayMs later.
    void beginCycle(int delayMs = 0);
    // What the timer's tick does: the timer is one-shot; cycleBeginning (not for the first
    // cycle of a start that waited for its turn), then a new lookup, whether the probe runs or not.
    void tick();
    // What a completed lookup does: 0 sends the echo (whether the probe runs or not, unless
    // stop() dropped the lookup); anything else stops the probe and reports lookupFailed.
    void lookupDone(quint16 errCode);
    QTimer *timer() const { return m_timer; }
    TWSocket *resolver() const { return m_resolver; }

    // The address the latest echo went to, empty before the first.
    QString address() const { return m_address; }
    bool hasResult() const { return !m_recent.empty(); }
    bool isDown() const { return m_downUp.isDown(); }
    // The share of the recent results without a reply (those the loss figure covers), or of
    // the newest `newest` of them, 0 before any: what the frame shows, the lossy state and
    // the metrics all count alike.
    double lossRatio(int newest = std::numeric_limits<int>::max()) const;
    // The RTT of the host's latest reply, -1 before any.
    int lastRtt() const { return m_downUp.lastRtt(); }
    // When the results without a reply that made the host down began; invalid while it is up.
    QDateTime downSince() const { return m_downUp.isDown() ? m_missesSince : QDateTime(); }
    // Results the figures cover: the newest, up to the window's size.
    int resultCount() const { return int(m_recent.size()); }
    LinkStats::Figures figures() const { return LinkStats::computeOver(m_recent); }
    // True from a failed lookup until the next run begins.
    bool lookupHasFailed() const { return m_lookupFailed; }

    // What a view shows; kept only while setKeepPoints(true).
    void setKeepPoints(bool keep);
    bool keepsPoints() const { return m_keepPoints; }
    struct Point
    {
        QDateTime when; // local time the result was processed
        double rtt; // ms; a timeout's point is level with the point before it
        EchoOutcome::Kind kind;
    };
    // Oldest first, at most the window's size: a reply adds its point, a timeout one level
    // with the newest point (none while there is none).
    const QList<Point> &points() const { return m_points; }
    // How many points were ever added: a view that mirrors the points adds the newest
    // pointsAdded() less what it has shown, and drops from the front what the probe dropped.
    qint64 pointsAdded() const { return m_pointsAdded; }
    // The figures over the points as the latest reply left them; zero before any and after
    // clearPoints.
    LinkStats::LowAvgHigh lowAvgHigh() const { return m_lowAvgHigh; }
    // The times of the newest timeouts (answers from another address included), newest
    // first, at most kTimeoutsKept.
    const QList<QDateTime> &timeouts() const { return m_timeouts; }
    void clearTimeouts() { m_timeouts.clear(); }
    // The chart is cleared: the points, the figures' results and the strip's go; the run and
    // the timeout list stay.
    void clearPoints();
    // The recent results behind the strip (kept with the points).
    const OutcomeHistory &history() const { return m_history; }
    // The host's state over the window of the figures, at once; announced() is the state last
    // announced.
    HostState::State state() const;
    HostState::State announced() const { return m_damper.announced(); }
    // The median RTT of the newest replies in the window, -1 without one.
    double medianRtt() const { return HostState::medianRtt(m_recent); }

signals:
    // Each timer tick, before its lookup.
    void cycleBeginning();
    void echoSent();
    // The result is processed: points, figures and state include it.
    void resultProcessed(const EchoOutcome &outcome);
    // After resultProcessed, before the next cycle is armed: a view lets its new figures be
    // drawn here. A receiver may free the probe.
    void resultShown();
    // After resultProcessed (and resultShown), when a change of state has held long enough.
    // A receiver may free the probe.
    void stateAnnounced(const HostState::Announcement &announcement);
    // The host could not be looked up; the probe has stopped. `hostText` is the whole host text.
    void lookupFailed(quint16 errCode, const QString &hostText);

private:
    void lookUp();
    void sendEcho(const QString &address);
    void onTerminate(TPingThread *sender);
    void keep(const EchoOutcome &outcome, double rtt);

    QString m_host;
    HostSpec m_spec;
    int m_defaultIntervalMs = 0;
    int m_defaultTimeoutMs = 0;
    HostState::Thresholds m_defaultThresholds;
    HostState::Thresholds m_thresholds;
    HostState::Damper m_damper;
    int m_resultsSinceStart = 0;
    int m_repliesSinceStart = 0;
    QString m_address;
    QDateTime m_missesSince;
    int m_window = 180;
    bool m_running = false;
    int m_inFlight = 0;
    bool m_lookingUp = false;
    // stop() with a lookup under way: its completion is dropped.
    bool m_dropLookup = false;
    bool m_lookupFailed = false;
    // The timer is armed for the first cycle of a start, not for a next cycle.
    bool m_firstCycleDue = false;
    bool m_keepPoints = false;
    // An agent watches thousands of hosts: the window keeps of each result only what the
    // figures read.
    struct Brief
    {
        std::int32_t rtt;
        EchoOutcome::Kind kind;
    };
    std::deque<Brief> m_recent;
    DownUpWatch m_downUp;
    QList<Point> m_points;
    qint64 m_pointsAdded = 0;
    LinkStats::LowAvgHigh m_lowAvgHigh;
    QList<QDateTime> m_timeouts;
    OutcomeHistory m_history;
    QTimer *m_timer;
    TWSocket *m_resolver;
    CompletionPort m_port { this };
};
