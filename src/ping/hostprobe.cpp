#include "hostprobe.h"

#include "appclock.h"
#include "hoststate.h"
#include "icmpaccess.h"
#include "pingthread.h"
#include "wsocket.h"

#include <QDeadlineTimer>
#include <QTimer>

namespace {
// Re-arming on a 20 ms step of the clock lets probes due in the same step share a wake-up.
constexpr int kRearmGridMs = 20;
constexpr int kIntervalMs = 1000;
} // namespace

HostProbe::HostProbe(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
    , m_resolver(new TWSocket(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &HostProbe::lookUp);
    m_resolver->SocketFamily = sfIPv4;
    m_resolver->OnDnsLookupDone = [this](QObject *, std::uint16_t errCode) { lookupDone(errCode); };
}

HostProbe::~HostProbe() = default;

void HostProbe::setHost(const QString &host)
{
    m_host = host;
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
    if (m_inFlight || m_lookingUp || m_timer->isActive())
        return;
    if (delayMs > 0)
        m_timer->start(delayMs);
    else
        lookUp();
}

void HostProbe::stop()
{
    m_running = false;
    m_timer->stop();
}

void HostProbe::lookUp()
{
    if (!m_running)
        return;
    m_lookingUp = true;
    m_resolver->DnsLookup(HostText::split(m_host).address);
}

void HostProbe::lookupDone(quint16 errCode)
{
    m_lookingUp = false;
    if (!m_running)
        return;
    if (errCode != 0) {
        m_running = false;
        emit lookupFailed(errCode);
        return;
    }
    m_inFlight = true;
    auto worker = TPingThread::Create();
    worker->PingHostName = m_resolver->DnsResult;
    worker->PingTimeout = 4000;
    worker->PingTTL = 32;
    worker->OnTerminate = [this](TPingThread *sender) { onTerminate(sender); };
    worker->Start(m_port.handle());
    emit echoSent();
}

void HostProbe::onTerminate(TPingThread *sender)
{
    m_inFlight = false;
    if (sender->ReplyTotal == 0 && IcmpAccess::isNoSocket(sender->ErrCode, sender->ErrString))
        IcmpAccess::instance()->reportUnavailable();

    EchoOutcome o;
    o.when = AppClock::now();
    o.host = m_host;
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
    o.from = !answered ? QString() : o.kind == EchoOutcome::Reply ? m_address : sender->ReplyIPAddr;

    m_recent.push_back({ o.rtt, o.kind });
    while (int(m_recent.size()) > m_window)
        m_recent.pop_front();
    m_downUp.feed(o);
    emit resultProcessed(o);

    if (m_running && !AppClock::terminating() && !m_timer->isActive())
        m_timer->start(kIntervalMs - int(QDeadlineTimer::current(Qt::PreciseTimer).deadline() % kRearmGridMs));
}
