#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

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

// "Loss: 2.5 %  Jitter: 3 ms"; "Loss: -  Jitter: -" with no results yet.
QString format(const Figures &f);

} // namespace LinkStats
