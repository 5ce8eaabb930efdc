#include "hostwatch.h"

DownUpWatch::Change DownUpWatch::feed(const EchoOutcome &outcome)
{
    if (outcome.host != m_host) {
        m_host = outcome.host;
        m_misses = 0;
        m_down = false;
        m_lastRtt = -1;
    }
    if (outcome.kind == EchoOutcome::Reply) {
        m_lastRtt = outcome.rtt;
        m_misses = 0;
        if (m_down) {
            m_down = false;
            return Change::Back;
        }
        return Change::None;
    }
    if (m_down)
        return Change::None;
    if (++m_misses >= m_threshold) {
        m_down = true;
        return Change::Down;
    }
    return Change::None;
}
