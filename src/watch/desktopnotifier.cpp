#include "desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

void DesktopNotifier::notify(const QString &summary, const QString &body, uint replacesId, Shown shown)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    call << QStringLiteral("Skylark") << replacesId << QStringLiteral("skylark") << summary << body << QStringList()
         << QVariantMap() << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, shown = std::move(shown)] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError() && shown)
            shown(reply.value());
        watcher->deleteLater();
    });
}
