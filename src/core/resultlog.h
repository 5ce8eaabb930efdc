#pragma once

#include "linkstats.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The per-host result log: one CSV file per host, one line per result, appended to.
namespace ResultLog {

// First line of a new log file.
QByteArray header();
// "2026-12-10T12:00:00.000+01:00,host,address,reply,12,address,label" and a line end; the RTT
// and the replying address are empty for a timeout, the label for a host text without one.
QByteArray line(const EchoOutcome &outcome);
// The host text as a file name: lower case, anything but letters, digits, '.', '-' and '_'
// replaced by '_', never empty, never starting with '.', at most 200 characters; ".csv" added.
QString fileName(const QString &host);

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
