#pragma once

#include "hoststate.h"
#include "linkstats.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <array>
#include <cstdint>
#include <unordered_map>

// The figures the metrics endpoint serves: one series set per running probe, updated by the
// thread that runs the probes as results arrive and copied by the endpoint's thread for each
// scrape. Every call holds the lock for a few field updates only, so a scrape never holds up
// the probes and a busy probe thread never holds up a scrape for long.
//
// Counters count for as long as a probe keeps its host text: trimming the chart or clearing
// it, stopping and starting again do not touch them; a new host text starts them afresh. The
// series of a stopped probe are left out of the output until it runs again.
class MetricsStore
{
public:
    // Upper edges of the RTT histogram's buckets in seconds: 0.5 ms doubling to 4.096 s.
    static constexpr int kBuckets = 14;
    static constexpr std::array<double, kBuckets> bucketEdges()
    {
        std::array<double, kBuckets> edges {};
        double edge = 0.0005;
        for (double &e : edges) {
            e = edge;
            edge *= 2;
        }
        return edges;
    }

    struct Identity
    {
        // A probe's names from its frame name, host text and address: the first word of the
        // host text is the host, the rest its label.
        static Identity of(const QString &frame, const QString &hostText, const QString &ip);

        QString frame; // the frame's (or window's) component name
        QString host; // the host text as typed, label included
        QString hostWord; // what is pinged
        QString ip; // the address echoes go to, empty before the lookup
        QString label;
        friend bool operator==(const Identity &, const Identity &) = default;
    };

    struct Series
    {
        Identity id;
        std::uint64_t requests = 0;
        std::uint64_t replies = 0;
        std::uint64_t timeouts = 0;
        std::uint64_t foreign = 0;
        std::array<std::uint64_t, kBuckets> buckets {}; // replies per bucket, not cumulative
        double rttSumSeconds = 0;
        bool hasResult = false;
        bool up = false;
        double lossRatio = 0;
        HostState::State state = HostState::State::Waiting;
        // Announced changes into each state.
        std::array<std::uint64_t, HostState::kStateCount> changes {};
    };

    // Adds the probe or updates what it is called; counters start afresh when the host text
    // differs from the one they were counted for.
    void setIdentity(std::uintptr_t probe, const Identity &identity);
    void countRequest(std::uintptr_t probe);
    // One processed result: `up` from the down/up rule, `lossRatio` over the recent window.
    void record(std::uintptr_t probe, EchoOutcome::Kind kind, int rttMs, bool up, double lossRatio);
    // The host's state now, and a change into `to` announced.
    void setState(std::uintptr_t probe, HostState::State state);
    void countChange(std::uintptr_t probe, HostState::State to);
    // The host could not be looked up: its series stay, down, with no address.
    void recordLookupFailure(std::uintptr_t probe);
    // Whether the probe's series are in the output; a new probe's are.
    void setActive(std::uintptr_t probe, bool active);
    void remove(std::uintptr_t probe);

    // A copy of every active series in the order the probes were first added, and the
    // generation it belongs to.
    QList<Series> snapshot(std::uint64_t *generation = nullptr) const;
    // Grows with every change: equal generations have the same output.
    std::uint64_t generation() const;
    // Active series.
    int size() const;

private:
    struct Entry
    {
        std::uint64_t order;
        Series series;
        bool active = true;
    };
    mutable QMutex m_mutex;
    std::unordered_map<std::uintptr_t, Entry> m_entries;
    std::uint64_t m_nextOrder = 0;
    std::uint64_t m_generation = 0;
};
