#include "blockcodec.h"

namespace History {

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Reply:
        return QStringLiteral("reply");
    case Kind::Timeout:
        return QStringLiteral("timeout");
    case Kind::Foreign:
        return QStringLiteral("foreign");
    case Kind::Unreachable:
        return QStringLiteral("unreachable");
    case Kind::LookupFailed:
        return QStringLiteral("lookup_failed");
    }
    return QString();
}

Kind kindOfMiss(int status)
{
    return status >= kFirstRouterStatus && status <= kLastRouterStatus && status != kStatusTimedOut ? Kind::Unreachable
                                                                                                    : Kind::Timeout;
}

namespace {

enum Code : quint64 {
    ReplyMs, // a reply with status 0 and a whole-millisecond RTT: the RTT's change in ms follows
    ReplyUs, // a reply with status 0: the RTT's change in us follows
    TimedOut, // a time-out with status 11010 and no RTT: nothing follows
    ForeignMs, // as ReplyMs for an answer from another address
    ForeignUs,
    RouterError, // unreachable without an RTT: the status less 11000 follows
    LookupFailure, // lookup_failed without an RTT: the status follows
    Full, // anything else: the kind, the status and the RTT in us follow
};

quint64 zigzag(qint64 v)
{
    return (quint64(v) << 1) ^ quint64(v >> 63);
}
qint64 unzigzag(quint64 v)
{
    return qint64(v >> 1) ^ -qint64(v & 1);
}

void putVarint(QByteArray &out, quint64 v)
{
    while (v >= 0x80) {
        out.append(char(v | 0x80));
        v >>= 7;
    }
    out.append(char(v));
}

bool getVarint(const QByteArray &in, qsizetype *pos, quint64 *v)
{
    quint64 result = 0;
    for (int shift = 0; shift < 64 && *pos < in.size(); shift += 7) {
        const auto byte = quint8(in.at((*pos)++));
        result |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80)) {
            *v = result;
            return true;
        }
    }
    return false;
}

} // namespace

void BlockEncoder::add(const Result &given)
{
    Result r = given;
    r.rttUs = qBound<qint64>(0, r.rttUs, kMaxRttUs);
    if (m_count == 0) {
        putVarint(m_data, zigzag(r.timeMs));
        m_prevTime = r.timeMs;
        m_minMs = m_maxMs = r.timeMs;
    }
    const qint64 step = r.timeMs - m_prevTime;
    const qint64 change = step - m_prevStep;
    m_prevTime = r.timeMs;
    m_prevStep = step;
    m_minMs = qMin(m_minMs, r.timeMs);
    m_maxMs = qMax(m_maxMs, r.timeMs);
    ++m_count;

    const bool answer = r.kind == Kind::Reply || r.kind == Kind::Foreign;
    Code code = Full;
    if (answer && r.status == 0)
        code = r.kind == Kind::Reply ? (r.rttUs % 1000 == 0 ? ReplyMs : ReplyUs)
                                     : (r.rttUs % 1000 == 0 ? ForeignMs : ForeignUs);
    else if (r.kind == Kind::Timeout && r.status == kStatusTimedOut && r.rttUs == 0)
        code = TimedOut;
    else if (r.kind == Kind::Unreachable && r.rttUs == 0)
        code = RouterError;
    else if (r.kind == Kind::LookupFailed && r.rttUs == 0)
        code = LookupFailure;
    putVarint(m_data, (zigzag(change) << 3) | code);
    switch (code) {
    case ReplyMs:
    case ForeignMs:
        putVarint(m_data, zigzag(r.rttUs / 1000 - m_prevRttUs / 1000));
        m_prevRttUs = r.rttUs;
        break;
    case ReplyUs:
    case ForeignUs:
        putVarint(m_data, zigzag(r.rttUs - m_prevRttUs));
        m_prevRttUs = r.rttUs;
        break;
    case TimedOut:
        break;
    case RouterError:
        putVarint(m_data, zigzag(qint64(r.status) - 11000));
        break;
    case LookupFailure:
        putVarint(m_data, zigzag(r.status));
        break;
    case Full:
        m_data.append(char(r.kind));
        putVarint(m_data, zigzag(r.status));
        putVarint(m_data, quint64(r.rttUs));
        break;
    }
}

bool decodeBlock(const QByteArray &data, QList<Result> *out)
{
    qsizetype pos = 0;
    quint64 v = 0;
    if (data.isEmpty())
        return true;
    if (!getVarint(data, &pos, &v))
        return false;
    qint64 time = unzigzag(v);
    qint64 step = 0;
    qint64 prevRtt = 0;
    while (pos < data.size()) {
        if (!getVarint(data, &pos, &v))
            return false;
        step += unzigzag(v >> 3);
        time += step;
        Result r;
        r.timeMs = time;
        const auto code = Code(v & 7);
        quint64 w = 0;
        if (code != TimedOut && code != Full && !getVarint(data, &pos, &w))
            return false;
        switch (code) {
        case ReplyMs:
        case ForeignMs:
            r.kind = code == ReplyMs ? Kind::Reply : Kind::Foreign;
            r.status = 0;
            r.rttUs = (prevRtt / 1000 + unzigzag(w)) * 1000;
            prevRtt = r.rttUs;
            break;
        case ReplyUs:
        case ForeignUs:
            r.kind = code == ReplyUs ? Kind::Reply : Kind::Foreign;
            r.status = 0;
            r.rttUs = prevRtt + unzigzag(w);
            prevRtt = r.rttUs;
            break;
        case TimedOut:
            break;
        case RouterError:
            r.kind = Kind::Unreachable;
            r.status = int(unzigzag(w) + 11000);
            break;
        case LookupFailure:
            r.kind = Kind::LookupFailed;
            r.status = int(unzigzag(w));
            break;
        case Full: {
            if (pos >= data.size() || quint8(data.at(pos)) >= kKindCount)
                return false;
            r.kind = Kind(data.at(pos++));
            quint64 rtt = 0;
            if (!getVarint(data, &pos, &w) || !getVarint(data, &pos, &rtt) || rtt > quint64(kMaxRttUs))
                return false;
            r.status = int(unzigzag(w));
            r.rttUs = qint64(rtt);
            break;
        }
        }
        if (r.rttUs < 0 || r.rttUs > kMaxRttUs)
            return false;
        out->append(r);
    }
    return true;
}

} // namespace History
