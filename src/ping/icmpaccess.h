#pragma once

#include <QObject>

// Tells whoever listens that an echo could not be sent because neither ICMP socket may be
// opened (no ping-socket group, no raw-socket capability). Echoes still fail as designed;
// this only lets the program explain why, once.
class IcmpAccess : public QObject
{
    Q_OBJECT
public:
    static IcmpAccess *instance();
    // Whether an echo's error says that no ICMP socket could be opened (code 100 also
    // stands for a broadcast target, with another text).
    static bool isNoSocket(int errCode, const QString &errString)
    {
        return errCode == 100
            && (errString == QStringLiteral("Unable to get IPv4 ICMP handle")
                || errString == QStringLiteral("Unable to get IPv6 ICMP handle"));
    }
    void reportUnavailable() { emit unavailable(); }

signals:
    void unavailable();
};
