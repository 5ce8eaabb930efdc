#include "icmp.h"

#include <QRandomGenerator>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<TICMP::SocketKind> g_preference{TICMP::SocketKind::Auto};

constexpr std::uint32_t kStatusTimedOut = 11010;
constexpr std::uint32_t kStatusGeneralFailure = 11050;

std::uint16_t checksum(const unsigned char *data, std::size_t len)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < len; i += 2)
        sum += std::uint32_t(data[i]) << 8 | data[i + 1];
    if (len & 1)
        sum += std::uint32_t(data[len - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<std::uint16_t>(~sum));
}

// IP status of an ICMP error, as Windows' echo service reports it.
std::uint32_t statusOf(int type, int code)
{
    switch (type) {
    case ICMP_DEST_UNREACH:
        switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
            return 11002;
        case ICMP_HOST_UNREACH:
        case ICMP_HOST_UNKNOWN:
            return 11003;
        case ICMP_PROT_UNREACH:
            return 11004;
        case ICMP_PORT_UNREACH:
            return 11005;
        case ICMP_FRAG_NEEDED:
            return 11009;
        default:
            return 11018;
        }
    case ICMP_TIME_EXCEEDED:
        return code == ICMP_EXC_FRAGTIME ? 11014 : 11013;
    case ICMP_PARAMETERPROB:
        return 11015;
    case ICMP_SOURCE_QUENCH:
        return 11016;
    default:
        return kStatusGeneralFailure;
    }
}

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

using Clock = std::chrono::steady_clock;

// A raw ICMP socket receives a copy of every ICMP packet of the host; with hundreds of echoes
// in flight each would wake for all the others' replies. This filter lets through only echo
// replies with our identifier, and the error types (checked in full after receipt).
void attachReplyFilter(int fd, std::uint16_t id)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),              // X = IP header length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),               // A = ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_ECHOREPLY, 0, 2),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),               // A = identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, id, 4, 5),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_DEST_UNREACH, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_TIME_EXCEEDED, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_PARAMETERPROB, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_SOURCE_QUENCH, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    sock_fprog prog{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog);
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

TICMP::~TICMP()
{
    if (hICMP >= 0)
        ::close(hICMP);
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

bool TICMP::openSocket()
{
    if (hICMP >= 0)
        return true;
    const SocketKind pref = g_preference;
    if (pref != SocketKind::RawOnly) {
        hICMP = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (hICMP >= 0) {
            m_raw = false;
            m_kindUsed = QStringLiteral("ping");
            const int on = 1;
            ::setsockopt(hICMP, SOL_IP, IP_RECVERR, &on, sizeof on);
            return true;
        }
    }
    if (pref != SocketKind::PingOnly) {
        hICMP = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (hICMP >= 0) {
            m_raw = true;
            m_kindUsed = QStringLiteral("raw");
            return true;
        }
    }
    return false;
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
    FLastError = 0;
    FLastErrStr.clear();
    FReplyIP.clear();
    FReplyRTT = 0;
    FReplyStatus = 0;
    FReplySize = 0;
    m_kindUsed.clear();

    if (!FAddrResolved || (m_family != sfIPv4 && m_family != sfIPv6))
        parseTarget();

    int count = 0;
    if (FAddrResolved && m_family == sfIPv4) {
        if (!openSocket()) {
            FLastError = 100;
            FLastErrStr = QStringLiteral("Unable to get IPv4 ICMP handle");
        } else if (FIPAddress == 0xFFFFFFFFu) {
            FLastError = 100;
            FLastErrStr = QStringLiteral("Invalid IPv4 host address");
        } else {
            count = sendAndWait();
        }
    }
    if (count <= 0) {
        if (FLastError == 0)
            FLastError = kStatusGeneralFailure;
        if (FLastErrStr.isEmpty())
            FLastErrStr = ErrorText(FLastError);
    }
    return count;
}

int TICMP::sendAndWait()
{
    const int size = FSize < 0 ? 0 : FSize;
    if (FDataBuf.size() < size)
        FDataBuf.resize(size);
    std::memset(FDataBuf.data(), ' ', size_t(size));
    const QByteArray msg = FPingMsg.toLatin1();
    std::memcpy(FDataBuf.data(), msg.constData(), size_t(std::min<qsizetype>(msg.size(), size)));

    const int ttl = FTTL & 0xFF;
    ::setsockopt(hICMP, SOL_IP, IP_TTL, &ttl, sizeof ttl);
    // Windows' IP_FLAG_DF is 0x02 of the flags byte.
    const int pmtu = (FFlags & 0x02) ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
    ::setsockopt(hICMP, SOL_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
    if (FSrcIPAddr != 0) {
        sockaddr_in src{};
        src.sin_family = AF_INET;
        src.sin_addr.s_addr = FSrcIPAddr;
        ::bind(hICMP, reinterpret_cast<sockaddr *>(&src), sizeof src);
    }

    auto *rng = QRandomGenerator::global();
    const std::uint16_t id = static_cast<std::uint16_t>(rng->bounded(1, 0xFFFF));
    const std::uint16_t seq = static_cast<std::uint16_t>(rng->bounded(1, 0xFFFF));

    if (m_raw)
        attachReplyFilter(hICMP, id);

    QByteArray packet(int(sizeof(icmphdr)) + size, '\0');
    auto *hdr = reinterpret_cast<icmphdr *>(packet.data());
    hdr->type = ICMP_ECHO;
    hdr->code = 0;
    hdr->un.echo.id = htons(id);
    hdr->un.echo.sequence = htons(seq);
    std::memcpy(packet.data() + sizeof(icmphdr), FDataBuf.constData(), size_t(size));
    hdr->checksum = checksum(reinterpret_cast<const unsigned char *>(packet.constData()), size_t(packet.size()));

    sockaddr_in dst{};
    dst.sin_family = AF_INET;
    dst.sin_addr.s_addr = FIPAddress;

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(FTimeOut);
    if (::sendto(hICMP, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr *>(&dst), sizeof dst) < 0) {
        switch (errno) {
        case ENETUNREACH: FLastError = 11002; break;
        case EHOSTUNREACH: FLastError = 11003; break;
        case EMSGSIZE: FLastError = 11009; break;
        default: FLastError = kStatusGeneralFailure; break;
        }
        return 0;
    }

    auto finish = [&](std::uint32_t status, std::uint32_t from, int dataSize) {
        const auto rtt = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        FReplyRTT = static_cast<std::uint32_t>(rtt < 0 ? 0 : rtt);
        FReplyStatus = status;
        FReplyIP = dotted(from);
        FReplySize = dataSize;
        return 1;
    };

    unsigned char buf[2048];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{hICMP, POLLIN, 0};
        const int pr = ::poll(&p, 1, int(left));
        if (pr < 0 && errno == EINTR)
            continue;
        if (pr <= 0)
            break;

        if (!m_raw && (p.revents & POLLERR)) {
            // A router's ICMP error for a request of this socket, via IP_RECVERR.
            char control[512];
            sockaddr_in from{};
            iovec iov{buf, sizeof buf};
            msghdr mh{};
            mh.msg_name = &from;
            mh.msg_namelen = sizeof from;
            mh.msg_iov = &iov;
            mh.msg_iovlen = 1;
            mh.msg_control = control;
            mh.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(hICMP, &mh, MSG_ERRQUEUE | MSG_DONTWAIT);
            if (n < 0)
                continue;
            for (cmsghdr *c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
                if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                const auto *ee = reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c));
                if (ee->ee_origin != SO_EE_ORIGIN_ICMP)
                    continue;
                if (n >= ssize_t(sizeof(icmphdr))) {
                    const auto *q = reinterpret_cast<const icmphdr *>(buf);
                    if (ntohs(q->un.echo.sequence) != seq)
                        continue;
                }
                const auto *off = reinterpret_cast<const sockaddr_in *>(SO_EE_OFFENDER(ee));
                return finish(statusOf(ee->ee_type, ee->ee_code), off->sin_addr.s_addr,
                              int(n > ssize_t(sizeof(icmphdr)) ? n - ssize_t(sizeof(icmphdr)) : 0));
            }
            continue;
        }
        if (!(p.revents & POLLIN))
            continue;

        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = ::recvfrom(hICMP, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from), &fromLen);
        if (n < 0)
            continue;
        if (!m_raw) {
            // The kernel hands a ping socket only replies to its own identifier.
            if (n < ssize_t(sizeof(icmphdr)))
                continue;
            const auto *r = reinterpret_cast<const icmphdr *>(buf);
            if (r->type != ICMP_ECHOREPLY || ntohs(r->un.echo.sequence) != seq)
                continue;
            return finish(0, from.sin_addr.s_addr, int(n - ssize_t(sizeof(icmphdr))));
        }

        // A raw socket sees every ICMP packet of the host: keep only what answers us.
        if (n < ssize_t(sizeof(iphdr)))
            continue;
        const auto *ip = reinterpret_cast<const iphdr *>(buf);
        const ssize_t ihl = ip->ihl * 4;
        if (n < ihl + ssize_t(sizeof(icmphdr)))
            continue;
        const auto *r = reinterpret_cast<const icmphdr *>(buf + ihl);
        if (r->type == ICMP_ECHOREPLY) {
            if (ntohs(r->un.echo.id) != id || ntohs(r->un.echo.sequence) != seq)
                continue;
            return finish(0, ip->saddr, int(n - ihl - ssize_t(sizeof(icmphdr))));
        }
        if (r->type == ICMP_DEST_UNREACH || r->type == ICMP_TIME_EXCEEDED || r->type == ICMP_PARAMETERPROB ||
            r->type == ICMP_SOURCE_QUENCH) {
            const unsigned char *inner = buf + ihl + sizeof(icmphdr);
            const ssize_t innerLen = n - ihl - ssize_t(sizeof(icmphdr));
            if (innerLen < ssize_t(sizeof(iphdr)))
                continue;
            const auto *iip = reinterpret_cast<const iphdr *>(inner);
            const ssize_t iihl = iip->ihl * 4;
            if (iip->protocol != IPPROTO_ICMP || iip->daddr != FIPAddress || innerLen < iihl + 8)
                continue;
            const auto *q = reinterpret_cast<const icmphdr *>(inner + iihl);
            if (q->type != ICMP_ECHO || ntohs(q->un.echo.id) != id || ntohs(q->un.echo.sequence) != seq)
                continue;
            return finish(statusOf(r->type, r->code), ip->saddr, int(innerLen - iihl - 8));
        }
    }
    FLastError = kStatusTimedOut;
    return 0;
}
