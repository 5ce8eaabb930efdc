#include "completionport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

#include <deque>
#include <utility>

namespace {

// Work for objects of the application's main thread goes through one queue, run in slices of
// a few milliseconds: a burst of results (hundreds of hosts answering within the same
// millisecond) then leaves room between slices for timers, painting and input, instead of
// holding the event loop for the whole burst. Each item still runs on its own, in the order
// it came, and only while its port is open.
class MainThreadQueue : public QObject
{
public:
    static constexpr int kSliceMs = 8;

    void push(CompletionPort::Handle port, std::function<void()> fn)
    {
        bool post;
        {
            QMutexLocker lock(&m_mutex);
            m_items.push_back({ std::move(port), std::move(fn) });
            post = !std::exchange(m_drainPosted, true);
        }
        // Posted outside the lock, which the main thread takes for every slice.
        if (post)
            postDrain();
    }

private:
    struct Item
    {
        CompletionPort::Handle port;
        std::function<void()> fn;
    };

    void postDrain()
    {
        QMetaObject::invokeMethod(
            this, [this] { drain(); }, Qt::QueuedConnection);
    }

    void drain()
    {
        QElapsedTimer slice;
        slice.start();
        {
            // Items arriving while this slice runs (and lets events run) post a drain of their
            // own, so none waits for the slice to end; a drain run inside an item's event pass
            // goes on with the oldest item, so the order holds.
            QMutexLocker lock(&m_mutex);
            m_drainPosted = false;
        }
        for (;;) {
            Item item;
            bool post = false;
            {
                QMutexLocker lock(&m_mutex);
                if (m_items.empty())
                    return;
                if (slice.elapsed() >= kSliceMs)
                    post = !std::exchange(m_drainPosted, true);
                else {
                    item = std::move(m_items.front());
                    m_items.pop_front();
                }
            }
            if (!item.port) {
                if (post)
                    postDrain();
                return;
            }
            bool open;
            {
                QMutexLocker lock(&item.port->mutex);
                open = item.port->target != nullptr;
            }
            // The target lives on this thread, so it cannot go away between the check and
            // the call.
            if (open)
                item.fn();
        }
    }

    QMutex m_mutex;
    std::deque<Item> m_items;
    bool m_drainPosted = false;
};

MainThreadQueue *mainThreadQueue()
{
    // Created on first use from the main thread's side of a delivery, and owned by the
    // application object, so it lives in the main thread and ends with it.
    static MainThreadQueue *queue = [] {
        auto *q = new MainThreadQueue;
        q->moveToThread(QCoreApplication::instance()->thread());
        q->setParent(QCoreApplication::instance());
        return q;
    }();
    return queue;
}

} // namespace

CompletionPort::CompletionPort(QObject *target)
    : m_state(std::make_shared<State>())
{
    m_state->target = target;
    // Make the queue while on the target's thread, before any worker can deliver.
    if (QCoreApplication::instance() && target && target->thread() == QCoreApplication::instance()->thread())
        mainThreadQueue();
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
    QCoreApplication *app = QCoreApplication::instance();
    if (app && port->target->thread() == app->thread()) {
        lock.unlock();
        mainThreadQueue()->push(port, std::move(fn));
        return true;
    }
    return QMetaObject::invokeMethod(port->target, std::move(fn), Qt::QueuedConnection);
}
