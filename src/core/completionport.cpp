#include "completionport.h"

#include <QMetaObject>
#include <QMutexLocker>

CompletionPort::CompletionPort(QObject *target)
    : m_state(std::make_shared<State>())
{
    m_state->target = target;
}

CompletionPort::~CompletionPort()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->target = nullptr;
}

bool CompletionPort::deliver(const Handle &port, std::function<void()> fn)
{
    if (!port)
        return false;
    QMutexLocker lock(&port->mutex);
    if (port->target == nullptr)
        return false;
    return QMetaObject::invokeMethod(port->target, std::move(fn), Qt::QueuedConnection);
}
