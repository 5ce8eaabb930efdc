#pragma once

#include "historyresult.h"

#include <QByteArray>
#include <QList>

// A host's results packed into a block: the first time in full, then for each result one
// varint holding the change of the time step (in ms) and a 3-bit code for the kind, its usual
// status and the RTT's unit, followed only by what the code does not already say. A reply
// with a whole-millisecond RTT usually takes 2 or 3 bytes, a time-out 1 or 2.
namespace History {

class BlockEncoder
{
public:
    void add(const Result &result);
    const QByteArray &data() const { return m_data; }
    int count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // The earliest and latest time in the block (a clock step may put them anywhere).
    qint64 minMs() const { return m_minMs; }
    qint64 maxMs() const { return m_maxMs; }

private:
    QByteArray m_data;
    int m_count = 0;
    qint64 m_prevTime = 0;
    qint64 m_prevStep = 0;
    qint64 m_prevRttUs = 0;
    qint64 m_minMs = 0;
    qint64 m_maxMs = 0;
};

// The results of a block in the order they were added; false for data that is not a block
// (what was decoded before the fault is kept in `out`).
bool decodeBlock(const QByteArray &data, QList<Result> *out);

} // namespace History
