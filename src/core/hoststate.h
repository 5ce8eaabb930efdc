#pragma once

#include "hostwatch.h"
#include "linkstats.h"

#include <QList>
#include <QString>

#include <cstdint>

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

// What the stripe along a frame's edge says about its host.
namespace HostState {

enum class State { Waiting, Up, Degraded, Down, LookupFailed, Stopped };
constexpr int kStateCount = 6;

struct Inputs
{
    bool running = false;
    bool lookupFailed = false; // the last run ended on a failed lookup
    bool down = false; // the notifications' rule: that many timeouts in a row
    int resultsSinceStart = 0;
    int repliesSinceStart = 0;
    QList<EchoOutcome> window; // newest last
};

Inputs inputs(bool running, bool lookupFailed, const OutcomeHistory &history);
State of(const Inputs &in);

// "up", "degraded", "down", "name lookup failed", "waiting for a result", "stopped".
QString words(State s);
// 0xRRGGBB. Each pair of the six, and each against the style's window colour, stays apart
// for the common red-green colour-vision deficiencies, in the light and the dark looks.
std::uint32_t colour(State s, bool dark);
// The line drawn round the stripe and the result strip: at least 3 : 1 against the window
// colour of the look, so that the shapes stand out whatever colour they are filled with.
std::uint32_t outline(bool dark);

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
