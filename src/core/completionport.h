#pragma once

#include <QMutex>
#include <QObject>

#include <functional>
#include <memory>

// Hands work finished on another thread back to a QObject's thread, and drops it when the
// object is gone. The owner keeps a CompletionPort member; workers keep only the shared
// state. Destroying the port (with its owner) closes it under the lock, so a worker can never
// post to a freed object, and Qt discards anything already posted to an object it destroys.
class CompletionPort
{
public:
    struct State
    {
        QMutex mutex;
        QObject *target = nullptr;
    };
    using Handle = std::shared_ptr<State>;

    explicit CompletionPort(QObject *target);
    ~CompletionPort();
    CompletionPort(const CompletionPort &) = delete;
    CompletionPort &operator=(const CompletionPort &) = delete;

    Handle handle() const { return m_state; }

    // From any thread: run fn on the target's thread, unless the target has been destroyed.
    static bool deliver(const Handle &port, std::function<void()> fn);

private:
    Handle m_state;
};
