#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

enum TSocketFamily { sfAny, sfAnyIPv4, sfAnyIPv6, sfIPv4, sfIPv6 };

// One synchronous ICMP echo over a Linux ICMP socket: the unprivileged ping socket when the
// system allows it, else a raw socket. Errors sent back by routers (unreachable, time
// exceeded, ...) count as a reply from the router with the matching IP status code, the way
// the rest of Skylark expects replies to look.
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
    std::uint32_t FIPAddress = 0;  // network byte order
    std::uint32_t FSrcIPAddr = 0;
    QByteArray FDataBuf;
    QString FReplyIP;
    std::uint32_t FReplyRTT = 0;
    std::uint32_t FReplyStatus = 0;
    int FReplySize = 0;
    std::uint32_t FLastError = 0;
    QString FLastErrStr;
    bool FAddrResolved = false;

private:
    bool openSocket();
    int sendAndWait();
    void parseTarget();

    int hICMP = -1;
    bool m_raw = false;
    TSocketFamily m_family = sfAny;
    QString m_srcAddress;
    QString m_srcAddress6;
    QString m_kindUsed;
};

// The request text of our echoes, 45 characters.
inline constexpr char kDefaultPingMsg[] = "Skylark ICMP echo from TICMP, Linux ICMP sock";
static_assert(sizeof(kDefaultPingMsg) - 1 == 45);
