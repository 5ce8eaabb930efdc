#include "historywriter.h"

#include <QDateTime>
#include <QThread>
#include <QTimer>

HistoryWriter::HistoryWriter(const QString &dir, const HistoryStore::Settings &settings, QObject *parent)
    : QObject(parent)
    , m_dir(dir)
    , m_settings(settings)
{
}

HistoryWriter::~HistoryWriter()
{
    close();
}

bool HistoryWriter::open()
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &HistoryWriter::flush);
    }
    QString error;
    const bool ok = m_store.openForWriting(m_dir, m_settings, &error);
    for (const QString &note : m_store.takeNotes())
        emit message(note);
    if (!ok)
        emit message(error);
    return ok;
}

void HistoryWriter::add(const HistoryStore::Entry &entry)
{
    if (!m_store.isOpen())
        return;
    if (m_waiting.size() >= kMaxWaiting)
        m_waiting.removeFirst();
    m_waiting.append(entry);
    if (m_timer && !m_timer->isActive())
        m_timer->start(kBatchMs);
}

void HistoryWriter::add(const QList<HistoryStore::Entry> &entries)
{
    if (!m_store.isOpen())
        return;
    m_waiting.append(entries);
    if (m_waiting.size() > kMaxWaiting)
        m_waiting.remove(0, m_waiting.size() - kMaxWaiting);
    if (m_timer && !m_timer->isActive())
        m_timer->start(kBatchMs);
}

void HistoryWriter::flush()
{
    if (!m_store.isOpen() || m_waiting.isEmpty())
        return;
    QString error;
    HistoryStore::WriteStatus status = m_store.write(m_waiting, &error);
    if (status == HistoryStore::WriteStatus::Damaged) {
        const bool reopened = m_store.moveAsideAndReopen(&error);
        for (const QString &note : m_store.takeNotes())
            emit message(note);
        if (!reopened) {
            emit message(error);
            m_waiting.clear();
            return;
        }
        status = m_store.write(m_waiting, &error);
    }
    switch (status) {
    case HistoryStore::WriteStatus::Ok:
        m_waiting.clear();
        if (m_paused)
            emit message(QStringLiteral("History resumed: there is room on the disk again."));
        m_paused = false;
        m_failed = false;
        for (int i = 0; i < kPruneStepsPerBatch; ++i)
            m_store.pruneStep(QDateTime::currentMSecsSinceEpoch());
        return;
    case HistoryStore::WriteStatus::Full:
        if (!m_paused)
            emit message(QStringLiteral("History paused: the disk is full. Probing goes on, and the results "
                                        "are kept again when there is room."));
        m_paused = true;
        // Tried again with the next batch's time.
        if (m_timer)
            m_timer->start(kBatchMs);
        return;
    case HistoryStore::WriteStatus::Damaged:
    case HistoryStore::WriteStatus::Failed:
        // A batch that cannot be written is not tried forever.
        if (!m_failed)
            emit message(
                QStringLiteral("Unable to write to the history %1: %2").arg(HistoryStore::fileName(m_dir), error));
        m_failed = true;
        m_waiting.clear();
        return;
    }
}

void HistoryWriter::close()
{
    if (!m_store.isOpen())
        return;
    flush();
    m_waiting.clear();
    m_store.close(QDateTime::currentMSecsSinceEpoch());
}

HistoryThread::HistoryThread(const QString &dir, const HistoryStore::Settings &settings, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_writer(new HistoryWriter(dir, settings))
    , m_handOver(new QTimer(this))
{
    m_handOver->setSingleShot(true);
    m_handOver->setInterval(kHandOverMs);
    connect(m_handOver, &QTimer::timeout, this, &HistoryThread::handOver);
    m_thread->setObjectName(QStringLiteral("history"));
    m_writer->moveToThread(m_thread);
    connect(m_writer, &HistoryWriter::message, this, &HistoryThread::message, Qt::QueuedConnection);
    connect(m_thread, &QThread::finished, m_writer, &QObject::deleteLater);
    m_thread->start(QThread::LowPriority);
    HistoryWriter *writer = m_writer;
    QMetaObject::invokeMethod(
        m_writer, [writer] { writer->open(); }, Qt::QueuedConnection);
}

HistoryThread::~HistoryThread()
{
    handOver();
    HistoryWriter *writer = m_writer;
    QMetaObject::invokeMethod(
        m_writer, [writer] { writer->close(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

void HistoryThread::record(const HistoryStore::Entry &entry)
{
    m_pending.append(entry);
    if (!m_handOver->isActive())
        m_handOver->start();
}

void HistoryThread::handOver()
{
    if (m_pending.isEmpty())
        return;
    HistoryWriter *writer = m_writer;
    QMetaObject::invokeMethod(
        m_writer, [writer, entries = std::exchange(m_pending, {})] { writer->add(entries); }, Qt::QueuedConnection);
}
