#include "snapping.h"

#include <cstdlib>

namespace Snapping {
namespace {

// Exclusive edges, see the header.
int rightOf(const QRect &r)
{
    return r.x() + r.width();
}
int bottomOf(const QRect &r)
{
    return r.y() + r.height();
}

bool in(int v, int lo, int hi)
{
    return v >= lo && v <= hi;
}

// A rectangle being adjusted: each set* moves it, keeping its size.
struct Placement
{
    QRect rect;
    void setLeft(int x) { rect.moveLeft(x); }
    void setRight(int x) { rect.moveLeft(x - rect.width()); }
    void setTop(int y) { rect.moveTop(y); }
    void setBottom(int y) { rect.moveTop(y - rect.height()); }
};

enum class Motion { None, Back, Forward }; // Back: towards smaller coordinates

Motion motion(int from, int to)
{
    return to < from ? Motion::Back : to > from ? Motion::Forward : Motion::None;
}

// Whether the spans [a0, a1) and [b0, b1) overlap. Two spans that start together overlap too
// (windows stacked in one column, both snapped to the same edge).
bool overlap(int a0, int a1, int b0, int b1)
{
    return (b0 < a0 && a0 < b1) || (a0 < b0 && b0 < a1) || (a0 == b0 && a1 > a0 && b1 > b0);
}

// Screen edges, one axis. `lo`/`hi` are the work area's edges on that axis; the functions
// set the window's low or high edge. The first matching rule applies.
void screenAxis(Motion m, Placement &p, bool horizontal, const QRect &P, const QRect &R, Timers &out, const Timers &in0,
    std::int64_t now, int A)
{
    const int pLo = horizontal ? P.x() : P.y();
    const int pHi = horizontal ? rightOf(P) : bottomOf(P);
    const int rLo = horizontal ? R.x() : R.y();
    const int rHi = horizontal ? rightOf(R) : bottomOf(R);
    std::int64_t &tLo = horizontal ? out.left : out.top;
    std::int64_t &tHi = horizontal ? out.right : out.bottom;
    auto setLo = [&](int v) {
        horizontal ? p.setLeft(v) : p.setTop(v);
        tLo = now;
    };
    auto setHi = [&](int v) {
        horizontal ? p.setRight(v) : p.setBottom(v);
        tHi = now;
    };
    auto snapRange = [A](int v) { return in(v, 2, A) || v == 1 || v == -1; };

    if (m == Motion::Back) {
        // Towards the low edge: d is the low edge's distance inside it, e the high edge's.
        const bool old = now - (horizontal ? in0.left : in0.top) > kHoldMs;
        const int d = pLo - rLo;
        const int e = rHi - pHi;
        if (old) {
            if (snapRange(d))
                setLo(rLo);
            else if (in(d, -A, -2))
                setLo(rLo - A);
            else if (in(e, 2, A))
                setHi(rHi - A);
            else if (in(e, -A, -1) || e == 1)
                setHi(rHi);
        } else {
            if (std::abs(d) < A)
                setLo(rLo);
            else if (std::abs(e) < A)
                setHi(rHi);
        }
    } else if (m == Motion::Forward && horizontal) {
        // Rightwards, mirrored: d is the right edge's distance inside, e the left edge's outside.
        const bool old = now - in0.right > kHoldMs;
        const int d = rHi - pHi;
        const int e = rLo - pLo;
        if (old) {
            if (snapRange(d))
                setHi(rHi);
            else if (in(d, -A, -2))
                setHi(rHi + A);
            else if (in(e, 2, A))
                setLo(rLo);
            else if (in(e, -A, -1) || e == 1)
                setLo(rLo + A);
        } else {
            if (std::abs(d) < A)
                setHi(rHi);
            else if (std::abs(e) < A)
                setLo(rLo);
        }
    } else if (m == Motion::Forward) {
        // Downwards. A move down within the hold of a bottom snap goes 15 pixels past the edge.
        const bool old = now - in0.bottom > kHoldMs;
        const int d = pLo - rLo;
        const int e = rHi - pHi;
        if (old) {
            if (in(d, 2, A))
                setLo(rLo + A);
            else if (std::abs(d) < A)
                setLo(rLo);
            else if (in(e, 2, A))
                setHi(rHi);
            else if (in(e, -A, -1) || e == 1)
                setHi(rHi + A);
        } else {
            if (std::abs(d) < A)
                setLo(rLo);
            else if (std::abs(e) < A)
                setHi(rHi + A);
        }
    }
}

// Another window, one axis. `gap` is the distance between the facing edges (negative when
// they overlap); `towards` whether the move closes the gap. Returns the offset of the moving
// window's facing edge from the other's, or false when no rule applies.
//   touching: 0; overlapping by A: -A; A away: +A
bool windowOffset(int gap, bool towards, bool old, int A, int &offset)
{
    if (!old) {
        if (std::abs(gap) >= A)
            return false;
        offset = 0;
        return true;
    }
    if (gap == 0 || std::abs(gap) > A)
        return false;
    if (std::abs(gap) == 1)
        offset = 0;
    else if (towards)
        offset = gap > 0 ? 0 : -A; // arriving: land on it; pushing on after a rest: go past
    else
        offset = gap > 0 ? A : 0; // leaving after a rest: stand off; backing out: touch
    return true;
}

} // namespace

Result snap(const QRect &proposed, const QRect &current, const QRect &workArea, const QList<QRect> &others,
    const Timers &timers, std::int64_t now, int area)
{
    const QRect &P = proposed;
    Placement p { P };
    Timers out = timers;
    const Motion mx = motion(current.x(), P.x());
    const Motion my = motion(current.y(), P.y());
    const int A = area;

    if (!workArea.isNull()) {
        screenAxis(mx, p, true, P, workArea, out, timers, now, A);
        screenAxis(my, p, false, P, workArea, out, timers, now, A);
    }

    for (const QRect &O : others) {
        // Side by side (they share some height): the right timer decides.
        if (mx != Motion::None && overlap(P.y(), bottomOf(P), O.y(), bottomOf(O))) {
            const bool old = now - timers.right > kHoldMs;
            int off = 0;
            // P on O's left: its right edge faces O's left edge.
            if (windowOffset(O.x() - rightOf(P), mx == Motion::Forward, old, A, off)) {
                p.setRight(O.x() - off);
                out.right = now;
            }
            // P on O's right: its left edge faces O's right edge.
            if (windowOffset(P.x() - rightOf(O), mx == Motion::Back, old, A, off)) {
                p.setLeft(rightOf(O) + off);
                out.right = now;
            }
        }
        // One above the other (they share some width): the top timer decides.
        if (my != Motion::None && overlap(P.x(), rightOf(P), O.x(), rightOf(O))) {
            const bool old = now - timers.top > kHoldMs;
            int off = 0;
            if (windowOffset(O.y() - bottomOf(P), my == Motion::Forward, old, A, off)) {
                p.setBottom(O.y() - off);
                out.top = now;
            }
            if (windowOffset(P.y() - bottomOf(O), my == Motion::Back, old, A, off)) {
                p.setTop(bottomOf(O) + off);
                out.top = now;
            }
        }
    }
    return { p.rect, out };
}

} // namespace Snapping
