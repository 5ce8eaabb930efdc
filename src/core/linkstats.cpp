#include "linkstats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace LinkStats {

Figures compute(const QList<EchoOutcome> &window)
{
    return computeOver(window);
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

LowAvgHigh lowAvgHigh(const QList<double> &values)
{
    LowAvgHigh f;
    if (values.isEmpty())
        return f;
    // Cut toward zero, kept within an int (an echo's time never comes near the limits).
    const auto whole = [](double v) {
        constexpr double kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
        return std::isnan(v) ? 0 : static_cast<int>(std::clamp(v, kMin, kMax));
    };
    f.low = whole(values.first());
    f.high = f.low;
    qint64 sum = 0;
    for (double v : values) {
        if (v < f.low)
            f.low = whole(v);
        if (v > f.high)
            f.high = whole(v);
        sum += whole(v);
    }
    f.avg = static_cast<int>(std::nearbyint(double(sum) / double(values.size()))); // a half goes to the even neighbour
    return f;
}

} // namespace LinkStats
