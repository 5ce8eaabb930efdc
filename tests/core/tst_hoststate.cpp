#include "hoststate.h"

#include <QSet>
#include <QTest>

#include <array>
#include <cmath>

using HostState::State;
Q_DECLARE_METATYPE(State)

namespace {

// Results written as in the host watch's test: "12" a reply, "t" a timeout, "f" a foreign answer.
QList<EchoOutcome> outcomes(const QString &script)
{
    QList<EchoOutcome> list;
    for (const QString &token : script.split(u' ', Qt::SkipEmptyParts)) {
        EchoOutcome o;
        o.host = QStringLiteral("h");
        o.kind = token == u"t" ? EchoOutcome::Timeout : token == u"f" ? EchoOutcome::Foreign : EchoOutcome::Reply;
        o.rtt = o.kind == EchoOutcome::Reply ? token.toInt() : 0;
        list.append(o);
    }
    return list;
}

QList<EchoOutcome> outcomes(const char *script)
{
    return outcomes(QString::fromLatin1(script));
}

// Colour science for the palette check: sRGB to linear light, the Machado, Oliveira and
// Fernandes (2009) matrices at full severity, CIE L*a*b* (D65) and the CIE76 distance.
using Vec = std::array<double, 3>;
using Mat = std::array<Vec, 3>;
constexpr Mat kNormal { { { 1, 0, 0 }, { 0, 1, 0 }, { 0, 0, 1 } } };
constexpr Mat kProtanopia { { { 0.152286, 1.052583, -0.204868 }, { 0.114503, 0.786281, 0.099216 },
    { -0.003882, -0.048116, 1.051998 } } };
constexpr Mat kDeuteranopia { { { 0.367322, 0.860646, -0.227968 }, { 0.280085, 0.672501, 0.047413 },
    { -0.011820, 0.042940, 0.968881 } } };

Vec seenAsLab(std::uint32_t rgb, const Mat &m)
{
    Vec lin;
    for (int i = 0; i < 3; ++i) {
        const double c = ((rgb >> (16 - 8 * i)) & 0xFF) / 255.0;
        lin[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    Vec s;
    for (int i = 0; i < 3; ++i)
        s[i] = std::clamp(m[i][0] * lin[0] + m[i][1] * lin[1] + m[i][2] * lin[2], 0.0, 1.0);
    const double x = 0.4124 * s[0] + 0.3576 * s[1] + 0.1805 * s[2];
    const double y = 0.2126 * s[0] + 0.7152 * s[1] + 0.0722 * s[2];
    const double z = 0.0193 * s[0] + 0.1192 * s[1] + 0.9505 * s[2];
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
    const double fx = f(x / 0.95047), fy = f(y), fz = f(z / 1.08883);
    return { 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz) };
}

double distance(const Vec &a, const Vec &b)
{
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

// WCAG 2 relative luminance and contrast ratio.
double luminance(std::uint32_t rgb)
{
    double l[3];
    for (int i = 0; i < 3; ++i) {
        const double c = ((rgb >> (16 - 8 * i)) & 0xFF) / 255.0;
        l[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return 0.2126 * l[0] + 0.7152 * l[1] + 0.0722 * l[2];
}

double contrast(std::uint32_t a, std::uint32_t b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QString hex(std::uint32_t rgb)
{
    return QStringLiteral("%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

const std::pair<const char *, Mat> kVisions[]
    = { { "normal", kNormal }, { "protanopia", kProtanopia }, { "deuteranopia", kDeuteranopia } };

} // namespace

class TestHostState : public QObject
{
    Q_OBJECT
private slots:
    void state_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("lookupFailed");
        QTest::addColumn<QString>("sinceStart"); // every result of the run
        QTest::addColumn<int>("capacity");
        QTest::addColumn<State>("expected");
        QTest::newRow("running, nothing yet") << true << false << "" << 10 << State::Waiting;
        QTest::newRow("stopped") << false << false << "5 6" << 10 << State::Stopped;
        QTest::newRow("stopped before any result") << false << false << "" << 10 << State::Stopped;
        QTest::newRow("lookup failed") << false << true << "" << 10 << State::LookupFailed;
        QTest::newRow("replies only") << true << false << "5 6 7" << 10 << State::Up;
        QTest::newRow("reply, but a timeout in the window") << true << false << "5 t 7" << 10 << State::Degraded;
        QTest::newRow("reply, but a foreign answer in the window") << true << false << "5 f 7" << 10 << State::Degraded;
        QTest::newRow("newest a timeout, not yet down") << true << false << "5 6 t" << 10 << State::Degraded;
        QTest::newRow("the timeout left the window") << true << false << "t 5 6 7" << 3 << State::Up;
        QTest::newRow("three timeouts in a row") << true << false << "5 t t t" << 10 << State::Down;
        QTest::newRow("foreign answers count as timeouts") << true << false << "5 f f f" << 10 << State::Down;
        QTest::newRow("one timeout and never a reply") << true << false << "t" << 10 << State::Down;
        QTest::newRow("only foreign answers") << true << false << "f f" << 10 << State::Down;
        QTest::newRow("back at the first reply") << true << false << "t t t 5" << 10 << State::Degraded;
        QTest::newRow("back and clean again") << true << false << "t t t 5 6" << 2 << State::Up;
    }
    void state()
    {
        QFETCH(bool, running);
        QFETCH(bool, lookupFailed);
        QFETCH(QString, sinceStart);
        QFETCH(int, capacity);
        QFETCH(State, expected);
        OutcomeHistory h;
        h.setCapacity(capacity);
        for (const EchoOutcome &o : outcomes(sinceStart))
            h.add(o);
        QCOMPARE(HostState::of(HostState::inputs(running, lookupFailed, h)), expected);
    }

    // A restart forgets "never answered" but not the window, and not the down/up rule's count.
    void restartKeepsTheWindow()
    {
        OutcomeHistory h;
        h.setCapacity(5);
        for (const EchoOutcome &o : outcomes("t"))
            h.add(o);
        QCOMPARE(HostState::of(HostState::inputs(true, false, h)), State::Down);
        h.restart();
        QCOMPARE(HostState::of(HostState::inputs(true, false, h)), State::Waiting);
        h.add(outcomes("4").first());
        QCOMPARE(HostState::of(HostState::inputs(true, false, h)), State::Degraded);
        QCOMPARE(h.window().size(), 2);
        h.clearWindow();
        h.add(outcomes("4").first());
        QCOMPARE(HostState::of(HostState::inputs(true, false, h)), State::Up);
    }

    // The thresholds, first match winning: down, then losing echoes, then slow, then degraded.
    void thresholds_data()
    {
        QTest::addColumn<QString>("sinceStart");
        QTest::addColumn<int>("slowMs");
        QTest::addColumn<double>("lossPercent");
        QTest::addColumn<State>("expected");
        const QString alternating = QStringLiteral("5 t ").repeated(15);
        QTest::newRow("slow: three replies above the limit") << "300 300 300" << 250 << 10.0 << State::Slow;
        QTest::newRow("two replies are too few for slow") << "300 300" << 250 << 10.0 << State::Up;
        QTest::newRow("at the limit is not above it") << "250 250 250" << 250 << 10.0 << State::Up;
        QTest::newRow("the median, not the mean: one spike") << "10 10 900" << 250 << 10.0 << State::Up;
        QTest::newRow("an even count: the mean of the middle two") << "100 200 300 400" << 249 << 10.0 << State::Slow;
        QTest::newRow("an even count at the limit") << "100 200 300 400" << 250 << 10.0 << State::Up;
        QTest::newRow("only the newest ten replies count")
            << "900 900 900 900 900 900 900 900 900 900 10 10 10 10 10 10" << 250 << 10.0 << State::Up;
        QTest::newRow("slow with a per-host limit") << "60 70 80" << 50 << 10.0 << State::Slow;
        QTest::newRow("every second echo lost: lossy") << alternating << 250 << 10.0 << State::Lossy;
        QTest::newRow("nine results are too few for lossy") << "5 t 5 t 5 t 5 t 5" << 250 << 10.0 << State::Degraded;
        QTest::newRow("one in ten at a 10 % limit: degraded")
            << "5 5 5 5 5 t 5 5 5 5" << 250 << 10.0 << State::Degraded;
        QTest::newRow("one in ten above a 5 % limit: lossy") << "5 5 5 5 5 t 5 5 5 5" << 250 << 5.0 << State::Lossy;
        QTest::newRow("foreign answers count as lost") << "5 f 5 f 5 f 5 f 5 f 5" << 250 << 10.0 << State::Lossy;
        QTest::newRow("lossy before slow") << "300 t 300 t 300 t 300 t 300 t 300" << 250 << 10.0 << State::Lossy;
        QTest::newRow("slow before degraded")
            << "300 t 300 300 300 300 300 300 300 300 300 300" << 250 << 10.0 << State::Slow;
        QTest::newRow("down before lossy and slow")
            << "300 300 300 300 300 300 300 t t t" << 250 << 10.0 << State::Down;
    }
    void thresholds()
    {
        QFETCH(QString, sinceStart);
        QFETCH(int, slowMs);
        QFETCH(double, lossPercent);
        OutcomeHistory h;
        for (const EchoOutcome &o : outcomes(sinceStart))
            h.add(o);
        QTEST(HostState::of(HostState::inputs(true, false, h, { slowMs, lossPercent })), "expected");
    }

    // Damping over a run of states: "u" up, "g" degraded, "s" slow, "l" losing echoes, "d" down
    // by the number of results only, "D" down by the down rule, "w" waiting. The announcements
    // as "index:state".
    void damping_data()
    {
        QTest::addColumn<QString>("states");
        QTest::addColumn<int>("results");
        QTest::addColumn<QString>("expected");
        QTest::newRow("flapping every result announces nothing") << "u g u g u g u g u g" << 3 << "";
        QTest::newRow("slow for three results announces once") << "u s s s s s s" << 3 << "3:s";
        QTest::newRow("a change that gives way early announces nothing") << "s s u u s s g" << 3 << "";
        QTest::newRow("down by the rule at once") << "g g D D D" << 3 << "2:D";
        QTest::newRow("down by count only waits like the rest") << "d d d" << 3 << "2:d";
        QTest::newRow("back once the new state held") << "D u u u u" << 3 << "0:D 3:u";
        QTest::newRow("damping of one announces each change") << "u g u s" << 1 << "1:g 2:u 3:s";
        QTest::newRow("five results wanted") << "l l l l l l" << 5 << "4:l";
        QTest::newRow("waiting changes nothing") << "s w s s" << 3 << "3:s";
        QTest::newRow("lossy, then slow, then back") << "l l l s s s u u u" << 3 << "2:l 5:s 8:u";
    }
    void damping()
    {
        QFETCH(QString, states);
        QFETCH(int, results);
        HostState::Damper damper(results);
        const QDateTime start(QDate(2026, 1, 1), QTime(12, 0));
        QStringList said;
        const QStringList tokens = states.split(u' ', Qt::SkipEmptyParts);
        for (int i = 0; i < tokens.size(); ++i) {
            const QChar c = tokens[i].at(0);
            const State s = c == u'u' ? State::Up
                : c == u'g'           ? State::Degraded
                : c == u's'           ? State::Slow
                : c == u'l'           ? State::Lossy
                : c == u'w'           ? State::Waiting
                                      : State::Down;
            if (const auto a = damper.feed(s, start.addSecs(i), c == u'D')) {
                QCOMPARE(a->at, start.addSecs(i));
                said.append(QStringLiteral("%1:%2").arg(i).arg(c == u'D' ? QChar(u'D') : tokens[i].at(0)));
            }
        }
        QTEST(said.join(u' '), "expected");
    }

    // The whole way from results to announcements: the state of each result, damped.
    void announcements_data()
    {
        QTest::addColumn<QString>("results");
        QTest::addColumn<int>("slowMs");
        QTest::addColumn<QString>("expected"); // "index:code since-index"
        QTest::newRow("every second echo lost: degraded, then lossy once")
            << QStringLiteral("5 t ").repeated(40) << 250 << "3:degraded@1 11:lossy@9";
        QTest::newRow("slow for good: once") << "100 100 100 100 100 100 100 100" << 50 << "4:slow@2";
        QTest::newRow("down at the third timeout, since the first") << "5 5 t t t t t" << 250 << "4:down@2";
        QTest::newRow("an isolated slow reply: nothing") << "5 5 400 5 5 400 5 5" << 250 << "";
    }
    void announcements()
    {
        QFETCH(QString, results);
        QFETCH(int, slowMs);
        OutcomeHistory h;
        HostState::Damper damper;
        const QDateTime start(QDate(2026, 1, 1), QTime(12, 0));
        QList<EchoOutcome> list = outcomes(results);
        QStringList said;
        QDateTime missesSince;
        for (int i = 0; i < list.size(); ++i) {
            list[i].when = start.addSecs(i);
            h.add(list[i]);
            if (list[i].kind == EchoOutcome::Reply)
                missesSince = QDateTime();
            else if (!missesSince.isValid())
                missesSince = list[i].when;
            const State s = HostState::of(HostState::inputs(true, false, h, { slowMs, 10 }));
            if (auto a = damper.feed(s, list[i].when, h.isDown(), missesSince)) {
                said.append(QStringLiteral("%1:%2@%3").arg(i).arg(HostState::code(a->to)).arg(start.secsTo(a->since)));
            }
        }
        QTEST(said.join(u' '), "expected");
    }

    // Back from trouble carries when the trouble began; a change between troubles keeps it.
    void damping_troubleSince()
    {
        HostState::Damper damper(1);
        const QDateTime t0(QDate(2026, 1, 1), QTime(14, 2));
        const auto slow = damper.feed(State::Slow, t0, false);
        QVERIFY(slow && !slow->troubleSince.isValid());
        const auto down = damper.feed(State::Down, t0.addSecs(30), true);
        QVERIFY(down && !down->troubleSince.isValid());
        // Out of down into losing echoes is back, after the whole trouble; the new one counts
        // afresh.
        const auto lossy = damper.feed(State::Lossy, t0.addSecs(60), false);
        QVERIFY(lossy);
        QCOMPARE(lossy->troubleSince, t0);
        const auto back = damper.feed(State::Up, t0.addSecs(312), false);
        QVERIFY(back);
        QCOMPARE(back->from, State::Lossy);
        QCOMPARE(back->troubleSince, t0.addSecs(60));
        const auto degraded = damper.feed(State::Degraded, t0.addSecs(400), false);
        QVERIFY(degraded && !degraded->troubleSince.isValid());
    }

    void codesAndWords()
    {
        QStringList codes, words;
        for (int s = 0; s < HostState::kStateCount; ++s) {
            codes.append(HostState::code(State(s)));
            words.append(HostState::words(State(s)));
        }
        QCOMPARE(codes.join(u','), QStringLiteral("waiting,up,degraded,down,lookup_failed,stopped,slow,lossy"));
        QCOMPARE(QSet<QString>(words.begin(), words.end()).size(), HostState::kStateCount);
        // Slow and losing echoes differ from degraded (plain) by their pattern too.
        QCOMPARE(HostState::pattern(State::Degraded), HostState::Pattern::Plain);
        QVERIFY(HostState::pattern(State::Slow) != HostState::Pattern::Plain);
        QVERIFY(HostState::pattern(State::Lossy) != HostState::Pattern::Plain);
        QVERIFY(HostState::pattern(State::Slow) != HostState::pattern(State::Lossy));
    }

    void palette_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<std::uint32_t>("window");
        QTest::newRow("light") << false << std::uint32_t(0xEFEFEF);
        QTest::newRow("dark") << true << std::uint32_t(0x353535);
    }
    // Every pair of the eight colours, and each against the window colour, at least 20 CIE76
    // units apart as seen with normal vision, protanopia and deuteranopia.
    void palette()
    {
        QFETCH(bool, dark);
        QFETCH(std::uint32_t, window);
        QList<std::uint32_t> colours;
        for (int s = 0; s < HostState::kStateCount; ++s)
            colours.append(HostState::colour(State(s), dark));
        colours.append(window);
        for (const auto &[name, m] : kVisions)
            for (int i = 0; i < colours.size(); ++i)
                for (int j = i + 1; j < colours.size(); ++j) {
                    const double d = distance(seenAsLab(colours[i], m), seenAsLab(colours[j], m));
                    if (d < 20)
                        QFAIL(qPrintable(QStringLiteral("%1: %2 and %3 only %4 apart")
                                             .arg(QString::fromLatin1(name))
                                             .arg(colours[i], 6, 16, QLatin1Char('0'))
                                             .arg(colours[j], 6, 16, QLatin1Char('0'))
                                             .arg(d, 0, 'f', 1)));
                }
    }

    // The result strip's cells: replies from the fastest to the slowest shade, answers from
    // another address and timeouts stay 20 CIE76 units apart in all three visions, and a
    // timeout differs from every reply by 20 units of lightness, not by hue alone. The stripe
    // and the strip are outlined at 3 : 1 or more against the window.
    void stripPalette()
    {
        QFETCH(bool, dark);
        QFETCH(std::uint32_t, window);
        const std::uint32_t foreign = CompactRow::cellColour(EchoOutcome::Foreign, 0, 0, dark);
        const std::uint32_t timeout = CompactRow::cellColour(EchoOutcome::Timeout, 0, 0, dark);
        QVERIFY(contrast(HostState::outline(dark), window) >= 3);
        for (const auto &[name, m] : kVisions) {
            const QString vision = QString::fromLatin1(name);
            QVERIFY2(distance(seenAsLab(foreign, m), seenAsLab(timeout, m)) >= 20, qPrintable(vision));
            for (int rtt = 0; rtt <= 100; rtt += 10) {
                const std::uint32_t reply = CompactRow::cellColour(EchoOutcome::Reply, rtt, 100, dark);
                const QString what = QStringLiteral("%1: reply %2 (%3 ms)").arg(vision, hex(reply)).arg(rtt);
                QVERIFY2(distance(seenAsLab(reply, m), seenAsLab(foreign, m)) >= 20, qPrintable(what));
                QVERIFY2(distance(seenAsLab(reply, m), seenAsLab(timeout, m)) >= 20, qPrintable(what));
                QVERIFY2(std::abs(seenAsLab(reply, m)[0] - seenAsLab(timeout, m)[0]) >= 20, qPrintable(what));
            }
        }
        const std::uint32_t fast = CompactRow::cellColour(EchoOutcome::Reply, 0, 100, dark);
        const std::uint32_t slow = CompactRow::cellColour(EchoOutcome::Reply, 100, 100, dark);
        for (const auto &[name, m] : kVisions)
            QVERIFY2(distance(seenAsLab(fast, m), seenAsLab(slow, m)) >= 20, name);
        QCOMPARE(CompactRow::cellColour(EchoOutcome::Reply, 500, 100, dark), slow);
        QCOMPARE(CompactRow::cellColour(EchoOutcome::Reply, 5, 0, dark), fast);
    }
    void stripPalette_data() { palette_data(); }

    // The simulation itself: an orange and a green far apart in normal vision fall together.
    void simulationConfusesRedAndGreen()
    {
        const std::uint32_t orange = 0xC88028, green = 0x60A028; // a classic confusion pair
        QVERIFY(distance(seenAsLab(orange, kNormal), seenAsLab(green, kNormal)) > 50);
        QVERIFY(distance(seenAsLab(orange, kDeuteranopia), seenAsLab(green, kDeuteranopia)) < 20);
        QVERIFY(distance(seenAsLab(orange, kProtanopia), seenAsLab(green, kProtanopia)) < 20);
    }

    void threshold_data()
    {
        QTest::addColumn<int>("lineHeight");
        QTest::addColumn<int>("expected");
        QTest::newRow("default font") << 16 << 40;
        QTest::newRow("small font") << 13 << 32;
        QTest::newRow("large font") << 24 << 60;
        QTest::newRow("tiny font keeps room for a bar") << 6 << 24;
    }
    void threshold()
    {
        QFETCH(int, lineHeight);
        QFETCH(int, expected);
        QCOMPARE(CompactRow::threshold(lineHeight), expected);
    }

    void cells_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("results");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("cellWidth");
        QTest::addColumn<int>("shown");
        QTest::newRow("all fit, wide cells") << 30 << 30 << 200 << 6 << 30;
        QTest::newRow("few results yet") << 30 << 4 << 200 << 6 << 4;
        QTest::newRow("narrower than the cells: the newest that fit") << 180 << 180 << 120 << 1 << 120;
        QTest::newRow("none yet") << 180 << 0 << 120 << 1 << 0;
        QTest::newRow("no room") << 10 << 10 << 0 << 1 << 0;
    }
    void cells()
    {
        QFETCH(int, capacity);
        QFETCH(int, results);
        QFETCH(int, width);
        QFETCH(int, cellWidth);
        QFETCH(int, shown);
        QCOMPARE(CompactRow::cellWidth(capacity, width), cellWidth);
        QCOMPARE(CompactRow::cellsShown(results, width / cellWidth), shown);
    }

    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("label");
        QTest::newRow("address and label") << "10.0.0.1 core router"
                                           << "10.0.0.1"
                                           << "core router";
        QTest::newRow("name and label, several blanks") << "gw.example.net  office gateway"
                                                        << "gw.example.net"
                                                        << "office gateway";
        QTest::newRow("tab") << "gw\toffice"
                             << "gw"
                             << "office";
        QTest::newRow("blanks around") << "  gw  office  "
                                       << "gw"
                                       << "office";
        QTest::newRow("only blanks: kept as typed") << "   "
                                                    << "   "
                                                    << "";
        QTest::newRow("IPv4 literal without label") << "192.168.1.1"
                                                    << "192.168.1.1"
                                                    << "";
        QTest::newRow("name without label") << "LocalHost"
                                            << "LocalHost"
                                            << "";
        QTest::newRow("trailing blank only: kept as typed") << "host "
                                                            << "host "
                                                            << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(QString, label);
        const HostText::Parts p = HostText::split(text);
        QCOMPARE(p.address, address);
        QCOMPARE(p.label, label);
        QCOMPARE(HostText::display(text), label.isEmpty() ? text : address + QStringLiteral(" (") + label + u')');
    }
};

QTEST_GUILESS_MAIN(TestHostState)
#include "tst_hoststate.moc"
