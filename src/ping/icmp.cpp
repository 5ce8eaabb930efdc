#include "icmp.h"

#include "echoservice.h"
#include "wsocket.h"

#include <arpa/inet.h>
#include <cstring>
#include <future>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <utility>

namespace {

std::atomic<TICMP::SocketKind> g_preference { TICMP::SocketKind::Auto };

constexpr std::uint32_t kStatusGeneralFailure = 11050;

QString dotted(std::uint32_t addr)
{
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a {};
    a.s_addr = addr;
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return QString::fromLatin1(buf);
}

bool parseIPv4(const QString &text, std::uint32_t &out)
{
    in_addr a {};
    if (inet_aton(text.toLatin1().constData(), &a) == 0)
        return false;
    out = a.s_addr;
    return true;
}

// An IPv6 address text as TWSocket writes it ("fe80::1%eth0"): the address and the zone's
// interface index (0 without a zone; an unknown interface name leaves it 0 and the send fails).
bool parseIPv6(const QString &text, in6_addr &out, std::uint32_t &scope)
{
    QString address = text;
    QString zone;
    const qsizetype percent = text.indexOf(u'%');
    if (percent >= 0) {
        address = text.left(percent);
        zone = text.mid(percent + 1);
    }
    if (inet_pton(AF_INET6, address.toLatin1().constData(), &out) != 1)
        return false;
    scope = 0;
    if (!zone.isEmpty()) {
        bool numeric = false;
        scope = zone.toUInt(&numeric);
        if (!numeric)
            scope = if_nametoindex(zone.toLatin1().constData());
    }
    return true;
}

} // namespace

void TICMP::SetSocketPreference(SocketKind kind)
{
    g_preference = kind;
}

TICMP::SocketKind TICMP::SocketPreference()
{
    return g_preference;
}

TICMP::TICMP()
    : FPingMsg(QString::fromLatin1(kDefaultPingMsg))
{
}

TICMP::~TICMP() = default;

bool TICMP::IsDottedAddress(const QString &address)
{
    std::uint32_t addr = 0;
    return parseIPv4(address.trimmed(), addr);
}

bool TICMP::IsNumericAddress(const QString &address)
{
    QString v6;
    return IsDottedAddress(address) || TWSocket::IsIPv6Literal(address, v6);
}

QString TICMP::replyText6(const in6_addr &from, std::uint32_t scope) const
{
    // The target's own text for the target, so that a reply from it reads as from the target.
    if (IN6_ARE_ADDR_EQUAL(&from, &m_target6) && (scope == m_scope6 || scope == 0 || m_scope6 == 0))
        return FHostIP;
    char buf[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &from, buf, sizeof buf);
    QString text = QString::fromLatin1(buf);
    if (scope != 0 && (IN6_IS_ADDR_LINKLOCAL(&from) || IN6_IS_ADDR_MC_LINKLOCAL(&from))) {
        char name[IF_NAMESIZE] = {};
        text += u'%' + (if_indextoname(scope, name) ? QString::fromLatin1(name) : QString::number(scope));
    }
    return text;
}

void TICMP::SetAddress(const QString &address)
{
    FAddress = address;
    FAddrResolved = false;
}

void TICMP::SetSrcAddress(const QString &address)
{
    m_srcAddress = address;
    FAddrResolved = false;
}

void TICMP::SetSrcAddress6(const QString &address)
{
    m_srcAddress6 = address;
    FAddrResolved = false;
}

void TICMP::SetFamily(TSocketFamily family)
{
    m_family = family;
    FAddrResolved = false;
}

QString TICMP::ErrorText(std::uint32_t code)
{
    switch (code) {
    case 0:
        return QStringLiteral("No error");
    case 11001:
        return QStringLiteral("Buffer too small");
    case 11002:
        return QStringLiteral("Destination network unreachable");
    case 11003:
        return QStringLiteral("Destination host unreachable");
    case 11004:
        return QStringLiteral("Destination protocol unreachable");
    case 11005:
        return QStringLiteral("Destination port unreachable");
    case 11006:
        return QStringLiteral("No resources");
    case 11007:
        return QStringLiteral("Bad option");
    case 11008:
        return QStringLiteral("Hardware error");
    case 11009:
        return QStringLiteral("Packet too big");
    case 11010:
        return QStringLiteral("Request timed out");
    case 11011:
        return QStringLiteral("Bad request");
    case 11012:
        return QStringLiteral("Bad route");
    case 11013:
        return QStringLiteral("TTL expired in transit");
    case 11014:
        return QStringLiteral("TTL expired in reassembly");
    case 11015:
        return QStringLiteral("Parameter problem");
    case 11016:
        return QStringLiteral("Source quench");
    case 11017:
        return QStringLiteral("Option too big");
    case 11018:
        return QStringLiteral("Bad Destination");
    case 11019:
        return QStringLiteral("Address deleted");
    case 11020:
        return QStringLiteral("Spec MTU change");
    case 11021:
        return QStringLiteral("MTU change");
    case 11022:
        return QStringLiteral("Unload");
    case 11023:
        return QStringLiteral("Address added");
    case 11024:
        return QStringLiteral("Media connect");
    case 11025:
        return QStringLiteral("Media disconnect");
    case 11026:
        return QStringLiteral("Bind adapter");
    case 11027:
        return QStringLiteral("Unbind adapter");
    case 11028:
        return QStringLiteral("Device does not exist");
    case 11029:
        return QStringLiteral("Duplicate address");
    case 11030:
        return QStringLiteral("Interface metric change");
    case 11031:
        return QStringLiteral("Recognfig security filter");
    case 11032:
        return QStringLiteral("Negotiating IPsec");
    case 11033:
        return QStringLiteral("Interface WOL capability change");
    case 11034:
        return QStringLiteral("Duplicate IP address");
    case 11040:
        return QStringLiteral("Destination unreachable (IPv6)");
    case 11041:
        return QStringLiteral("Time exceeded (IPv6)");
    case 11042:
        return QStringLiteral("Bad header (IPv6)");
    case 11043:
        return QStringLiteral("Unrecognised next header (IPv6)");
    case 11044:
        return QStringLiteral("ICMP error (IPv6)");
    case 11045:
        return QStringLiteral("Destination scope mismatch (IPv6)");
    case 11050:
        return QStringLiteral("General failure");
    case 11255:
        return QStringLiteral("Pending");
    default:
        return QString::fromLocal8Bit(std::strerror(static_cast<int>(code)));
    }
}

void TICMP::parseTarget()
{
    const QString target = FAddress.trimmed();
    if (target.isEmpty()) {
        FLastError = 100;
        FLastErrStr = QStringLiteral("Blank adreess");
        return;
    }
    std::uint32_t addr = 0;
    QString v6;
    if (parseIPv4(target, addr)) {
        FHostIP = target;
    } else if (TWSocket::IsIPv6Literal(target, v6)) {
        if (!v6.contains(u':')) { // an IPv4-mapped address is pinged over IPv4
            parseIPv4(v6, addr);
            FHostIP = std::exchange(v6, QString());
        }
    } else {
        // Not an address: look the name up here, on the worker's own thread, choosing the
        // family as the resolver does.
        QStringList addresses;
        QString text;
        const std::uint16_t err = TWSocket::LookupHost(target.toUtf8(), addresses, &text);
        addresses = TWSocket::ChooseFamily(addresses);
        if (err != 0 || addresses.isEmpty()) {
            FLastError = 11001;
            FLastErrStr = text.isEmpty() ? QString::fromLocal8Bit(gai_strerror(EAI_NODATA)) : text;
            return;
        }
        if (addresses.front().contains(u':')) {
            v6 = addresses.front();
        } else {
            parseIPv4(addresses.front(), addr);
            FHostIP = dotted(addr);
        }
    }
    if (!v6.isEmpty()) {
        if (!parseIPv6(v6, m_target6, m_scope6)) {
            FLastError = 11001;
            FLastErrStr = ErrorText(11001);
            return;
        }
        FHostIP = v6;
        m_family = sfIPv6;
        m_source6 = in6_addr {};
        std::uint32_t sourceScope = 0;
        if (!parseIPv6(m_srcAddress6.trimmed(), m_source6, sourceScope))
            m_source6 = in6_addr {};
        FAddrResolved = true;
        return;
    }
    m_family = sfIPv4;
    FIPAddress = addr;
    if (!parseIPv4(m_srcAddress.trimmed(), FSrcIPAddr))
        FSrcIPAddr = 0;
    FAddrResolved = true;
}

int TICMP::Ping()
{
    std::promise<int> replies;
    std::future<int> result = replies.get_future();
    PingAsync([&replies](int n) { replies.set_value(n); });
    return result.get();
}

int TICMP::finishFailed()
{
    if (FLastError == 0)
        FLastError = kStatusGeneralFailure;
    if (FLastErrStr.isEmpty())
        FLastErrStr = ErrorText(FLastError);
    return 0;
}

void TICMP::PingAsync(std::function<void(int replies)> done)
{
    FLastError = 0;
    FLastErrStr.clear();
    FReplyIP.clear();
    FReplyRTT = 0;
    FReplyRTTUs = 0;
    FReplyStatus = 0;
    FReplySize = 0;
    m_kindUsed.clear();

    if (!FAddrResolved || (m_family != sfIPv4 && m_family != sfIPv6))
        parseTarget();
    if (!FAddrResolved || (m_family != sfIPv4 && m_family != sfIPv6)) {
        done(finishFailed());
        return;
    }

    EchoService::Request r;
    const int size = FSize < 0 ? 0 : FSize;
    if (FDataBuf.size() < size)
        FDataBuf.resize(size);
    std::memset(FDataBuf.data(), ' ', size_t(size));
    const QByteArray msg = FPingMsg.toLatin1();
    std::memcpy(FDataBuf.data(), msg.constData(), size_t(std::min<qsizetype>(msg.size(), size)));
    r.data = FDataBuf.left(size);
    r.target = FIPAddress;
    r.source = FSrcIPAddr;
    r.ipv6 = m_family == sfIPv6;
    r.target6 = m_target6;
    r.scope6 = m_scope6;
    r.source6 = m_source6;
    r.ttl = FTTL & 0xFF;
    r.dontFragment = (FFlags & 0x02) != 0;
    r.timeoutMs = FTimeOut;
    r.sockets = g_preference;
    EchoService::instance().submit(std::move(r), [this, done = std::move(done)](const EchoService::Outcome &o) {
        m_kindUsed = o.kind;
        int count = 0;
        if (o.replies > 0) {
            FReplyIP = m_family == sfIPv6 ? replyText6(o.from6, o.fromScope) : dotted(o.from);
            FReplyRTT = o.rttMs;
            FReplyRTTUs = o.rttUs;
            FReplyStatus = o.status;
            FReplySize = o.dataSize;
            count = o.replies;
        } else {
            FLastError = o.error;
            FLastErrStr = o.errorText;
            finishFailed();
        }
        done(count);
    });
}
