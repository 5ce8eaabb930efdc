#include "wsocket.h"

#include "skylarkerror.h"

#include <QUrl>

#include <arpa/inet.h>
#include <cstring>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <exception>
#include <thread>

namespace {

constexpr int kMaxAddresses = 256;

std::uint16_t codeOf(int eai)
{
    switch (eai) {
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return 11004;
#endif
    default:
        return 11003;
    }
}

// The text of an address as the resolver reports it: IPv6 with its zone when it has one.
QString addressText(const sockaddr *sa)
{
    char buf[INET6_ADDRSTRLEN] = {};
    if (sa->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(sa)->sin_addr, buf, sizeof buf);
        return QString::fromLatin1(buf);
    }
    const auto *s6 = reinterpret_cast<const sockaddr_in6 *>(sa);
    inet_ntop(AF_INET6, &s6->sin6_addr, buf, sizeof buf);
    QString text = QString::fromLatin1(buf);
    if (s6->sin6_scope_id != 0) {
        char name[IF_NAMESIZE] = {};
        text += u'%'
            + (if_indextoname(s6->sin6_scope_id, name) ? QString::fromLatin1(name)
                                                       : QString::number(s6->sin6_scope_id));
    }
    return text;
}

int lookupFamily(const QByteArray &name, int family, QStringList &list)
{
    addrinfo hints {};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &res);
    if (rc != 0)
        return rc;
    for (addrinfo *a = res; a && list.size() < kMaxAddresses; a = a->ai_next)
        if (a->ai_family == family)
            list.append(addressText(a->ai_addr));
    ::freeaddrinfo(res);
    return 0;
}

class ThreadResolver : public IResolverBackend
{
public:
    void lookup(const QByteArray &asciiName, Done done) override
    {
        try {
            std::thread([name = asciiName, done = std::move(done)] {
                QStringList list;
                const std::uint16_t err = TWSocket::LookupHost(name, list);
                done(err, list);
            }).detach();
        } catch (const std::exception &e) {
            throw SkylarkError(Message::excerpt(QString::fromLatin1(asciiName))
                + QStringLiteral(": can't start DNS lookup - ") + QString::fromLocal8Bit(e.what()));
        }
    }
};

ThreadResolver g_threadResolver;
IResolverBackend *g_backend = nullptr;

bool isSeparator(QChar c)
{
    return c == u'.' || c == QChar(0x3002) || c == QChar(0xFF0E) || c == QChar(0xFF61);
}

} // namespace

IResolverBackend *IResolverBackend::current()
{
    return g_backend ? g_backend : &g_threadResolver;
}

void IResolverBackend::setCurrent(IResolverBackend *backend)
{
    g_backend = backend;
}

TWSocket::TWSocket(QObject *parent)
    : QObject(parent)
{
}

TWSocket::~TWSocket() = default;

bool TWSocket::IsDottedIPv4(const QString &name, QString &result)
{
    const QString t = name.trimmed();
    if (t.isEmpty() || t.front() == u'.')
        return false;
    int dots = 0;
    int part = 0;
    int digits = 0;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c == u'.') {
            if (digits == 0 || i + 1 >= t.size() || !t.at(i + 1).isDigit())
                return false;
            ++dots;
            part = 0;
            digits = 0;
        } else if (c >= u'0' && c <= u'9') {
            part = part * 10 + (c.unicode() - u'0');
            ++digits;
            if (part > 255)
                return false;
        } else {
            return false;
        }
    }
    if (dots != 3)
        return false;
    // inet_addr's reading decides, leading zeros included (they mean octal).
    const in_addr_t a = ::inet_addr(t.toLatin1().constData());
    if (a == INADDR_NONE)
        return false;
    in_addr ia {};
    ia.s_addr = a;
    result = QString::fromLatin1(::inet_ntoa(ia));
    return true;
}

bool TWSocket::IsIPv6Literal(const QString &name, QString &result)
{
    QString t = name.trimmed();
    if (t.startsWith(u'[') && t.endsWith(u']'))
        t = t.mid(1, t.size() - 2);
    QString zone;
    const qsizetype percent = t.indexOf(u'%');
    if (percent >= 0) {
        zone = t.mid(percent + 1);
        t.truncate(percent);
        if (zone.isEmpty())
            return false;
        for (QChar c : zone)
            if (c.unicode() >= 0x80 || !(c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_'))
                return false;
    }
    if (!t.contains(u':'))
        return false;
    in6_addr a {};
    if (inet_pton(AF_INET6, t.toLatin1().constData(), &a) != 1)
        return false;
    if (IN6_IS_ADDR_V4MAPPED(&a) && zone.isEmpty()) {
        in_addr v4 {};
        std::memcpy(&v4, a.s6_addr + 12, sizeof v4);
        result = QString::fromLatin1(::inet_ntoa(v4));
        return true;
    }
    char buf[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &a, buf, sizeof buf);
    result = QString::fromLatin1(buf);
    if (!zone.isEmpty())
        result += u'%' + zone;
    return true;
}

QStringList TWSocket::ChooseFamily(const QStringList &addresses)
{
    QStringList v4, v6;
    for (const QString &a : addresses)
        (a.contains(u':') ? v6 : v4).append(a);
    return v4.isEmpty() ? v6 : v4;
}

std::uint16_t TWSocket::LookupHost(const QByteArray &asciiName, QStringList &addresses, QString *errorText)
{
    addresses.clear();
    if (asciiName.isEmpty())
        return 10022;
    // The IPv4 lookup is the one every host has always had; a name without an IPv4 address
    // (whatever the reason: a name in the hosts file alone fails its IPv4 lookup as "try
    // again" when no name server answers) asks again for IPv6 addresses, and keeps the IPv4
    // answer's code when it has none either.
    const int rc = lookupFamily(asciiName, AF_INET, addresses);
    if (addresses.isEmpty()) {
        QStringList v6;
        if (lookupFamily(asciiName, AF_INET6, v6) == 0 && !v6.isEmpty()) {
            addresses = v6;
            return 0;
        }
    }
    if (rc != 0) {
        if (errorText)
            *errorText = QString::fromLocal8Bit(gai_strerror(rc));
        return codeOf(rc);
    }
    return addresses.isEmpty() ? 11004 : 0;
}

void TWSocket::done(std::uint16_t errCode)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, errCode);
}

void TWSocket::DnsLookup(const QString &hostName)
{
    if (hostName.isEmpty()) {
        done(10022);
        throw SkylarkError(QStringLiteral("DNS lookup: invalid host name."));
    }
    m_pending = 0; // an older lookup is abandoned: its answer will find no match
    DnsResult.clear();
    DnsResultList.clear();

    QString name = hostName.trimmed();
    QByteArray ascii;
    bool plain = true;
    for (QChar c : name)
        plain = plain && c.unicode() < 0x80;
    if (plain) {
        ascii = name.toLatin1();
    } else {
        QString dotsNormalised = name;
        for (QChar &c : dotsNormalised)
            if (isSeparator(c))
                c = u'.';
        ascii = QUrl::toAce(dotsNormalised);
        if (ascii.isEmpty()) {
            done(10022);
            return;
        }
    }

    QString dotted;
    if (IsDottedIPv4(QString::fromLatin1(ascii), dotted)) {
        DnsResult = dotted;
        DnsResultList.append(dotted);
        done(0);
        return;
    }
    QString ipv6;
    if (IsIPv6Literal(QString::fromLatin1(ascii), ipv6)) {
        DnsResult = ipv6;
        DnsResultList.append(ipv6);
        done(0);
        return;
    }

    const std::uint64_t lookup = ++m_nextLookup;
    auto port = m_port.handle();
    IResolverBackend::current()->lookup(ascii, [port, lookup, this](std::uint16_t err, const QStringList &list) {
        CompletionPort::deliver(port, [this, lookup, err, list] { complete(lookup, err, list); });
    });
    m_pending = lookup;
}

void TWSocket::complete(std::uint64_t lookup, std::uint16_t errCode, const QStringList &addresses)
{
    if (lookup != m_pending)
        return;
    m_pending = 0;
    if (errCode == 0) {
        DnsResultList = ChooseFamily(addresses).mid(0, kMaxAddresses);
        DnsResult = DnsResultList.value(0);
    }
    done(errCode);
}
