#include "wsocket.h"

#include "skylarkerror.h"

#include <QUrl>

#include <arpa/inet.h>
#include <cstring>
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

class ThreadResolver : public IResolverBackend
{
public:
    void lookup(const QByteArray &asciiName, Done done) override
    {
        try {
            std::thread([name = asciiName, done = std::move(done)] {
                if (name.isEmpty()) {
                    done(10022, {});
                    return;
                }
                addrinfo hints{};
                hints.ai_family = AF_INET;
                hints.ai_socktype = SOCK_STREAM;
                addrinfo *res = nullptr;
                const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &res);
                if (rc != 0) {
                    done(codeOf(rc), {});
                    return;
                }
                QStringList list;
                for (addrinfo *a = res; a && list.size() < kMaxAddresses; a = a->ai_next) {
                    if (a->ai_family != AF_INET)
                        continue;
                    char buf[INET_ADDRSTRLEN] = {};
                    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr, buf, sizeof buf);
                    list.append(QString::fromLatin1(buf));
                }
                ::freeaddrinfo(res);
                done(list.isEmpty() ? 11004 : 0, list);
            }).detach();
        } catch (const std::exception &e) {
            throw SkylarkError(QString::fromLatin1(asciiName) + QStringLiteral(": can't start DNS lookup - ") +
                               QString::fromLocal8Bit(e.what()));
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
    in_addr ia{};
    ia.s_addr = a;
    result = QString::fromLatin1(::inet_ntoa(ia));
    return true;
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
    m_pending = 0;  // an older lookup is abandoned: its answer will find no match
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
        DnsResultList = addresses.mid(0, kMaxAddresses);
        DnsResult = DnsResultList.value(0);
    }
    done(errCode);
}
