#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

#include <iterator>
#include <optional>

// One processed echo result of a frame, as the frame saw it.
struct EchoOutcome
{
    enum Kind { Reply, Foreign, Timeout };
    QDateTime when; // local time the result was processed
    QString host; // the frame's host text
    QString target; // the address the echo went to
    Kind kind = Timeout;
    int rtt = 0; // ms; meaningful for replies (and answers from another address)
    QString from; // the replying address, empty without a reply
    // The IP status: 0 for an answer, 11010 for a time-out, 11002 to 11050 for an ICMP error
    // from a router; other values are local errors.
    int status = 0;
    // The RTT in microseconds (rtt is its whole milliseconds); -1 when only rtt is known.
    qint64 rttUs = -1;

    qint64 rttMicros() const { return rttUs >= 0 ? rttUs : qint64(rtt) * 1000; }
};
Q_DECLARE_METATYPE(EchoOutcome)

// Loss and jitter over a window of recent results.
namespace LinkStats {

struct Figures
{
    int results = 0;
    double lossPercent = 0; // timeouts (foreign answers included) / results
    std::optional<double> jitter; // ms; none with fewer than two replies
};

// Loss = timeouts / results; jitter = mean absolute difference of consecutive reply RTTs in
// arrival order (timeouts in between are skipped, not counted as replies).
Figures compute(const QList<EchoOutcome> &window);

// The same over any window whose results have `kind` and `rtt`, oldest first.
template <typename Window> Figures computeOver(const Window &window)
{
    Figures f;
    f.results = int(std::size(window));
    if (f.results == 0)
        return f;
    int timeouts = 0, replies = 0;
    double sumDiff = 0;
    std::optional<int> previous;
    for (const auto &o : window) {
        if (o.kind != EchoOutcome::Reply) {
            ++timeouts;
            continue;
        }
        ++replies;
        if (previous)
            sumDiff += o.rtt > *previous ? o.rtt - *previous : *previous - o.rtt;
        previous = o.rtt;
    }
    f.lossPercent = 100.0 * timeouts / f.results;
    if (replies >= 2)
        f.jitter = sumDiff / (replies - 1);
    return f;
}

// "Loss: 2.5 %  Jitter: 3 ms"; "Loss: -  Jitter: -" with no results yet.
QString format(const Figures &f);

// The status line's figures over a chart's values.
struct LowAvgHigh
{
    int low = 0;
    int avg = 0;
    int high = 0;
    friend bool operator==(const LowAvgHigh &, const LowAvgHigh &) = default;
};

// Low, Avg and High over every value, oldest first, timeout points (level with the point
// before them) included; all zero for none. Each figure is a whole value (cut toward zero),
// Avg the mean of the whole values rounded to the nearest, a half to the even neighbour
// (10.5 gives 10, 11.5 gives 12).
LowAvgHigh lowAvgHigh(const QList<double> &values);

} // namespace LinkStats
