#pragma once

#include "blockcodec.h"
#include "historyresult.h"
#include "outages.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;

// The history of every host in one SQLite file (history.db in the history folder, in WAL
// mode). Each host's results are packed into blocks of a few hundred; the block being filled
// is rewritten with each batch. One-minute figures are kept beside them for much longer.
// One writer at a time holds the folder's lock file; readers may open the store at any time
// and see every batch written so far.
class HistoryStore
{
public:
    static constexpr int kBlockResults = 256;
    static constexpr qint64 kBlockSpanMs = 3600000;
    static constexpr int kDefaultRawDays = 30;
    static constexpr int kDefaultMinuteDays = 400;

    struct Settings
    {
        int rawDays = kDefaultRawDays;
        int minuteDays = kDefaultMinuteDays;
    };

    // A result on its way in, with the host it belongs to.
    struct Entry
    {
        QString identity;
        QString label;
        QString address;
        History::Result result;
    };
    struct Host
    {
        qint64 id = 0;
        QString identity;
        QString label;
        QString address;
    };
    // A result with the writer session (run) that recorded it.
    using RunResult = History::Recorded;
    struct Minute
    {
        qint64 startMs = 0;
        int count = 0;
        int replies = 0;
        qint64 lowUs = 0;
        qint64 sumUs = 0;
        qint64 highUs = 0;
        friend bool operator==(const Minute &, const Minute &) = default;
    };
    enum class WriteStatus { Ok, Full, Damaged, Failed };

    HistoryStore() = default;
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    static QString fileName(const QString &dir);

    // As the writer: creates the folder and the store when missing, takes the folder's lock
    // (false with the reason when another writer holds it), moves a store that cannot be read
    // aside and starts a new one (notes() says so), and begins a new run.
    bool openForWriting(const QString &dir, const Settings &settings, QString *error);
    // As a reader: false with the reason when there is no store or it cannot be read.
    bool openForReading(const QString &dir, QString *error);
    // Ends the run: the open minutes are written and the lock is released.
    void close(qint64 nowMs);
    bool isOpen() const { return m_db != nullptr; }
    // Lines for the user about what happened while opening (a damaged store moved aside).
    QStringList takeNotes();

    // Writes a batch in one transaction. On any failure nothing of it is kept, and the batch
    // may be given again.
    WriteStatus write(const QList<Entry> &entries, QString *error);
    // Removes at most `limit` blocks and minute rows that have outlived their days; the number
    // removed (0 when nothing is left to prune).
    int pruneStep(qint64 nowMs, int limit = 200);
    // Closes the damaged store and moves it aside; a new one is opened in its place.
    bool moveAsideAndReopen(QString *error);

    // Reading.
    QList<Host> hosts() const;
    // The host's results with from <= time < to, in the order they were recorded.
    QList<RunResult> results(qint64 hostId, qint64 fromMs, qint64 toMs) const;
    QList<Minute> minutes(qint64 hostId, qint64 fromMs, qint64 toMs) const;
    // The host's outages that overlap from <= time < to, oldest first, as findOutages finds
    // them over every raw result kept. Only the stretches of minutes with a miss are read, each
    // with the minute that follows it (its ending reply), so that a quiet host costs a look at
    // its minutes. At most `limit` are given: the newest.
    QList<History::Outage> outages(qint64 hostId, qint64 fromMs, qint64 toMs, qint64 liveRun, int limit = 10000) const;
    // The earliest time of a raw result kept, or -1 with none.
    qint64 earliestRawMs() const;
    // The start of the host's earliest minute or raw result kept, or -1 with none.
    qint64 earliestMs(qint64 hostId) const;
    // The newest run, and whether a writer is recording it now.
    qint64 latestRun() const;
    bool writerActive() const;
    // Bytes on disk (the store with its write-ahead log).
    qint64 bytesOnDisk() const;
    qint64 run() const { return m_run; }

private:
    struct Open
    {
        qint64 blockId = 0;
        History::BlockEncoder encoder;
    };
    struct MinuteSum
    {
        qint64 minute = -1;
        Minute sum;
    };
    struct HostState
    {
        qint64 id = 0;
        QString label;
        QString address;
        Open open;
        MinuteSum minute;
    };

    bool openDb(const QString &path, bool writable, QString *error);
    bool createSchema(QString *error);
    bool exec(const char *sql, QString *error = nullptr);
    bool flushMinute(qint64 hostId, const MinuteSum &m);
    bool lock(QString *error);
    QString lastError() const;
    void closeDb();

    sqlite3 *m_db = nullptr;
    QString m_dir;
    Settings m_settings;
    int m_lockFd = -1;
    qint64 m_run = 0;
    QHash<QString, HostState> m_hosts;
    QStringList m_notes;
    qint64 m_pruneHost = 0;
};
