#pragma once

#include <QList>
#include <QRect>

#include <cstdint>

// Where a dragged window lands when it comes near the edges of the screen's work area or of
// other snapping windows. Pure arithmetic on rectangles, so that the rules can be checked
// without a window system.
//
// Edges are taken the way window managers report them: a rectangle covers x() up to, but
// not including, x() + width(), so "right" below is x() + width() and "bottom" y() + height().
// Two windows touch when one's right equals the other's left.
namespace Snapping {

constexpr int kDefaultArea = 15; // snap distance in pixels
constexpr std::int64_t kHoldMs = 250; // a side's snap holds this long against further moves

// The time (milliseconds on any steady clock) of the last snap made on each side; 0 = never.
struct Timers
{
    std::int64_t left = 0;
    std::int64_t right = 0;
    std::int64_t top = 0;
    std::int64_t bottom = 0;
    bool operator==(const Timers &) const = default;
};

struct Result
{
    QRect rect;
    Timers timers;
};

// Adjusts the rectangle the user dragged the window to (`proposed`) from where it was
// (`current`). The window keeps its size; every adjustment moves it.
// - `workArea`: the work area of the monitor nearest to `current`; a null rectangle skips the
//   screen's edges.
// - `others`: the rectangles of the other visible snapping windows, in the application's
//   order; a later window's adjustment overrides an earlier one's and the screen's.
// - An axis along which the window did not move gets no adjustment on that axis.
// Returns the adjusted rectangle and the timers with the sides that snapped set to `now`.
Result snap(const QRect &proposed, const QRect &current, const QRect &workArea, const QList<QRect> &others,
    const Timers &timers, std::int64_t now, int area = kDefaultArea);

} // namespace Snapping
