#include "hostsummary.h"

namespace StateOrder {

using HostState::State;

const std::array<State, HostState::kStateCount> &all()
{
    static const std::array<State, HostState::kStateCount> order {
        State::LookupFailed,
        State::Down,
        State::Lossy,
        State::Slow,
        State::Degraded,
        State::Up,
        State::Waiting,
        State::Stopped,
    };
    return order;
}

int rank(State s)
{
    const auto &order = all();
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] == s)
            return int(i);
    return int(order.size());
}

bool isProblem(State s)
{
    return s == State::LookupFailed || s == State::Down || s == State::Lossy || s == State::Slow
        || s == State::Degraded;
}

QString shortWords(State s)
{
    switch (s) {
    case State::LookupFailed:
        return QStringLiteral("lookup failed");
    case State::Down:
        return QStringLiteral("down");
    case State::Lossy:
        return QStringLiteral("lossy");
    case State::Slow:
        return QStringLiteral("slow");
    case State::Degraded:
        return QStringLiteral("degraded");
    case State::Up:
        return QStringLiteral("up");
    case State::Waiting:
        return QStringLiteral("waiting");
    case State::Stopped:
        return QStringLiteral("stopped");
    }
    return QString();
}

} // namespace StateOrder

QList<HostState::State> HostSummary::shownStates() const
{
    QList<HostState::State> shown;
    for (HostState::State s : StateOrder::all())
        if (StateOrder::isProblem(s) && count(s) > 0)
            shown.append(s);
    return shown;
}

QString HostSummary::text() const
{
    QString t = hosts == 1 ? QStringLiteral("1 host") : QStringLiteral("%1 hosts").arg(hosts);
    for (HostState::State s : shownStates())
        t += QStringLiteral(" · %1 %2").arg(count(s)).arg(StateOrder::shortWords(s));
    return t;
}
