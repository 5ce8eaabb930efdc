#pragma once

#include "hoststate.h"

#include <QList>
#include <QString>

#include <array>

// The one order of the host states, worst first: the summary's order, and the "problems
// first" sort's.
namespace StateOrder {
int rank(HostState::State s);
// Every state in that order.
const std::array<HostState::State, HostState::kStateCount> &all();
// A state that counts as a problem in the summary.
bool isProblem(HostState::State s);
// "lookup failed", "down", "lossy", "slow", "degraded", "up", "waiting", "stopped".
QString shortWords(HostState::State s);
} // namespace StateOrder

// "150 hosts · 1 lookup failed · 5 down · 2 slow · 3 degraded": the hosts counted, then each problem
// state with its count, in the state order, states with no host left out.
struct HostSummary
{
    int hosts = 0;
    std::array<int, HostState::kStateCount> byState {};

    void add(HostState::State s)
    {
        ++hosts;
        ++byState[size_t(s)];
    }
    int count(HostState::State s) const { return byState[size_t(s)]; }
    QString text() const;
    // The states named in text(), in their order.
    QList<HostState::State> shownStates() const;
};
