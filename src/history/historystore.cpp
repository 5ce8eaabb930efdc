#include "historystore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sqlite3.h>

#include <cerrno>
#include <limits>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr qint64 kDayMs = 86400000;
constexpr qint64 kMinuteMs = 60000;
constexpr int kSchemaVersion = 1;

qint64 minuteOf(qint64 ms)
{
    return ms >= 0 ? ms / kMinuteMs : (ms - kMinuteMs + 1) / kMinuteMs;
}

// A prepared statement that finalizes itself.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql) { m_ok = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    bool ok() const { return m_ok; }
    Statement &bind(int i, qint64 v)
    {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement &bind(int i, const QString &v)
    {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(m_stmt, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bind(int i, const QByteArray &v)
    {
        sqlite3_bind_blob(m_stmt, i, v.constData(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return m_ok ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    int run()
    {
        const int rc = step();
        sqlite3_reset(m_stmt);
        return rc == SQLITE_ROW ? SQLITE_DONE : rc;
    }
    qint64 int64(int col) const { return sqlite3_column_int64(m_stmt, col); }
    QString text(int col) const
    {
        return QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col)), sqlite3_column_bytes(m_stmt, col));
    }
    QByteArray blob(int col) const
    {
        return QByteArray(
            static_cast<const char *>(sqlite3_column_blob(m_stmt, col)), sqlite3_column_bytes(m_stmt, col));
    }
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }

private:
    sqlite3_stmt *m_stmt = nullptr;
    bool m_ok = false;
};

bool isDamage(int rc)
{
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

} // namespace

HistoryStore::~HistoryStore()
{
    close(QDateTime::currentMSecsSinceEpoch());
}

QString HistoryStore::fileName(const QString &dir)
{
    return QDir(dir).filePath(QStringLiteral("history.db"));
}

QStringList HistoryStore::takeNotes()
{
    return std::exchange(m_notes, {});
}

QString HistoryStore::lastError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("no store");
}

bool HistoryStore::exec(const char *sql, QString *error)
{
    char *msg = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &msg);
    if (rc != SQLITE_OK && error)
        *error = QString::fromUtf8(msg ? msg : sqlite3_errstr(rc));
    sqlite3_free(msg);
    return rc == SQLITE_OK;
}

bool HistoryStore::openDb(const QString &path, bool writable, QString *error)
{
    const int flags = writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        *error = lastError();
        closeDb();
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 5000);
    return true;
}

void HistoryStore::closeDb()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool HistoryStore::createSchema(QString *error)
{
    // The first statement reads the file: a file that is not a store fails here.
    if (!exec("PRAGMA journal_mode=WAL", error))
        return false;
    Statement version(m_db, "PRAGMA user_version");
    if (version.step() != SQLITE_ROW) {
        *error = lastError();
        return false;
    }
    const qint64 found = version.int64(0);
    if (found > kSchemaVersion) {
        *error = QStringLiteral("the store was written by a newer Skylark");
        return false;
    }
    return exec("PRAGMA synchronous=NORMAL;"
                "PRAGMA journal_size_limit=4194304;"
                "CREATE TABLE IF NOT EXISTS hosts(id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE,"
                " label TEXT NOT NULL DEFAULT '', address TEXT NOT NULL DEFAULT '');"
                "CREATE TABLE IF NOT EXISTS runs(id INTEGER PRIMARY KEY, started_ms INTEGER, ended_ms INTEGER);"
                "CREATE TABLE IF NOT EXISTS blocks(id INTEGER PRIMARY KEY, host INTEGER NOT NULL, run INTEGER NOT NULL,"
                " min_ms INTEGER NOT NULL, max_ms INTEGER NOT NULL, count INTEGER NOT NULL, data BLOB NOT NULL);"
                "CREATE INDEX IF NOT EXISTS blocks_by_host ON blocks(host, max_ms);"
                "CREATE TABLE IF NOT EXISTS minutes(host INTEGER NOT NULL, minute INTEGER NOT NULL,"
                " count INTEGER NOT NULL, replies INTEGER NOT NULL, low_us INTEGER NOT NULL, sum_us INTEGER NOT NULL,"
                " high_us INTEGER NOT NULL, PRIMARY KEY(host, minute)) WITHOUT ROWID;"
                // The minutes with a miss, where outages are looked for.
                "CREATE INDEX IF NOT EXISTS minutes_with_misses ON minutes(host, minute) WHERE count > replies;"
                "PRAGMA user_version=1;",
        error);
}

bool HistoryStore::lock(QString *error)
{
    const QString path = QDir(m_dir).filePath(QStringLiteral("writer.lock"));
    m_lockFd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lockFd < 0) {
        *error = QStringLiteral("Unable to write to %1").arg(path);
        return false;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        char buf[32] = {};
        const ssize_t n = ::pread(m_lockFd, buf, sizeof buf - 1, 0);
        const QString pid = n > 0 ? QString::fromLatin1(buf, int(n)).trimmed() : QStringLiteral("?");
        *error = QStringLiteral("The history in %1 is being written by another Skylark (process %2); "
                                "this one keeps no history.")
                     .arg(QDir::toNativeSeparators(m_dir), pid);
        ::close(m_lockFd);
        m_lockFd = -1;
        return false;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(m_lockFd, 0) == 0 && ::pwrite(m_lockFd, pid.constData(), size_t(pid.size()), 0) < 0) {
        // The number is only for the message of a refused writer.
    }
    return true;
}

bool HistoryStore::openForWriting(const QString &dir, const Settings &settings, QString *error)
{
    close(QDateTime::currentMSecsSinceEpoch());
    m_dir = dir;
    m_settings = settings;
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("Unable to create the folder %1").arg(QDir::toNativeSeparators(dir));
        return false;
    }
    if (!lock(error))
        return false;
    QString why;
    if (openDb(fileName(dir), true, &why) && createSchema(&why)) {
    } else if (m_db && isDamage(sqlite3_errcode(m_db))) {
        if (!moveAsideAndReopen(error))
            return false;
    } else {
        *error = QStringLiteral("Unable to open the history %1: %2").arg(QDir::toNativeSeparators(fileName(dir)), why);
        closeDb();
        ::close(m_lockFd);
        m_lockFd = -1;
        return false;
    }
    Statement run(m_db, "INSERT INTO runs(started_ms) VALUES(?)");
    if (run.bind(1, QDateTime::currentMSecsSinceEpoch()).run() != SQLITE_DONE) {
        *error = QStringLiteral("Unable to write to %1: %2").arg(QDir::toNativeSeparators(fileName(dir)), lastError());
        closeDb();
        ::close(m_lockFd);
        m_lockFd = -1;
        return false;
    }
    m_run = sqlite3_last_insert_rowid(m_db);
    return true;
}

bool HistoryStore::moveAsideAndReopen(QString *error)
{
    closeDb();
    m_hosts.clear();
    const QString path = fileName(m_dir);
    const QString aside
        = path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile::remove(aside);
    QFile::rename(path, aside);
    QFile::remove(aside + QStringLiteral("-wal"));
    QFile::rename(path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    m_notes.append(QStringLiteral("The history %1 could not be read; it was moved to %2 and a new one was started.")
                       .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside)));
    QString why;
    if (!openDb(path, true, &why) || !createSchema(&why)) {
        *error = QStringLiteral("Unable to open the history %1: %2").arg(QDir::toNativeSeparators(path), why);
        closeDb();
        return false;
    }
    if (m_run != 0) {
        Statement run(m_db, "INSERT INTO runs(started_ms) VALUES(?)");
        run.bind(1, QDateTime::currentMSecsSinceEpoch()).run();
        m_run = sqlite3_last_insert_rowid(m_db);
    }
    return true;
}

bool HistoryStore::openForReading(const QString &dir, QString *error)
{
    close(QDateTime::currentMSecsSinceEpoch());
    m_dir = dir;
    const QString path = fileName(dir);
    if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("There is no history in %1").arg(QDir::toNativeSeparators(dir));
        return false;
    }
    QString why;
    if (!openDb(path, false, &why)) {
        *error = QStringLiteral("Unable to read the history %1: %2").arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    Statement check(m_db, "SELECT count(*) FROM blocks");
    if (check.step() != SQLITE_ROW) {
        *error = QStringLiteral("Unable to read the history %1: %2").arg(QDir::toNativeSeparators(path), lastError());
        closeDb();
        return false;
    }
    return true;
}

void HistoryStore::close(qint64 nowMs)
{
    if (m_db && m_lockFd >= 0 && m_run != 0) {
        Statement end(m_db, "UPDATE runs SET ended_ms=? WHERE id=?");
        end.bind(1, nowMs).bind(2, m_run).run();
    }
    closeDb();
    m_hosts.clear();
    m_run = 0;
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

bool HistoryStore::flushMinute(qint64 hostId, const MinuteSum &m)
{
    Statement put(m_db,
        "INSERT OR REPLACE INTO minutes(host, minute, count, replies, low_us, sum_us, high_us)"
        " VALUES(?,?,?,?,?,?,?)");
    put.bind(1, hostId).bind(2, m.minute).bind(3, m.sum.count).bind(4, m.sum.replies);
    put.bind(5, m.sum.lowUs).bind(6, m.sum.sumUs).bind(7, m.sum.highUs);
    return put.run() == SQLITE_DONE;
}

HistoryStore::WriteStatus HistoryStore::write(const QList<Entry> &entries, QString *error)
{
    if (!m_db || m_lockFd < 0) {
        *error = QStringLiteral("no store");
        return WriteStatus::Failed;
    }
    if (entries.isEmpty())
        return WriteStatus::Ok;
    // Everything is worked on a copy that replaces the state only once the batch is kept.
    QHash<QString, HostState> state = m_hosts;
    QList<QString> touched;
    QSet<QString> seen;
    int rc = SQLITE_OK;
    auto fail = [&](int code) {
        rc = code;
        return false;
    };

    auto body = [&]() -> bool {
        rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return false;
        Statement addHost(m_db,
            "INSERT INTO hosts(identity, label, address) VALUES(?,?,?) ON CONFLICT(identity) DO UPDATE"
            " SET label=excluded.label, address=excluded.address RETURNING id");
        Statement setAddress(m_db, "UPDATE hosts SET label=?, address=? WHERE id=?");
        Statement loadMinute(
            m_db, "SELECT count, replies, low_us, sum_us, high_us FROM minutes WHERE host=? AND minute=?");
        Statement insertBlock(m_db, "INSERT INTO blocks(host, run, min_ms, max_ms, count, data) VALUES(?,?,?,?,?,?)");
        Statement updateBlock(m_db, "UPDATE blocks SET min_ms=?, max_ms=?, count=?, data=? WHERE id=?");
        auto putBlock = [&](HostState &h) -> bool {
            const History::BlockEncoder &e = h.open.encoder;
            if (h.open.blockId != 0) {
                const int r = updateBlock.bind(1, e.minMs())
                                  .bind(2, e.maxMs())
                                  .bind(3, e.count())
                                  .bind(4, e.data())
                                  .bind(5, h.open.blockId)
                                  .run();
                if (r != SQLITE_DONE)
                    return fail(r);
                if (sqlite3_changes(m_db) == 1)
                    return true;
            }
            const int r = insertBlock.bind(1, h.id)
                              .bind(2, m_run)
                              .bind(3, e.minMs())
                              .bind(4, e.maxMs())
                              .bind(5, e.count())
                              .bind(6, e.data())
                              .run();
            if (r != SQLITE_DONE)
                return fail(r);
            h.open.blockId = sqlite3_last_insert_rowid(m_db);
            return true;
        };

        for (const Entry &entry : entries) {
            auto it = state.find(entry.identity);
            if (it == state.end()) {
                addHost.bind(1, entry.identity).bind(2, entry.label).bind(3, entry.address);
                const int r = addHost.step();
                if (r != SQLITE_ROW)
                    return fail(r);
                HostState h;
                h.id = addHost.int64(0);
                h.label = entry.label;
                h.address = entry.address;
                addHost.run();
                it = state.insert(entry.identity, h);
            } else if ((!entry.address.isEmpty() && entry.address != it->address) || entry.label != it->label) {
                if (!entry.address.isEmpty())
                    it->address = entry.address;
                it->label = entry.label;
                const int r = setAddress.bind(1, it->label).bind(2, it->address).bind(3, it->id).run();
                if (r != SQLITE_DONE)
                    return fail(r);
            }
            HostState &h = *it;
            if (!seen.contains(entry.identity)) {
                seen.insert(entry.identity);
                touched.append(entry.identity);
            }

            const History::Result &res = entry.result;
            const qint64 minute = minuteOf(res.timeMs);
            if (h.minute.minute != minute) {
                if (h.minute.minute >= 0 && !flushMinute(h.id, h.minute))
                    return fail(sqlite3_errcode(m_db));
                h.minute = {};
                h.minute.minute = minute;
                h.minute.sum.startMs = minute * kMinuteMs;
                loadMinute.bind(1, h.id).bind(2, minute);
                const int r = loadMinute.step();
                if (r == SQLITE_ROW) {
                    h.minute.sum.count = int(loadMinute.int64(0));
                    h.minute.sum.replies = int(loadMinute.int64(1));
                    h.minute.sum.lowUs = loadMinute.int64(2);
                    h.minute.sum.sumUs = loadMinute.int64(3);
                    h.minute.sum.highUs = loadMinute.int64(4);
                } else if (r != SQLITE_DONE) {
                    return fail(r);
                }
                loadMinute.run();
            }
            Minute &m = h.minute.sum;
            ++m.count;
            if (History::isReply(res.kind)) {
                const qint64 rtt = qBound<qint64>(0, res.rttUs, History::kMaxRttUs);
                m.lowUs = m.replies == 0 ? rtt : qMin(m.lowUs, rtt);
                m.highUs = m.replies == 0 ? rtt : qMax(m.highUs, rtt);
                m.sumUs += rtt;
                ++m.replies;
            }

            // A block covers at most an hour from its earliest result, so that pruning and ranges
            // cut close to their times.
            const History::BlockEncoder &open = h.open.encoder;
            if (!open.isEmpty() && (res.timeMs < open.minMs() || res.timeMs >= open.minMs() + kBlockSpanMs)) {
                if (!putBlock(h))
                    return false;
                h.open = {};
            }
            h.open.encoder.add(res);
            if (h.open.encoder.count() >= kBlockResults) {
                if (!putBlock(h))
                    return false;
                h.open = {};
            }
        }
        for (const QString &identity : std::as_const(touched)) {
            HostState &h = state[identity];
            if (!h.open.encoder.isEmpty() && !putBlock(h))
                return false;
            if (h.minute.minute >= 0 && !flushMinute(h.id, h.minute))
                return fail(sqlite3_errcode(m_db));
        }
        rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        return rc == SQLITE_OK;
    };

    if (body()) {
        m_hosts = std::move(state);
        return WriteStatus::Ok;
    }
    *error = QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_FULL)
        return WriteStatus::Full;
    if (isDamage(rc))
        return WriteStatus::Damaged;
    return WriteStatus::Failed;
}

int HistoryStore::pruneStep(qint64 nowMs, int limit)
{
    if (!m_db || m_lockFd < 0)
        return 0;
    // One host a step, in turn.
    Statement next(m_db, "SELECT id FROM hosts WHERE id > ? ORDER BY id LIMIT 1");
    if (next.bind(1, m_pruneHost).step() != SQLITE_ROW) {
        m_pruneHost = 0;
        return 0;
    }
    const qint64 host = next.int64(0);
    m_pruneHost = host;
    int removed = 0;
    Statement blocks(
        m_db, "DELETE FROM blocks WHERE id IN (SELECT id FROM blocks WHERE host=?1 AND max_ms < ?2 LIMIT ?3)");
    if (blocks.bind(1, host).bind(2, nowMs - m_settings.rawDays * kDayMs).bind(3, limit).run() == SQLITE_DONE)
        removed += sqlite3_changes(m_db);
    Statement minutes(m_db,
        "DELETE FROM minutes WHERE host=?1 AND minute IN"
        " (SELECT minute FROM minutes WHERE host=?1 AND minute < ?2 LIMIT ?3)");
    if (minutes.bind(1, host).bind(2, minuteOf(nowMs - m_settings.minuteDays * kDayMs)).bind(3, limit).run()
        == SQLITE_DONE)
        removed += sqlite3_changes(m_db);
    // A host that is pruned again at once while rows are left.
    if (removed >= limit)
        m_pruneHost = host - 1;
    return removed;
}

QList<HistoryStore::Host> HistoryStore::hosts() const
{
    QList<Host> out;
    if (!m_db)
        return out;
    Statement q(m_db, "SELECT id, identity, label, address FROM hosts ORDER BY identity");
    while (q.step() == SQLITE_ROW)
        out.append({ q.int64(0), q.text(1), q.text(2), q.text(3) });
    return out;
}

QList<HistoryStore::RunResult> HistoryStore::results(qint64 hostId, qint64 fromMs, qint64 toMs) const
{
    QList<RunResult> out;
    if (!m_db)
        return out;
    // A block spans less than kBlockSpanMs from its first result, so one that begins before `to`
    // ends before to + kBlockSpanMs: the index on max_ms is walked over that stretch only,
    // not over every later block of the host.
    Statement q(
        m_db, "SELECT run, data FROM blocks WHERE host=? AND max_ms >= ? AND max_ms < ? AND min_ms < ? ORDER BY id");
    q.bind(1, hostId).bind(2, fromMs).bind(
        3, toMs > std::numeric_limits<qint64>::max() / 2 ? toMs : toMs + kBlockSpanMs);
    q.bind(4, toMs);
    QList<History::Result> block;
    while (q.step() == SQLITE_ROW) {
        block.clear();
        History::decodeBlock(q.blob(1), &block);
        const qint64 run = q.int64(0);
        for (const History::Result &r : std::as_const(block))
            if (r.timeMs >= fromMs && r.timeMs < toMs)
                out.append({ r, run });
    }
    return out;
}

QList<HistoryStore::Minute> HistoryStore::minutes(qint64 hostId, qint64 fromMs, qint64 toMs) const
{
    QList<Minute> out;
    if (!m_db)
        return out;
    Statement q(m_db,
        "SELECT minute, count, replies, low_us, sum_us, high_us FROM minutes"
        " WHERE host=? AND minute >= ? AND minute < ? ORDER BY minute");
    // Minutes that begin in the range.
    q.bind(1, hostId).bind(2, minuteOf(fromMs + kMinuteMs - 1)).bind(3, minuteOf(toMs - 1) + 1);
    while (q.step() == SQLITE_ROW) {
        const qint64 start = q.int64(0) * kMinuteMs;
        if (start < fromMs || start >= toMs)
            continue;
        out.append({ start, int(q.int64(1)), int(q.int64(2)), q.int64(3), q.int64(4), q.int64(5) });
    }
    return out;
}

QList<History::Outage> HistoryStore::outages(qint64 hostId, qint64 fromMs, qint64 toMs, qint64 liveRun, int limit) const
{
    QList<History::Outage> out;
    if (!m_db || fromMs >= toMs)
        return out;
    // An outage that overlaps the range may have begun before it: its stretch of minutes with
    // misses begins after the last minute without one.
    Statement before(m_db, "SELECT max(minute) FROM minutes WHERE host=? AND minute < ? AND count = replies");
    before.bind(1, hostId).bind(2, minuteOf(fromMs));
    qint64 firstMinute = std::numeric_limits<qint64>::min() / kMinuteMs / 2;
    if (before.step() == SQLITE_ROW && !before.isNull(0))
        firstMinute = before.int64(0) + 1;
    // Each minute with a miss and the next minute of the host (which holds the reply that ends
    // an outage), joined into spans where they touch.
    Statement lossy(m_db,
        "SELECT m.minute, (SELECT n.minute FROM minutes n WHERE n.host=m.host AND n.minute > m.minute"
        " ORDER BY n.minute LIMIT 1) FROM minutes m WHERE m.host=? AND m.count > m.replies AND m.minute >= ?"
        " AND m.minute <= ? ORDER BY m.minute");
    lossy.bind(1, hostId).bind(2, firstMinute).bind(3, minuteOf(toMs - 1));
    QList<std::pair<qint64, qint64>> spans;
    while (lossy.step() == SQLITE_ROW) {
        const qint64 start = lossy.int64(0) * kMinuteMs;
        // Without a next minute, the results run to the newest.
        const qint64 end = lossy.isNull(1) ? std::numeric_limits<qint64>::max() / 2 : (lossy.int64(1) + 1) * kMinuteMs;
        // Spans close together are read as one: the replies between them change nothing, and
        // one read costs less than two.
        if (!spans.isEmpty() && start <= spans.last().second + kBlockSpanMs)
            spans.last().second = qMax(spans.last().second, end);
        else
            spans.append({ start, end });
    }
    // The last span runs on past the range to the end of its stretch, where its outage ends.
    if (!spans.isEmpty() && spans.last().second < std::numeric_limits<qint64>::max() / 2) {
        Statement after(m_db, "SELECT min(minute) FROM minutes WHERE host=? AND minute >= ? AND count = replies");
        after.bind(1, hostId).bind(2, spans.last().second / kMinuteMs - 1);
        if (after.step() == SQLITE_ROW && !after.isNull(0))
            spans.last().second = qMax(spans.last().second, (after.int64(0) + 1) * kMinuteMs);
        else
            spans.last().second = std::numeric_limits<qint64>::max() / 2;
    }
    // Between two spans the host answered every time: reading them one after another finds
    // what reading every result would.
    QList<History::Recorded> results;
    for (const auto &[start, end] : std::as_const(spans)) {
        results = this->results(hostId, start, end);
        QList<History::Outage> found = History::findOutages(results, liveRun);
        for (const History::Outage &o : std::as_const(found)) {
            const bool ongoing = o.state == History::Outage::State::Ongoing;
            if (o.startMs < toMs && (ongoing || o.endMs >= fromMs))
                out.append(o);
        }
        if (out.size() > limit)
            out.remove(0, out.size() - limit);
    }
    return out;
}

qint64 HistoryStore::earliestMs(qint64 hostId) const
{
    if (!m_db)
        return -1;
    Statement q(m_db,
        "SELECT (SELECT min(minute) * 60000 FROM minutes WHERE host=?1),"
        " (SELECT min_ms FROM blocks WHERE host=?1 ORDER BY max_ms LIMIT 1)");
    q.bind(1, hostId);
    if (q.step() != SQLITE_ROW)
        return -1;
    if (q.isNull(0) || q.isNull(1))
        return q.isNull(0) ? (q.isNull(1) ? -1 : q.int64(1)) : q.int64(0);
    return qMin(q.int64(0), q.int64(1));
}

qint64 HistoryStore::earliestRawMs() const
{
    if (!m_db)
        return -1;
    // Each host's oldest block through the index, rather than every block.
    Statement q(m_db, "SELECT min((SELECT min_ms FROM blocks WHERE host=hosts.id ORDER BY max_ms LIMIT 1)) FROM hosts");
    return q.step() == SQLITE_ROW && !q.isNull(0) ? q.int64(0) : -1;
}

qint64 HistoryStore::latestRun() const
{
    if (!m_db)
        return 0;
    Statement q(m_db, "SELECT max(id) FROM runs");
    return q.step() == SQLITE_ROW ? q.int64(0) : 0;
}

bool HistoryStore::writerActive() const
{
    if (m_lockFd >= 0)
        return true;
    const int fd = ::open(
        QFile::encodeName(QDir(m_dir).filePath(QStringLiteral("writer.lock"))).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

qint64 HistoryStore::bytesOnDisk() const
{
    const QString path = fileName(m_dir);
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}
