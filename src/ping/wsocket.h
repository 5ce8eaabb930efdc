#pragma once

#include "completionport.h"
#include "icmp.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>

// The background half of a name lookup. The real one runs getaddrinfo on a thread of its own
// (IPv4 first, IPv6 only for a name without an IPv4 address, see LookupHost); tests install a
// scripted one. done may be called from any thread, at most once.
class IResolverBackend
{
public:
    using Done = std::function<void(std::uint16_t errCode, const QStringList &addresses)>;
    virtual ~IResolverBackend() = default;
    // Throws SkylarkError when the lookup cannot be started.
    virtual void lookup(const QByteArray &asciiName, Done done) = 0;

    static IResolverBackend *current();
    // nullptr restores the real backend.
    static void setCurrent(IResolverBackend *backend);
};

// Asynchronous name resolution for one ping frame. Every DnsLookup ends in exactly one
// OnDnsLookupDone on this object's thread, unless it raises, or a newer DnsLookup or the
// destruction of the resolver abandons it (then nothing is reported). Dotted addresses, IPv6
// addresses, the empty name and names that cannot be converted to ASCII complete inside
// DnsLookup.
//
// Which family: IPv4 wherever a host has it (a dotted address, or a name with any IPv4
// address: its first one); IPv6 only for an IPv6 address (plain, in brackets, with a zone such
// as fe80::1%eth0) or a name with IPv6 addresses and no IPv4 one (its first IPv6 address).
// SocketFamily does not narrow this: the frames set sfIPv4 and still get IPv6-only hosts.
class TWSocket : public QObject
{
    Q_OBJECT
public:
    explicit TWSocket(QObject *parent = nullptr);
    ~TWSocket() override;

    TSocketFamily SocketFamily = sfAny;
    QString DnsResult;
    QStringList DnsResultList;
    std::function<void(QObject *sender, std::uint16_t errCode)> OnDnsLookupDone;

    void DnsLookup(const QString &hostName);

    // The dotted-address pre-check: the parsed address, or nothing.
    static bool IsDottedIPv4(const QString &name, QString &result);
    // An IPv6 address as typed (blanks around it, brackets, a zone after '%'): its usual text
    // (lower case, zeros compressed, the zone as given). An IPv4-mapped address is the IPv4
    // address it maps.
    static bool IsIPv6Literal(const QString &name, QString &result);
    // The addresses of a host that are pinged, in their order: the IPv4 ones when there is
    // any, else the IPv6 ones.
    static QStringList ChooseFamily(const QStringList &addresses);
    // The blocking lookup of the real backend: A records first, AAAA only for a name without
    // any; the resolver's error code (0 with at least one address). errorText, when given,
    // receives the system's text of a failure.
    static std::uint16_t LookupHost(const QByteArray &asciiName, QStringList &addresses, QString *errorText = nullptr);

private:
    void complete(std::uint64_t lookup, std::uint16_t errCode, const QStringList &addresses);
    void done(std::uint16_t errCode);

    CompletionPort m_port { this };
    std::uint64_t m_pending = 0;
    std::uint64_t m_nextLookup = 0;
};
