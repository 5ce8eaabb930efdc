#include "icmp.h"

#include "echoservice.h"

#include <arpa/inet.h>
#include <cstring>
#include <future>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>

namespace {

std::atomic<TICMP::SocketKind> g_preference{TICMP::SocketKind::Auto};

constexpr std::uint32_t kStatusGeneralFailure = 11050;

QString dotted(std::uint32_t addr)
{
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = addr;
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return QString::fromLatin1(buf);
}

bool parseIPv4(const QString &text, std::uint32_t &out)
{
    in_addr a{};
    if (inet_aton(text.toLatin1().constData(), &a) == 0)
        return false;
    out = a.s_addr;
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
    case 0: return QStringLiteral("No error");
    case 11001: return QStringLiteral("Buffer too small");
    case 11002: return QStringLiteral("Destination network unreachable");
    case 11003: return QStringLiteral("Destination host unreachable");
    case 11004: return QStringLiteral("Destination protocol unreachable");
    case 11005: return QStringLiteral("Destination port unreachable");
    case 11006: return QStringLiteral("No resources");
    case 11007: return QStringLiteral("Bad option");
    case 11008: return QStringLiteral("Hardware error");
    case 11009: return QStringLiteral("Packet too big");
    case 11010: return QStringLiteral("Request timed out");
    case 11011: return QStringLiteral("Bad request");
    case 11012: return QStringLiteral("Bad route");
    case 11013: return QStringLiteral("TTL expired in transit");
    case 11014: return QStringLiteral("TTL expired in reassembly");
    case 11015: return QStringLiteral("Parameter problem");
    case 11016: return QStringLiteral("Source quench");
    case 11017: return QStringLiteral("Option too big");
    case 11018: return QStringLiteral("Bad Destination");
    case 11019: return QStringLiteral("Address deleted");
    case 11020: return QStringLiteral("Spec MTU change");
    case 11021: return QStringLiteral("MTU change");
    case 11022: return QStringLiteral("Unload");
    case 11023: return QStringLiteral("Address added");
    case 11024: return QStringLiteral("Media connect");
    case 11025: return QStringLiteral("Media disconnect");
    case 11026: return QStringLiteral("Bind adapter");
    case 11027: return QStringLiteral("Unbind adapter");
    case 11028: return QStringLiteral("Device does not exist");
    case 11029: return QStringLiteral("Duplicate address");
    case 11030: return QStringLiteral("Interface metric change");
    case 11031: return QStringLiteral("Recognfig security filter");
    case 11032: return QStringLiteral("Negotiating IPsec");
    case 11033: return QStringLiteral("Interface WOL capability change");
    case 11034: return QStringLiteral("Duplicate IP address");
    case 11040: return QStringLiteral("Destination unreachable (IPv6)");
    case 11041: return QStringLiteral("Time exceeded (IPv6)");
    case 11042: return QStringLiteral("Bad header (IPv6)");
    case 11043: return QStringLiteral("Unrecognised next header (IPv6)");
    case 11044: return QStringLiteral("ICMP error (IPv6)");
    case 11045: return QStringLiteral("Destination scope mismatch (IPv6)");
    case 11050: return QStringLiteral("General failure");
    case 11255: return QStringLiteral("Pending");
    default: return QString::fromLocal8Bit(std::strerror(static_cast<int>(code)));
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
    if (parseIPv4(target, addr)) {
        FHostIP = target;
    } else {
        // Not a dotted address: look the name up here, on the worker's own thread.
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_RAW;
        addrinfo *res = nullptr;
        const int rc = ::getaddrinfo(target.toUtf8().constData(), nullptr, &hints, &res);
        if (rc != 0 || res == nullptr) {
            FLastError = 11001;
            FLastErrStr = QString::fromLocal8Bit(gai_strerror(rc));
            return;
        }
        addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr.s_addr;
        ::freeaddrinfo(res);
        FHostIP = dotted(addr);
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
    FReplyStatus = 0;
    FReplySize = 0;
    m_kindUsed.clear();

    if (!FAddrResolved || (m_family != sfIPv4 && m_family != sfIPv6))
        parseTarget();
    if (!FAddrResolved || m_family != sfIPv4) {
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
    r.ttl = FTTL & 0xFF;
    r.dontFragment = (FFlags & 0x02) != 0;
    r.timeoutMs = FTimeOut;
    r.sockets = g_preference;
    EchoService::instance().submit(std::move(r), [this, done = std::move(done)](const EchoService::Outcome &o) {
        m_kindUsed = o.kind;
        int count = 0;
        if (o.replies > 0) {
            FReplyIP = dotted(o.from);
            FReplyRTT = o.rttMs;
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
