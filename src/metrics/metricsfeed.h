#pragma once

#include "metricsstore.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>

class HostProbe;
struct EchoOutcome;

// Turns what probes do into a MetricsStore's series: a sent echo counts a request, a result
// records its kind, RTT, the probe's down/up state and its loss over the last results, a failed
// lookup is counted, a probe that goes takes its series along. The desktop and the headless
// agent feed their stores through it alike.
class MetricsFeed : public QObject
{
public:
    // The name of a probe's series (its frame's component name, "PingFrame_3"), asked for
    // whenever the series is named, as frames are renumbered when the board changes.
    using Namer = std::function<QString()>;

    explicit MetricsFeed(MetricsStore &store, QObject *parent = nullptr);

    // A probe's series come with its first echo (a frame that never runs has none), or at
    // once when `listedAtOnce` (every host the agent watches counts from the start).
    void watch(HostProbe *probe, Namer name, bool listedAtOnce = false);
    // The probe's series leave the store.
    void unwatch(HostProbe *probe);
    // Takes the series of stopped probes out of the output (they come back with the next
    // echo) and follows the names of the others. The desktop, whose frames stop and are
    // renamed, calls it now and then; the agent, whose probes run until they go, does not.
    void sweep();

private:
    struct Watched
    {
        QPointer<HostProbe> probe;
        Namer name;
        // What the series was last named for; empty before the first echo.
        QString host; // the host's identity
        QString target;
        int results = 0; // since the series was named for that host
    };
    void onEchoSent(HostProbe *probe);
    void onResult(HostProbe *probe, const EchoOutcome &o);
    void onLookupFailed(HostProbe *probe);
    void name(HostProbe *probe, Watched &w, const QString &host, const QString &target);

    MetricsStore &m_store;
    QHash<HostProbe *, Watched> m_watched;
};
