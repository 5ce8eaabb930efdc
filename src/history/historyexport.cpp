#include "historyexport.h"

#include "historystore.h"
#include "outages.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTextStream>

#include <limits>

namespace HistoryExport {

namespace {

QString field(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QString ms3(qint64 us)
{
    return QString::number(double(us) / 1000.0, 'f', 3);
}

bool wanted(const HistoryStore::Host &host, const QStringList &asked, const QList<HistoryStore::Host> &all)
{
    if (asked.isEmpty())
        return true;
    for (const QString &a : asked) {
        if (host.identity == a)
            return true;
        // The first word, unless some host's identity is exactly this text.
        const bool exact = std::any_of(all.begin(), all.end(), [&](const auto &h) { return h.identity == a; });
        if (!exact && host.identity.section(u' ', 0, 0) == a)
            return true;
    }
    return false;
}

} // namespace

bool parseTime(const QString &given, qint64 *ms)
{
    const QString text = given.trimmed();
    static const QRegularExpression dateOnly(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (dateOnly.match(text).hasMatch()) {
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (!d.isValid())
            return false;
        *ms = d.startOfDay().toMSecsSinceEpoch();
        return true;
    }
    static const QRegularExpression dateTime(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}(:\\d{2}(\\.\\d{1,3})?)?(Z|[+-]\\d{2}:?\\d{2})?$"));
    if (!dateTime.match(text).hasMatch())
        return false;
    const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        return false;
    *ms = t.toMSecsSinceEpoch();
    return true;
}

QString formatTime(qint64 ms)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms);
    const int offset = when.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return when.date().toString(Qt::ISODate) + u'T' + when.time().toString(QStringLiteral("HH:mm:ss.zzz"))
        + QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

int run(const Request &request, QTextStream &out, QTextStream &err, qint64 nowMs)
{
    qint64 from = std::numeric_limits<qint64>::min() / 2;
    qint64 to = std::numeric_limits<qint64>::max() / 2;
    if (!request.from.isEmpty() && !parseTime(request.from, &from)) {
        err << "skylark: --from wants an ISO 8601 date or date-time, not \"" << request.from << "\".\n";
        return 2;
    }
    if (!request.to.isEmpty() && !parseTime(request.to, &to)) {
        err << "skylark: --to wants an ISO 8601 date or date-time, not \"" << request.to << "\".\n";
        return 2;
    }
    HistoryStore store;
    QString error;
    if (!store.openForReading(request.dir, &error)) {
        err << "skylark: " << error << ".\n";
        return 2;
    }
    const QList<HistoryStore::Host> all = store.hosts();
    QList<HistoryStore::Host> hosts;
    for (const auto &h : all)
        if (wanted(h, request.hosts, all))
            hosts.append(h);

    switch (request.rows) {
    case Rows::Results: {
        const qint64 earliest = store.earliestRawMs();
        if (!request.from.isEmpty() && earliest >= 0 && from < earliest)
            err << "skylark: results are kept from " << formatTime(earliest)
                << "; --minutes has the one-minute figures for longer.\n";
        out << "time,host,label,address,kind,status,rtt_ms\n";
        for (const auto &h : std::as_const(hosts)) {
            const QString prefix = u',' + field(h.identity) + u',' + field(h.label) + u',' + field(h.address) + u',';
            for (const auto &rec : store.results(h.id, from, to)) {
                const History::Result &r = rec.result;
                const bool answered = r.kind == History::Kind::Reply || r.kind == History::Kind::Foreign;
                out << formatTime(r.timeMs) << prefix << History::kindName(r.kind) << ',' << r.status << ','
                    << (answered ? ms3(r.rttUs) : QString()) << '\n';
            }
        }
        break;
    }
    case Rows::Minutes:
        out << "minute,host,label,count,replies,low_ms,avg_ms,high_ms,loss\n";
        for (const auto &h : std::as_const(hosts)) {
            const QString prefix = u',' + field(h.identity) + u',' + field(h.label) + u',';
            for (const auto &m : store.minutes(h.id, from, to)) {
                out << formatTime(m.startMs) << prefix << m.count << ',' << m.replies << ',';
                if (m.replies > 0)
                    out << ms3(m.lowUs) << ',' << ms3(m.sumUs / m.replies) << ',' << ms3(m.highUs) << ',';
                else
                    out << ",,,";
                out << QString::number(m.count ? double(m.count - m.replies) / m.count : 0.0, 'f', 3) << '\n';
            }
        }
        break;
    case Rows::Outages: {
        const qint64 liveRun = store.writerActive() ? store.latestRun() : 0;
        out << "host,label,start,end,duration_s,kind,state\n";
        for (const auto &h : std::as_const(hosts)) {
            const QString prefix = field(h.identity) + u',' + field(h.label) + u',';
            // Every result of the host, so that an outage begun before the range is whole.
            const auto results = store.results(h.id, std::numeric_limits<qint64>::min() / 2, to);
            for (const History::Outage &o : History::findOutages(results, liveRun)) {
                const bool ongoing = o.state == History::Outage::State::Ongoing;
                if (o.startMs >= to || (!ongoing && o.endMs < from))
                    continue;
                const qint64 duration = o.durationMs + (ongoing ? qMax<qint64>(0, nowMs - o.lastMs) : 0);
                out << prefix << formatTime(o.startMs) << ',' << (ongoing ? QString() : formatTime(o.endMs)) << ','
                    << ms3(duration) << ',' << History::kindName(o.kind) << ',' << History::stateName(o.state) << '\n';
            }
        }
        break;
    }
    }
    out.flush();
    return 0;
}

} // namespace HistoryExport
