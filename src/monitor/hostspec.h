#pragma once

#include <QString>
#include <QStringList>

// What a host text asks for. The first word is looked up and pinged; later words of the form
// name=value are options (interval=2s, timeout=500ms, slow=50ms, loss=5%); every other word
// belongs to the label.
// The identity is the text without its option words: it names a host's counters, series, log
// and history, so that changing an interval never makes a host start afresh.
struct HostSpec
{
    // The designed cadence: the next cycle is armed this long after a result, and an echo
    // waits this long for its reply.
    static constexpr int kDefaultIntervalMs = 1000;
    static constexpr int kDefaultTimeoutMs = 4000;
    static constexpr int kMinIntervalMs = 100;
    static constexpr int kMaxIntervalMs = 3600 * 1000;
    static constexpr int kMinTimeoutMs = 100;
    static constexpr int kMaxTimeoutMs = 60 * 1000;

    QString text; // as typed
    QString address; // the first word
    QString label; // the other words that are not options, single-spaced as typed
    QString identity; // the text without option words (the text itself when it has none)
    int intervalMs = kDefaultIntervalMs;
    int timeoutMs = kDefaultTimeoutMs;
    bool intervalGiven = false;
    bool timeoutGiven = false;
    // When the host counts as slow (median RTT above, ms) and as losing echoes (share above, %).
    int slowMs = 0;
    double lossPercent = 0;
    bool slowGiven = false;
    bool lossGiven = false;
    // One line for each value that was out of bounds and is used at its bound.
    QStringList notes;

    static HostSpec parse(const QString &text);
    bool hasOptions() const { return intervalGiven || timeoutGiven || slowGiven || lossGiven; }
    // The text with its interval and timeout words set to these values (a value equal to the
    // default drops its word); the rest of the text, other options included, stays as it is.
    static QString withTiming(const QString &text, int intervalMs, int timeoutMs);
};

namespace Duration {
// "250ms", "2s", "0.5s", "1m", "1h": a number (no sign) and a unit. False for anything else.
bool parse(const QString &text, double *ms);
// The shortest exact spelling of a whole number of milliseconds: "250ms", "2s", "1m", "1h".
QString format(int ms);
} // namespace Duration
