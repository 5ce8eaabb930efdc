#pragma once

#include "completionport.h"
#include "icmp.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>

// The background half of a name lookup. The real one runs getaddrinfo (IPv4) on a thread of
// its own; tests install a scripted one. done may be called from any thread, at most once.
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

// Asynchronous IPv4 name resolution for one ping frame. Every DnsLookup ends in exactly one
// OnDnsLookupDone on this object's thread, unless it raises, or a newer DnsLookup or the
// destruction of the resolver abandons it (then nothing is reported). Dotted addresses, the
// empty name and names that cannot be converted to ASCII complete inside DnsLookup.
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

private:
    void complete(std::uint64_t lookup, std::uint16_t errCode, const QStringList &addresses);
    void done(std::uint16_t errCode);

    CompletionPort m_port{this};
    std::uint64_t m_pending = 0;
    std::uint64_t m_nextLookup = 0;
};
