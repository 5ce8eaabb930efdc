#include "linkstats.h"

#include <cmath>

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

} // namespace LinkStats
