#include "outages.h"

#include <QDateTime>
#include <QTest>

using History::Kind;
using History::Outage;
using Outages = QList<Outage>;
Q_DECLARE_METATYPE(Outages)

namespace {

// Local 2026-12-01 23:59:50: results a second apart run over midnight after ten of them.
const qint64 kT0 = QDateTime(QDate(2026, 12, 1), QTime(23, 59, 50)).toMSecsSinceEpoch();

// "r t t t r": one result a second (r reply, t time-out, f foreign, u unreachable, l lookup
// failed); "t@90" puts that result 90 s after the start; "|" is a restart (a new run).
QList<History::Recorded> script(const QString &text)
{
    QList<History::Recorded> out;
    qint64 run = 1, at = -1000;
    for (const QString &token : text.split(u' ', Qt::SkipEmptyParts)) {
        if (token == u'|') {
            ++run;
            continue;
        }
        at = token.contains(u'@') ? qint64(token.section(u'@', 1).toDouble() * 1000) : at + 1000;
        History::Result r { kT0 + at, Kind::Reply, 0, 5000 };
        switch (token.at(0).toLatin1()) {
        case 't':
            r = { kT0 + at, Kind::Timeout, History::kStatusTimedOut, 0 };
            break;
        case 'f':
            r = { kT0 + at, Kind::Foreign, 0, 3000 };
            break;
        case 'u':
            r = { kT0 + at, Kind::Unreachable, 11003, 0 };
            break;
        case 'l':
            r = { kT0 + at, Kind::LookupFailed, 11001, 0 };
            break;
        }
        out.append({ r, run });
    }
    return out;
}

// Times in seconds from the start; end kNoEnd while ongoing.
constexpr double kNoEnd = 1e9;
Outage outage(double start, double end, double last, double duration, Kind kind, Outage::State state)
{
    return { kT0 + qint64(start * 1000), end == kNoEnd ? -1 : kT0 + qint64(end * 1000), kT0 + qint64(last * 1000),
        qint64(duration * 1000), kind, state };
}

constexpr auto Ended = Outage::State::Ended;
constexpr auto Ongoing = Outage::State::Ongoing;
constexpr auto Cut = Outage::State::Cut;

} // namespace

class TestOutages : public QObject
{
    Q_OBJECT
private slots:
    void rule_data()
    {
        QTest::addColumn<QString>("results");
        QTest::addColumn<int>("liveRun");
        QTest::addColumn<Outages>("expected");
        QTest::newRow("two misses are none") << "r t t r t r t t" << 1 << Outages {};
        QTest::newRow("three misses") << "r t t t r" << 1 << Outages { outage(1, 4, 3, 3, Kind::Timeout, Ended) };
        QTest::newRow("from the first result")
            << "t t t t r r" << 1 << Outages { outage(0, 4, 3, 4, Kind::Timeout, Ended) };
        QTest::newRow("kind of the first")
            << "r u t f r f t t r" << 1
            << Outages { outage(1, 4, 3, 3, Kind::Unreachable, Ended), outage(5, 8, 7, 3, Kind::Foreign, Ended) };
        QTest::newRow("ongoing") << "r t t t t" << 1 << Outages { outage(1, kNoEnd, 4, 3, Kind::Timeout, Ongoing) };
        QTest::newRow("cut by the end of the program")
            << "r t t t t" << 0 << Outages { outage(1, 4, 4, 3, Kind::Timeout, Cut) };
        QTest::newRow("across midnight") << "r t@1 t@5 t@9 t@13 r@17" << 1
                                         << Outages { outage(1, 17, 13, 16, Kind::Timeout, Ended) };
        QTest::newRow("restart in the middle")
            << "r t t t | t t t r" << 2
            << Outages { outage(1, 3, 3, 2, Kind::Timeout, Cut), outage(4, 7, 6, 3, Kind::Timeout, Ended) };
        QTest::newRow("restart counts misses afresh") << "r t t | t r" << 2 << Outages {};
        QTest::newRow("restart of the live run ends the older one")
            << "t t t | t t t t" << 2
            << Outages { outage(0, 2, 2, 2, Kind::Timeout, Cut), outage(3, kNoEnd, 6, 3, Kind::Timeout, Ongoing) };
        QTest::newRow("clock step back adds nothing")
            << "r t t@-3600 t@-3599 r@-3598" << 1 << Outages { outage(1, -3598, -3599, 2, Kind::Timeout, Ended) };
        QTest::newRow("clock step back before the third")
            << "r t t t@-7200 r@-7199" << 1 << Outages { outage(1, -7199, -7200, 2, Kind::Timeout, Ended) };
        QTest::newRow("lookup failure at once")
            << "r l" << 1 << Outages { outage(1, kNoEnd, 1, 0, Kind::LookupFailed, Ongoing) };
        QTest::newRow("lookup failure until a reply")
            << "r t l@60 r@61" << 1 << Outages { outage(60, 61, 60, 1, Kind::LookupFailed, Ended) };
        QTest::newRow("lookup failure cut by a restart")
            << "r l | r" << 2 << Outages { outage(1, 1, 1, 0, Kind::LookupFailed, Cut) };
        QTest::newRow("lookup failure inside an outage keeps its kind")
            << "r u u u l r@30" << 1 << Outages { outage(1, 30, 4, 29, Kind::Unreachable, Ended) };
        QTest::newRow("nothing") << "" << 0 << Outages {};
    }
    void rule()
    {
        QFETCH(QString, results);
        QFETCH(int, liveRun);
        QFETCH(Outages, expected);
        const Outages got = History::findOutages(script(results), liveRun);
        if (got != expected) {
            for (const Outage &o : got)
                qWarning("got %lld..%lld last %lld %lld ms %s %s", (o.startMs - kT0) / 1000,
                    o.endMs < 0 ? -1 : (o.endMs - kT0) / 1000, (o.lastMs - kT0) / 1000, o.durationMs,
                    qPrintable(History::kindName(o.kind)), qPrintable(History::stateName(o.state)));
        }
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestOutages)
#include "tst_outages.moc"
