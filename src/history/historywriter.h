#pragma once

#include "historystore.h"

#include <QList>
#include <QObject>
#include <QString>

class QThread;
class QTimer;

// Writes results to the store in batches, at most kBatchMs after the first result of a batch,
// and prunes in small steps after each batch. It lives on a thread of its own (see
// HistoryThread); every call reaches it as a queued call, so nothing is shared.
//
// A full disk pauses the history with one message; results wait (up to kMaxWaiting, the
// oldest dropped first) and are written once there is room again. A store that turns out
// damaged is moved aside and a new one started. A store held by another writer is left alone:
// this writer then keeps nothing.
class HistoryWriter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kBatchMs = 2000;
    static constexpr int kMaxWaiting = 200000;
    static constexpr int kPruneStepsPerBatch = 4;

    explicit HistoryWriter(const QString &dir, const HistoryStore::Settings &settings = {}, QObject *parent = nullptr);
    ~HistoryWriter() override;

    // On the writer's thread.
    bool open();
    void add(const HistoryStore::Entry &entry);
    void add(const QList<HistoryStore::Entry> &entries);
    // Writes what waits now.
    void flush();
    // Writes what waits and ends the run.
    void close();
    bool isWriting() const { return m_store.isOpen(); }
    bool isPaused() const { return m_paused; }
    int waiting() const { return int(m_waiting.size()); }

signals:
    // One line for the user: why there is no history, that it paused or resumed, that a
    // damaged store was moved aside.
    void message(const QString &text);

private:
    QString m_dir;
    HistoryStore::Settings m_settings;
    HistoryStore m_store;
    QList<HistoryStore::Entry> m_waiting;
    QTimer *m_timer = nullptr;
    bool m_paused = false;
    bool m_failed = false;
};

// A writer on a thread of its own, for the thread that makes the results. Results are handed
// over in bunches every kHandOverMs, so that the writer's thread wakes a few times a second
// rather than for every result.
class HistoryThread : public QObject
{
    Q_OBJECT
public:
    static constexpr int kHandOverMs = 250;

    explicit HistoryThread(const QString &dir, const HistoryStore::Settings &settings = {}, QObject *parent = nullptr);
    // Writes what waits, ends the run and the thread.
    ~HistoryThread() override;

    void record(const HistoryStore::Entry &entry);

signals:
    // The writer's messages, on this object's thread.
    void message(const QString &text);

private:
    void handOver();

    QThread *m_thread;
    HistoryWriter *m_writer;
    QTimer *m_handOver;
    QList<HistoryStore::Entry> m_pending;
};
