#include "hoststate.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace HostText {

Parts split(const QString &text)
{
    const QString trimmed = text.trimmed();
    qsizetype blank = -1;
    for (qsizetype i = 0; i < trimmed.size(); ++i)
        if (trimmed.at(i).isSpace()) {
            blank = i;
            break;
        }
    if (blank < 0)
        return { text, QString() };
    return { trimmed.left(blank), trimmed.mid(blank + 1).trimmed() };
}

QString display(const QString &text)
{
    const Parts p = split(text);
    return p.label.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(p.address, p.label);
}

} // namespace HostText

void OutcomeHistory::setCapacity(int capacity)
{
    m_capacity = std::max(1, capacity);
    if (m_window.size() > m_capacity)
        m_window.remove(0, m_window.size() - m_capacity);
}

void OutcomeHistory::add(const EchoOutcome &outcome)
{
    m_watch.feed(outcome);
    ++m_results;
    if (outcome.kind == EchoOutcome::Reply)
        ++m_replies;
    m_window.append(outcome);
    if (m_window.size() > m_capacity)
        m_window.remove(0, m_window.size() - m_capacity);
}

void OutcomeHistory::restart()
{
    m_results = 0;
    m_replies = 0;
}

namespace HostState {

Inputs inputs(bool running, bool lookupFailed, const OutcomeHistory &history, const Thresholds &t)
{
    return { running, lookupFailed, history.isDown(), history.resultsSinceStart(), history.repliesSinceStart(),
        history.window(), t };
}

State of(const Inputs &in)
{
    return judge(in, in.window);
}

QString words(State s)
{
    switch (s) {
    case State::Waiting:
        return QStringLiteral("waiting for a result");
    case State::Up:
        return QStringLiteral("up");
    case State::Degraded:
        return QStringLiteral("degraded");
    case State::Down:
        return QStringLiteral("down");
    case State::LookupFailed:
        return QStringLiteral("name lookup failed");
    case State::Stopped:
        return QStringLiteral("stopped");
    case State::Slow:
        return QStringLiteral("slow");
    case State::Lossy:
        return QStringLiteral("losing echoes");
    }
    return {};
}

QString code(State s)
{
    static const char *const codes[kStateCount]
        = { "waiting", "up", "degraded", "down", "lookup_failed", "stopped", "slow", "lossy" };
    return QString::fromLatin1(codes[int(s)]);
}

std::uint32_t colour(State s, bool dark)
{
    // Blue-green, yellow, vermilion, violet, sky blue and a grey: hues that stay apart when
    // red and green are confused, with the grey on the far side of the window colour. Slow and
    // losing echoes take what room is left (a pale green and a purple in the light look, a
    // navy and a magenta in the dark one); their stripe patterns tell them apart as well.
    static const std::uint32_t light[kStateCount]
        = { 0x56B4E9, 0x009E73, 0xF0E442, 0xD55E00, 0x7B2D8E, 0x404040, 0x80E080, 0xA000E0 };
    static const std::uint32_t night[kStateCount]
        = { 0x56B4E9, 0x00B386, 0xF0E442, 0xFF5A1F, 0xB070FF, 0xD8D8D8, 0x000040, 0xA000A0 };
    return (dark ? night : light)[int(s)];
}

std::uint32_t outline(bool dark)
{
    return dark ? 0xBDBDBD : 0x4D4D4D;
}

Pattern pattern(State s)
{
    return s == State::Slow ? Pattern::Bars : s == State::Lossy ? Pattern::Dots : Pattern::Plain;
}

bool isTrouble(State s)
{
    return s == State::Slow || s == State::Lossy || s == State::Down;
}

std::optional<Announcement> Damper::feed(State s, const QDateTime &when, bool downRule, const QDateTime &missesSince)
{
    if (s == State::Waiting || s == State::Stopped || s == State::LookupFailed)
        return std::nullopt;
    if (s != m_pending || m_held == 0) {
        m_pending = s;
        m_held = 0;
        m_pendingSince = when;
    }
    ++m_held;
    if (s == m_announced)
        return std::nullopt;
    if (m_held < m_results && !(s == State::Down && downRule))
        return std::nullopt;
    // Down since the first of the results without a reply, when known.
    if (s == State::Down && missesSince.isValid())
        m_pendingSince = missesSince;
    Announcement a { m_announced, s, m_pendingSince, when, {} };
    // Back: out of trouble, or out of down into whatever follows it (the losses of the
    // outage itself may make a host that answers again count as losing echoes for a while).
    if (isTrouble(m_announced) && (!isTrouble(s) || m_announced == State::Down))
        a.troubleSince = std::exchange(m_troubleSince, QDateTime());
    if (isTrouble(s) && !m_troubleSince.isValid())
        m_troubleSince = m_pendingSince;
    m_announced = s;
    return a;
}

void Damper::reset()
{
    *this = Damper(m_results);
}

} // namespace HostState

namespace CompactRow {

int threshold(int lineHeight)
{
    return std::max(24, lineHeight * 5 / 2);
}

int cellWidth(int capacity, int width)
{
    return std::max(1, width / std::max(1, capacity));
}

int cellsShown(int results, int room)
{
    return std::clamp(room, 0, std::max(0, results));
}

std::uint32_t cellColour(EchoOutcome::Kind kind, int rtt, int high, bool dark)
{
    // Light look: replies from a light green to a mid blue, a dark crimson timeout; dark look:
    // replies from a dark green to a dark blue, a pale red timeout. Amber answers from elsewhere.
    struct Shades
    {
        std::uint32_t fast, slow, foreign, timeout;
    };
    static const Shades light { 0xA6DBA0, 0x2C7FB8, 0xE69F00, 0x67001F };
    static const Shades night { 0x1B7837, 0x2166AC, 0xF0E442, 0xFFB3B3 };
    const Shades &c = dark ? night : light;
    if (kind == EchoOutcome::Foreign)
        return c.foreign;
    if (kind != EchoOutcome::Reply)
        return c.timeout;
    const double t = high > 0 ? std::clamp(double(rtt) / high, 0.0, 1.0) : 0.0;
    std::uint32_t out = 0;
    for (int shift : { 16, 8, 0 }) {
        const int a = int((c.fast >> shift) & 0xFF), b = int((c.slow >> shift) & 0xFF);
        out |= std::uint32_t(std::lround(a + (b - a) * t)) << shift;
    }
    return out;
}

} // namespace CompactRow
