#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// The history as CSV with a header row: the raw results, the one-minute figures or the
// outages of the hosts asked for, over a range of time.
namespace HistoryExport {

enum class Rows { Results, Minutes, Outages };

struct Request
{
    QString dir; // the history folder
    QStringList hosts; // each a host's identity, or else its first word; none for every host
    QString from; // ISO 8601 date or date-time, local unless it carries an offset; inclusive
    QString to; // exclusive
    Rows rows = Rows::Results;
};

// The time a --from or --to names, in ms since the epoch; false for anything else. A date
// alone is its local midnight.
bool parseTime(const QString &text, qint64 *ms);
// "2026-12-10T09:05:07.042+01:00": local time with its offset.
QString formatTime(qint64 ms);

// Writes the CSV to `out`; notes and reasons go to `err`. The exit code: 0, or 2 for a bad
// time or a store that cannot be read.
int run(const Request &request, QTextStream &out, QTextStream &err, qint64 nowMs);

} // namespace HistoryExport
