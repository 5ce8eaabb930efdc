#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Desktop notifications through the session bus's notification service. Calls never block:
// the service's answer arrives later. Without a session bus or a service nothing is shown and
// nothing is reported.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    using Shown = std::function<void(uint id)>;
    explicit DesktopNotifier(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    // Shows a notification in place of the one with `replacesId` (0: a new one); `shown`
    // receives the id the service gave it.
    void notify(const QString &summary, const QString &body, uint replacesId, Shown shown);
};
