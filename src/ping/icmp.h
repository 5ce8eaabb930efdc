#pragma once

#include <QByteArray>
#include <QString>

#include <netinet/in.h>

#include <cstdint>
#include <functional>

enum TSocketFamily { sfAny, sfAnyIPv4, sfAnyIPv6, sfIPv4, sfIPv6 };

// One ICMP echo over a Linux ICMP socket: the unprivileged ping socket when the system allows
// it, else a raw socket. A target that is an IPv6 address, or a name with only IPv6 addresses,
// gets an ICMPv6 echo (see TWSocket for the choice); its addresses are written as IPv6 text in
// the same fields. Errors sent back by routers (unreachable, time exceeded, ...) count as
// a reply from the router with the matching IP status code, the way the rest of Skylark
// expects replies to look. The echo itself is carried by the process's one echo service
// (echoservice.h); Ping waits for it, PingAsync does not.
class TICMP
{
public:
    // Which socket kinds Ping may open. Auto tries the ping socket first, then the raw one.
    enum class SocketKind { Auto, PingOnly, RawOnly };
    static void SetSocketPreference(SocketKind kind);
    static SocketKind SocketPreference();

    TICMP();
    ~TICMP();
    TICMP(const TICMP &) = delete;
    TICMP &operator=(const TICMP &) = delete;

    void SetAddress(const QString &address);
    void SetSrcAddress(const QString &address);
    void SetSrcAddress6(const QString &address);
    void SetFamily(TSocketFamily family);
    TSocketFamily Family() const { return m_family; }

    // Sends one echo and waits up to FTimeOut; returns the number of replies (0 = none).
    int Ping();
    // Sends one echo and returns at once; done(replies) runs when the outcome is in the
    // fields: on the echo service's thread, or right here when the echo could not start.
    // The object must live until then. A target that is not a dotted address is looked up
    // here, which blocks.
    void PingAsync(std::function<void(int replies)> done);
    // Whether the target as given is a dotted IPv4 address (no look-up needed).
    static bool IsDottedAddress(const QString &address);
    // Whether the target as given is an address of either family (no look-up needed).
    static bool IsNumericAddress(const QString &address);

    // The kind of socket the last Ping used ("ping", "raw" or empty).
    QString SocketKindUsed() const { return m_kindUsed; }

    static QString ErrorText(std::uint32_t code);

    int FSize = 56;
    int FTimeOut = 4000;
    int FTTL = 64;
    int FFlags = 0;
    QString FPingMsg;
    QString FAddress;
    QString FHostIP;
    std::uint32_t FIPAddress = 0; // network byte order
    std::uint32_t FSrcIPAddr = 0;
    QByteArray FDataBuf;
    QString FReplyIP;
    std::uint32_t FReplyRTT = 0; // whole milliseconds of FReplyRTTUs
    std::uint32_t FReplyRTTUs = 0;
    std::uint32_t FReplyStatus = 0;
    int FReplySize = 0;
    std::uint32_t FLastError = 0;
    QString FLastErrStr;
    bool FAddrResolved = false;

private:
    void parseTarget();
    int finishFailed();

    QString replyText6(const in6_addr &from, std::uint32_t scope) const;

    TSocketFamily m_family = sfAny;
    in6_addr m_target6 {};
    std::uint32_t m_scope6 = 0;
    in6_addr m_source6 {};
    QString m_srcAddress;
    QString m_srcAddress6;
    QString m_kindUsed;
};

// The request text of our echoes, 45 characters.
inline constexpr char kDefaultPingMsg[] = "Skylark ICMP echo from TICMP, Linux ICMP sock";
static_assert(sizeof(kDefaultPingMsg) - 1 == 45);
