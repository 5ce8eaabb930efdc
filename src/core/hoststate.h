#pragma once

#include "hostwatch.h"
#include "linkstats.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>

// A host text may carry a label: "10.0.0.1 core router" pings 10.0.0.1 and calls it "core
// router". A text with no blank between words is all address, exactly as typed.
namespace HostText {

struct Parts
{
    QString address; // what is looked up and pinged
    QString label; // empty without one
};

Parts split(const QString &text);
// "10.0.0.1 (core router)", or the text itself without a label.
QString display(const QString &text);

} // namespace HostText

// The recent results of one frame, for its figures, its state and its result strip: the
// newest `capacity` outcomes, and the down/up rule of the notifications over every result
// since the frame last started.
class OutcomeHistory
{
public:
    void setCapacity(int capacity);
    int capacity() const { return m_capacity; }
    void add(const EchoOutcome &outcome);
    // A start begins a new run: the window stays (the chart keeps its points too).
    void restart();
    // The chart was cleared: the window goes, the run goes on.
    void clearWindow() { m_window.clear(); }

    const QList<EchoOutcome> &window() const { return m_window; }
    bool isDown() const { return m_watch.isDown(); }
    int resultsSinceStart() const { return m_results; }
    int repliesSinceStart() const { return m_replies; }

private:
    int m_capacity = 180;
    QList<EchoOutcome> m_window;
    DownUpWatch m_watch;
    int m_results = 0;
    int m_replies = 0;
};

// What the stripe along a frame's edge says about its host. Every place that shows or
// announces a host's state (the stripe, the overview, the summary, the notifications, the
// command hook and the metrics) reads it from judge().
namespace HostState {

enum class State { Waiting, Up, Degraded, Down, LookupFailed, Stopped, Slow, Lossy };
constexpr int kStateCount = 8;

// When a host that answers counts as slow or as losing echoes.
struct Thresholds
{
    static constexpr int kDefaultSlowMs = 250;
    static constexpr double kDefaultLossPercent = 10;
    static constexpr int kMinSlowMs = 1;
    static constexpr int kMaxSlowMs = 60 * 1000;
    int slowMs = kDefaultSlowMs; // slow when the median RTT is above this
    double lossPercent = kDefaultLossPercent; // losing echoes above this share, 0 to 100
    friend bool operator==(const Thresholds &, const Thresholds &) = default;
};
// The median covers this many of the newest replies and wants this many at least; the loss
// share wants this many results in the window.
constexpr int kMedianReplies = 10;
constexpr int kSlowMinReplies = 3;
constexpr int kLossyMinResults = 10;

struct Inputs
{
    bool running = false;
    bool lookupFailed = false; // the last run ended on a failed lookup
    bool down = false; // the notifications' rule: that many timeouts in a row
    int resultsSinceStart = 0;
    int repliesSinceStart = 0;
    QList<EchoOutcome> window; // newest last
    Thresholds thresholds;
};

Inputs inputs(bool running, bool lookupFailed, const OutcomeHistory &history, const Thresholds &t = {});

// The median RTT of the newest kMedianReplies replies of a window whose results have `kind` and
// `rtt` (oldest first), and how many replies it covers; -1 without a reply.
template <typename Window> double medianRtt(const Window &window, int *replies = nullptr)
{
    int rtts[kMedianReplies];
    int n = 0;
    for (auto it = std::rbegin(window); it != std::rend(window) && n < kMedianReplies; ++it)
        if (it->kind == EchoOutcome::Reply)
            rtts[n++] = it->rtt;
    if (replies)
        *replies = n;
    if (n == 0)
        return -1;
    std::sort(rtts, rtts + n);
    return n % 2 ? rtts[n / 2] : (rtts[n / 2 - 1] + rtts[n / 2]) / 2.0;
}

// A host's state, the first that holds of: the lookup failed; stopped; running with no result
// yet; down (the down rule, or no reply at all since the start); losing more than the loss
// threshold of at least kLossyMinResults results in the window; slow (the median of the newest
// replies above the slow threshold, with kSlowMinReplies replies at least); any result in the
// window without a reply; up.
template <typename Window> State judge(const Inputs &in, const Window &window)
{
    if (in.lookupFailed)
        return State::LookupFailed;
    if (!in.running)
        return State::Stopped;
    if (in.resultsSinceStart == 0)
        return State::Waiting;
    if (in.down || in.repliesSinceStart == 0)
        return State::Down;
    const int results = int(std::size(window));
    int lost = 0;
    for (const auto &o : window)
        if (o.kind != EchoOutcome::Reply)
            ++lost;
    if (results >= kLossyMinResults && 100.0 * lost / results > in.thresholds.lossPercent)
        return State::Lossy;
    int replies = 0;
    const double median = medianRtt(window, &replies);
    if (replies >= kSlowMinReplies && median > in.thresholds.slowMs)
        return State::Slow;
    if (results > 0 && lost == 0)
        return State::Up;
    return State::Degraded;
}

State of(const Inputs &in);

// "up", "degraded", "slow", "losing echoes", "down", "name lookup failed", "waiting for a
// result", "stopped".
QString words(State s);
// The state's name in the metrics and the command hook: "up", "lookup_failed", ...
QString code(State s);
// 0xRRGGBB. Each pair of the eight, and each against the style's window colour, stays apart
// for the common red-green colour-vision deficiencies, in the light and the dark looks.
std::uint32_t colour(State s, bool dark);
// The line drawn round the stripe and the result strip: at least 3 : 1 against the window
// colour of the look, so that the shapes stand out whatever colour they are filled with.
std::uint32_t outline(bool dark);
// What the stripe draws over its colour in the outline's colour, so that a slow host and one
// losing echoes differ from a degraded one (plain) without their colours.
enum class Pattern { Plain, Bars, Dots };
Pattern pattern(State s);

// When a change of state is told: a new state is announced once it has held for `results`
// results in a row, and one that gives way before that is never announced. Down is announced
// at once, since its own rule already waits for three results without a reply. A watch starts
// as if the host had been announced up, so that a host that answers well from the start is
// never announced.
struct Announcement
{
    State from = State::Up;
    State to = State::Up;
    QDateTime since; // when the new state began
    QDateTime at; // the result that announced it
    // For a host back from slow, losing echoes or down (into a state without trouble, or out
    // of down into any other): when the trouble began; invalid otherwise.
    QDateTime troubleSince;
};

// Slow, losing echoes and down are the states a notification tells of, and whose end it tells.
bool isTrouble(State s);

class Damper
{
public:
    static constexpr int kDefaultResults = 3;
    static constexpr int kMaxResults = 100;
    explicit Damper(int results = kDefaultResults) { setResults(results); }
    void setResults(int results) { m_results = std::clamp(results, 1, kMaxResults); }
    int results() const { return m_results; }
    // One result's state; `downRule` tells that the down rule itself holds, `missesSince` when
    // the results without a reply began (down dates from there). Waiting, stopped and a failed
    // lookup are no results and change nothing.
    std::optional<Announcement> feed(
        State s, const QDateTime &when, bool downRule, const QDateTime &missesSince = QDateTime());
    State announced() const { return m_announced; }
    // A new host: as if announced up, with nothing pending.
    void reset();

private:
    int m_results = kDefaultResults;
    State m_announced = State::Up;
    State m_pending = State::Up;
    int m_held = 0;
    QDateTime m_pendingSince;
    QDateTime m_troubleSince;
};

} // namespace HostState

// A frame shorter than this draws one compact row in place of its controls; from the height
// of a line of text, about 40 px at the default font.
namespace CompactRow {
int threshold(int lineHeight);
// The width of a result's cell: the strip shared by as many cells as results are kept, at
// least 1 px.
int cellWidth(int capacity, int width);
// How many of `results` cells a strip with room for `room` cells shows: the newest that fit.
int cellsShown(int results, int room);
// A result's cell, 0xRRGGBB: a reply shaded by its RTT against the highest, from the fast
// shade to the slow one; an answer from another address amber; a timeout far lighter or
// darker than every reply (never told apart from a slow reply by its hue alone).
std::uint32_t cellColour(EchoOutcome::Kind kind, int rtt, int high, bool dark);
} // namespace CompactRow
