#include "linkstats.h"

#include <cmath>

namespace LinkStats {

Figures compute(const QList<EchoOutcome> &window)
{
    Figures f;
    f.results = int(window.size());
    if (window.isEmpty())
        return f;
    int timeouts = 0, replies = 0;
    double sumDiff = 0;
    std::optional<int> previous;
    for (const EchoOutcome &o : window) {
        if (o.kind != EchoOutcome::Reply) {
            ++timeouts;
            continue;
        }
        ++replies;
        if (previous)
            sumDiff += std::abs(o.rtt - *previous);
        previous = o.rtt;
    }
    f.lossPercent = 100.0 * timeouts / f.results;
    if (replies >= 2)
        f.jitter = sumDiff / (replies - 1);
    return f;
}

QString format(const Figures &f)
{
    if (f.results == 0)
        return QStringLiteral("Loss: -  Jitter: -");
    const QString loss = QString::number(f.lossPercent, 'f', 1);
    QString jitter = QStringLiteral("-");
    if (f.jitter) {
        // Whole milliseconds read best; keep one decimal only where it says something.
        const double rounded = *f.jitter >= 100 ? std::round(*f.jitter) : std::round(*f.jitter * 10) / 10;
        jitter = (rounded == std::floor(rounded) ? QString::number(rounded, 'f', 0) : QString::number(rounded, 'f', 1))
            + QStringLiteral(" ms");
    }
    return QStringLiteral("Loss: %1 %  Jitter: %2").arg(loss, jitter);
}

} // namespace LinkStats
