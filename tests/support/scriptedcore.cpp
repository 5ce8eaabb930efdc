#include "scriptedcore.h"

#include "appclock.h"

#include <QCoreApplication>

void ScriptedEchoLauncher::reply(int rtt, const QString &from)
{
    complete(rtt, rtt >= 0 ? rtt * 1000 : 0, from);
}

void ScriptedEchoLauncher::replyUs(int rttUs)
{
    complete(rttUs / 1000, rttUs, QString());
}

void ScriptedEchoLauncher::complete(int rtt, int rttUs, const QString &from)
{
    if (pending.empty())
        return;
    auto w = pending.front();
    pending.erase(pending.begin());
    started.push_back(w);
    w->DnsHostIP = w->PingHostName.trimmed();
    if (rtt >= 0) {
        w->ReplyTotal = 1;
        w->ReplyIPAddr = from.isEmpty() ? w->DnsHostIP : from;
        w->ReplyRTT = std::uint32_t(rtt);
        w->ReplyRTTUs = std::uint32_t(rttUs);
        w->ReplyDataSize = 56;
    } else {
        w->ReplyTotal = 0;
        w->ErrCode = 11010;
        w->ErrString = QStringLiteral("Request timed out");
    }
    lastDelivered = w->Deliver();
}

void ScriptedEchoLauncher::noSocket()
{
    if (pending.empty())
        return;
    auto w = pending.front();
    pending.erase(pending.begin());
    started.push_back(w);
    w->DnsHostIP = w->PingHostName.trimmed();
    w->ReplyTotal = 0;
    w->ErrCode = 100;
    w->ErrString = QStringLiteral("Unable to get IPv4 ICMP handle");
    lastDelivered = w->Deliver();
}

void ScriptedEchoLauncher::failWith(int status)
{
    if (pending.empty())
        return;
    auto w = pending.front();
    pending.erase(pending.begin());
    started.push_back(w);
    w->DnsHostIP = w->PingHostName.trimmed();
    w->ReplyTotal = 0;
    w->ErrCode = status;
    w->ErrString = QStringLiteral("Destination host unreachable");
    lastDelivered = w->Deliver();
}

void ScriptedEchoLauncher::replyAndProcess(int rtt, const QString &from)
{
    reply(rtt, from);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void ScriptedResolver::answer(std::uint16_t err, const QStringList &addresses)
{
    if (pending.empty())
        return;
    auto done = std::move(pending.front());
    pending.erase(pending.begin());
    done(err, addresses);
}

ErrorRecorder::ErrorRecorder()
    : m_previous(ErrorDisplay::sink())
{
    ErrorDisplay::setSink([this](const QString &m) { messages.append(m); });
}

ErrorRecorder::~ErrorRecorder()
{
    ErrorDisplay::setSink(m_previous);
}

PinnedClock::PinnedClock(const QDateTime &start)
    : now(start)
{
    AppClock::setOverride([this] { return now; });
}

PinnedClock::~PinnedClock()
{
    AppClock::setOverride({});
}
