#pragma once

#include "linkstats.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// The result logs: one CSV file per host identity (its text without option words) and local
// day, Logs/<host>-YYYY-MM-DD.csv, one line per result, appended to.
namespace ResultLog {

// Days kept besides the current one, as long as the raw history.
constexpr int kDefaultKeepDays = 30;
constexpr int kMinKeepDays = 1;
constexpr int kMaxKeepDays = 3650;

// First line of a new log file.
QByteArray header();
// "2026-12-10T12:00:00.000+01:00,host,address,reply,12,address,label,12.345" and a line end:
// the RTT in whole milliseconds, as shown, and last with the microseconds as a fraction. The
// RTTs and the replying address are empty for a timeout, the label for a host text without one.
QByteArray line(const EchoOutcome &outcome);
// A host identity as the first part of a file name, one of its own for each identity: ASCII
// letters, digits, '-' and (not first) '.' as they are, a blank as '_', every other byte of
// its UTF-8 as %XX; an empty identity is "~". One longer than kMaxStem is cut and ends in '~'
// and the SHA-256 of the identity in hex.
QString stem(const QString &identity);
constexpr int kMaxStem = 120;
// "<stem>-YYYY-MM-DD.csv"
QString fileName(const QString &identity, QDate day);
// The day of a name that fileName() could have made; none for any other name.
std::optional<QDate> dayOfFile(QByteArrayView name);
// Removes from the folder the regular files whose names are log names of days before
// `firstKept`. Links, folders and other names are left alone, and nothing is followed below
// the folder. The number removed.
int prune(const QString &dir, QDate firstKept);

} // namespace ResultLog

// Collects lines per file and appends them in one go. No file stays open between flushes,
// so the number of hosts does not count against the descriptor limit. Logs are the one kind
// of file written in place: appending through a temporary copy would rewrite the whole log
// each time. Every write is still checked.
class LogAppender
{
public:
    explicit LogAppender(QByteArray header)
        : m_header(std::move(header))
    {
    }

    void add(const QString &file, const QByteArray &line);
    bool hasPending() const { return !m_pending.isEmpty(); }
    // Appends what was collected, the header first into a file that is new or empty. On a
    // failure throws SkylarkError "Unable to write to <file>"; the lines of that file and of
    // the files after it stay collected.
    void flush();
    void clear() { m_pending.clear(); }

private:
    QByteArray m_header;
    QList<QPair<QString, QByteArray>> m_pending; // in order of first line
};

// The logs of one program: each result goes to the file of its host and of the local day it
// was taken on, so a new file begins with the first result after midnight. After the first
// flush that writes a day's results, a folder loses the files of the days before the kept ones
// (`keepDays` days besides that day).
class RotatingLog
{
public:
    explicit RotatingLog(int keepDays = ResultLog::kDefaultKeepDays)
        : m_keepDays(keepDays)
    {
    }

    void setKeepDays(int days);
    int keepDays() const { return m_keepDays; }
    // `dir` is the Logs folder, with a trailing separator.
    void add(const QString &dir, const EchoOutcome &outcome);
    bool hasPending() const { return m_log.hasPending(); }
    // As LogAppender::flush; the pruning that is due follows a flush that went through.
    void flush();
    void clear() { m_log.clear(); }

private:
    int m_keepDays;
    LogAppender m_log { ResultLog::header() };
    // Per folder, the newest day seen and the day it was last pruned for.
    struct Days
    {
        QDate newest;
        QDate pruned;
    };
    QHash<QString, Days> m_days;
};
