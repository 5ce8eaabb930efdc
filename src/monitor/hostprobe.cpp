#include "hostprobe.h"

#include "appclock.h"
#include "icmpaccess.h"
#include "pingthread.h"
#include "skylarkerror.h"
#include "wsocket.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace {
// Re-arming on a 20 ms step of the clock lets probes due in the same step share a wake-up
// and, on a board, one repaint; a probe keeps its step from cycle to cycle, so the steps stay
// as evenly filled as the probes were started.
constexpr int kRearmGridMs = 20;
} // namespace

HostProbe::HostProbe(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
    , m_resolver(new TWSocket(this))
{
    m_timer->setObjectName(QStringLiteral("PingTimer"));
    m_timer->setInterval(HostSpec::kDefaultIntervalMs);
    m_timer->setSingleShot(true);
    // Precise: a coarse timer may move each expiry by up to 50 ms to share wake-ups, which
    // over a few cycles gathers the probes onto the same instants of the second.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] { runGuarded([this] { tick(); }); });
    m_resolver->setObjectName(QStringLiteral("WSocket"));
    m_resolver->SocketFamily = sfIPv4;
    m_resolver->OnDnsLookupDone = [this](QObject *, std::uint16_t errCode) { lookupDone(errCode); };
}

HostProbe::~HostProbe() = default;

void HostProbe::setHost(const QString &host)
{
    m_host = host;
    HostSpec parsed = HostSpec::parse(host);
    if (!parsed.intervalGiven && m_defaultIntervalMs > 0)
        parsed.intervalMs = m_defaultIntervalMs;
    if (!parsed.timeoutGiven && m_defaultTimeoutMs > 0)
        parsed.timeoutMs = m_defaultTimeoutMs;
    if (parsed.identity != m_spec.identity) {
        m_missesSince = QDateTime();
        m_damper.reset();
    }
    m_spec = std::move(parsed);
    setDefaultThresholds(m_defaultThresholds);
}

void HostProbe::setDefaultThresholds(const HostState::Thresholds &t)
{
    m_defaultThresholds = t;
    m_thresholds = t;
    if (m_spec.slowGiven)
        m_thresholds.slowMs = m_spec.slowMs;
    if (m_spec.lossGiven)
        m_thresholds.lossPercent = m_spec.lossPercent;
}

double HostProbe::lossRatio(int newest) const
{
    const qsizetype n = std::min<qsizetype>(newest, qsizetype(m_recent.size()));
    if (n <= 0)
        return 0.0;
    const auto lost = std::count_if(
        m_recent.end() - n, m_recent.end(), [](const Brief &b) { return b.kind != EchoOutcome::Reply; });
    return double(lost) / double(n);
}

void HostProbe::setDefaultTiming(int intervalMs, int timeoutMs)
{
    m_defaultIntervalMs = intervalMs;
    m_defaultTimeoutMs = timeoutMs;
}

void HostProbe::setWindow(int results)
{
    m_window = std::max(1, results);
    while (int(m_recent.size()) > m_window)
        m_recent.pop_front();
}

void HostProbe::start(int delayMs)
{
    m_running = true;
    m_lookupFailed = false;
    // A lookup still under way goes on and is no longer dropped.
    m_dropLookup = false;
    if (inFlight() || m_lookingUp || m_timer->isActive())
        return;
    beginCycle(delayMs);
}

void HostProbe::stop()
{
    m_running = false;
    m_timer->stop();
    m_dropLookup = m_lookingUp;
}

void HostProbe::setRunning(bool running)
{
    m_running = running;
}

void HostProbe::beginRun()
{
    m_lookupFailed = false;
    m_history.restart();
    m_resultsSinceStart = 0;
    m_repliesSinceStart = 0;
}

void HostProbe::beginCycle(int delayMs)
{
    // The first cycle of a start is no timer tick, even when it waits for its turn.
    m_firstCycleDue = delayMs > 0;
    if (delayMs > 0)
        m_timer->start(delayMs);
    else
        lookUp();
}

void HostProbe::tick()
{
    m_timer->stop();
    if (!std::exchange(m_firstCycleDue, false))
        emit cycleBeginning();
    lookUp();
}

void HostProbe::lookUp()
{
    m_dropLookup = false;
    m_lookingUp = true;
    try {
        m_resolver->DnsLookup(m_spec.address);
    } catch (...) {
        // Nothing is pending after a lookup that raised.
        m_lookingUp = false;
        throw;
    }
}

void HostProbe::lookupDone(quint16 errCode)
{
    m_lookingUp = false;
    if (std::exchange(m_dropLookup, false))
        return;
    if (errCode != 0) {
        m_running = false;
        m_lookupFailed = true;
        emit lookupFailed(errCode, m_host);
        return;
    }
    sendEcho(m_resolver->DnsResult);
}

void HostProbe::sendEcho(const QString &address)
{
    ++m_inFlight;
    auto worker = TPingThread::Create();
    worker->PingId = 1;
    worker->PingHostName = address;
    worker->PingTimeout = m_spec.timeoutMs;
    worker->PingTTL = 32;
    worker->PingLookupReply = false;
    worker->OnTerminate = [this](TPingThread *sender) { onTerminate(sender); };
    worker->Start(m_port.handle());
    emit echoSent();
}

void HostProbe::onTerminate(TPingThread *sender)
{
    if (m_inFlight > 0)
        --m_inFlight;
    if (sender->ReplyTotal == 0 && IcmpAccess::isNoSocket(sender->ErrCode, sender->ErrString))
        IcmpAccess::instance()->reportUnavailable();

    EchoOutcome o;
    o.when = AppClock::now();
    // Results are the identity's: a new interval or time-out goes on with the same host.
    o.host = m_spec.identity;
    // The window keeps every result of the last minutes: results share one copy of the
    // address text instead of each holding its own.
    if (sender->DnsHostIP != m_address)
        m_address = sender->DnsHostIP;
    o.target = m_address;
    const bool answered = sender->ReplyTotal != 0;
    o.kind = !answered                             ? EchoOutcome::Timeout
        : sender->ReplyIPAddr == sender->DnsHostIP ? EchoOutcome::Reply
                                                   : EchoOutcome::Foreign;
    o.rtt = answered ? int(sender->ReplyRTT) : 0;
    o.rttUs = answered ? qint64(sender->ReplyRTTUs) : 0;
    o.from = !answered ? QString() : o.kind == EchoOutcome::Reply ? m_address : sender->ReplyIPAddr;
    o.status = answered ? int(sender->ReplyStatus) : sender->ErrCode;

    m_recent.push_back({ o.rtt, o.kind });
    while (int(m_recent.size()) > m_window)
        m_recent.pop_front();
    if (o.kind == EchoOutcome::Reply)
        m_missesSince = QDateTime();
    else if (!m_missesSince.isValid())
        m_missesSince = o.when;
    m_downUp.feed(o);
    ++m_resultsSinceStart;
    if (o.kind == EchoOutcome::Reply)
        ++m_repliesSinceStart;
    if (m_keepPoints)
        keep(o, double(sender->ReplyRTT));
    const std::optional<HostState::Announcement> announcement
        = m_damper.feed(state(), o.when, m_downUp.isDown(), m_missesSince);

    // Receivers may run other events and free this probe with its owner.
    const QPointer<HostProbe> self(this);
    emit resultProcessed(o);
    if (!self)
        return;
    emit resultShown();
    if (!self)
        return;
    if (announcement) {
        emit stateAnnounced(*announcement);
        if (!self)
            return;
    }

    if (m_running && !AppClock::terminating()) {
        m_firstCycleDue = false;
        m_timer->start(m_spec.intervalMs - int(QDeadlineTimer::current(Qt::PreciseTimer).deadline() % kRearmGridMs));
    }
}

void HostProbe::keep(const EchoOutcome &o, double rtt)
{
    // Room for the point about to be added; ends on no points whatever the window.
    while (!m_points.isEmpty() && m_points.size() >= m_window)
        m_points.removeFirst();
    if (o.kind == EchoOutcome::Reply) {
        m_points.append({ o.when, rtt, o.kind });
        ++m_pointsAdded;
        QList<double> values;
        values.reserve(m_points.size());
        for (const Point &p : std::as_const(m_points))
            values.append(p.rtt);
        m_lowAvgHigh = LinkStats::lowAvgHigh(values);
    } else {
        if (!m_points.isEmpty()) {
            m_points.append({ o.when, m_points.last().rtt, o.kind });
            ++m_pointsAdded;
        }
        m_timeouts.prepend(o.when);
        while (m_timeouts.size() > kTimeoutsKept)
            m_timeouts.removeLast();
    }
    m_history.setCapacity(m_window);
    m_history.add(o);
}

void HostProbe::setKeepPoints(bool keep)
{
    m_keepPoints = keep;
    if (keep)
        return;
    m_points = {};
    m_timeouts = {};
    m_lowAvgHigh = {};
    m_history = {};
}

void HostProbe::clearPoints()
{
    m_points.clear();
    m_lowAvgHigh = {};
    m_recent.clear();
    m_history.clearWindow();
}

HostState::State HostProbe::state() const
{
    HostState::Inputs in;
    in.running = m_running;
    in.lookupFailed = m_lookupFailed;
    in.down = m_downUp.isDown();
    in.resultsSinceStart = m_resultsSinceStart;
    in.repliesSinceStart = m_repliesSinceStart;
    in.thresholds = m_thresholds;
    return HostState::judge(in, m_recent);
}
