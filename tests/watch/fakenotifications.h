#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

// Stands in for the desktop's notification service on the test's private bus.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        uint replacesId;
        QString summary, body;
    };
    QList<Call> calls;
    uint lastId = 100;

public slots:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &summary, const QString &body,
        const QStringList &, const QVariantMap &, int)
    {
        calls.append({ replacesId, summary, body });
        return replacesId ? replacesId : ++lastId;
    }
};

// A session bus of the test's own, made the process's session bus, with a service object
// registered on it through a second connection. Stopped (the daemon killed) by stop().
class PrivateSessionBus
{
public:
    bool start(QObject *service)
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork") });
        if (!m_daemon.waitForStarted()) {
            qWarning("dbus-daemon is needed (Debian package dbus-daemon)");
            return false;
        }
        if (!m_daemon.waitForReadyRead(10000))
            return false;
        const QByteArray address = m_daemon.readLine().trimmed();
        if (address.isEmpty())
            return false;
        // The program's own connection is the session bus; the service has one of its own.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("fake"));
        return bus.isConnected()
            && bus.registerObject(
                QStringLiteral("/org/freedesktop/Notifications"), service, QDBusConnection::ExportAllSlots)
            && bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    void stop()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

private:
    QProcess m_daemon;
};
