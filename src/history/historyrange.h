#pragma once

#include "historystore.h"

#include <QList>

// What a view of a host's history draws for a range of time, already reduced to its width:
// each result as a point while the range is short enough for that, else per column of pixels
// the lowest, mean and highest RTT and the loss of the minutes that begin in it.
namespace HistoryRange {

// Ranges up to this long show each result.
constexpr qint64 kRawSpanMs = 2 * 3600000;

struct Point
{
    qint64 timeMs = 0;
    History::Kind kind = History::Kind::Reply;
    qint64 rttUs = 0;
};
struct Column
{
    int count = 0; // 0: nothing recorded in the column
    int replies = 0;
    qint64 lowUs = 0;
    qint64 meanUs = 0;
    qint64 highUs = 0;
};
struct View
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
    bool raw = false;
    QList<Point> points; // when raw, at most kMaxPoints of them
    QList<Column> columns; // otherwise one per pixel
    qint64 highestUs = 0; // the highest RTT of the range
};
constexpr int kMaxPoints = 200000;

// Reads only the range from <= time < to of the host and reduces it to `pixels` columns.
View load(const HistoryStore &store, qint64 hostId, qint64 fromMs, qint64 toMs, int pixels);

} // namespace HistoryRange
