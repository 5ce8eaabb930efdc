#pragma once

#include "linkstats.h"

#include <QString>

// Whether a watched host is down or up, from its results one by one. The host is down after
// `threshold` timeouts in a row (an answer from another address counts as a timeout) and
// back at its first reply after that; each change is reported once.
//
// Stopping and restarting a frame does not touch the state: a host that was down and still
// is after the restart is not reported again, and a reply then reports it back. A change of
// host text starts afresh, since the new host has no history.
class DownUpWatch
{
public:
    enum class Change { None, Down, Back };

    explicit DownUpWatch(int threshold = 3)
        : m_threshold(threshold < 1 ? 1 : threshold)
    {
    }

    Change feed(const EchoOutcome &outcome);
    bool isDown() const { return m_down; }
    // RTT of the latest reply of this host, or -1 before any.
    int lastRtt() const { return m_lastRtt; }

private:
    int m_threshold;
    int m_misses = 0;
    bool m_down = false;
    int m_lastRtt = -1;
    QString m_host;
};
