// Where a dragged window lands near the work area's edges and near other windows.
#include "snapping.h"

#include <QTest>

namespace {
// Work area of the tests: left 100, top 50, right 1100, bottom 750 (edges exclusive).
const QRect kWorkArea(100, 50, 1000, 700);
const QSize kWindow(200, 100);
constexpr std::int64_t kNow = 1000000;
constexpr std::int64_t kFresh = kNow - 100; // snapped 100 ms ago: within the hold
constexpr std::int64_t kOld = kNow - 1000; // rested for a second

Snapping::Timers timersWith(const QString &sides, std::int64_t set, std::int64_t rest)
{
    Snapping::Timers t { rest, rest, rest, rest };
    if (sides.contains(QLatin1Char('L')))
        t.left = set;
    if (sides.contains(QLatin1Char('R')))
        t.right = set;
    if (sides.contains(QLatin1Char('T')))
        t.top = set;
    if (sides.contains(QLatin1Char('B')))
        t.bottom = set;
    return t;
}
} // namespace

class TestSnapping : public QObject
{
    Q_OBJECT
private slots:
    // from → to: the window's top-left before and after the user's move; fresh: the sides
    // whose timer was set 100 ms ago (the others a second ago); expected: where it lands;
    // snapped: the sides whose timer the move sets.
    void snap_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QList<QRect>>("others");
        QTest::addColumn<QPoint>("expected");
        QTest::addColumn<QString>("snapped");
        const QList<QRect> none;

        // Leftwards.
        QTest::newRow("left edge 10 px inside: lands on the edge")
            << QPoint(130, 300) << QPoint(110, 300) << "" << none << QPoint(100, 300) << "L";
        QTest::newRow("left edge 1 px outside: lands on the edge")
            << QPoint(130, 300) << QPoint(99, 300) << "" << none << QPoint(100, 300) << "L";
        QTest::newRow("rested at the left edge, 5 px further: 15 beyond")
            << QPoint(100, 300) << QPoint(95, 300) << "" << none << QPoint(85, 300) << "L";
        QTest::newRow("just snapped left, 5 px further: held on the edge")
            << QPoint(100, 300) << QPoint(95, 300) << "L" << none << QPoint(100, 300) << "L";
        QTest::newRow("left edge 20 px inside: free")
            << QPoint(140, 300) << QPoint(120, 300) << "" << none << QPoint(120, 300) << "";
        QTest::newRow("left edge 16 px beyond: free")
            << QPoint(100, 300) << QPoint(84, 300) << "" << none << QPoint(84, 300) << "";
        QTest::newRow("right edge 5 px beyond, moving back left: lands on the right edge")
            << QPoint(910, 300) << QPoint(905, 300) << "" << none << QPoint(900, 300) << "R";
        QTest::newRow("rested at the right edge, leaving it leftwards: 15 inside")
            << QPoint(895, 300) << QPoint(890, 300) << "" << none << QPoint(885, 300) << "R";
        QTest::newRow("within the left hold, right edge 10 px inside: lands on it")
            << QPoint(895, 300) << QPoint(890, 300) << "L" << none << QPoint(900, 300) << "R";

        // Rightwards.
        QTest::newRow("right edge 10 px inside: lands on the edge")
            << QPoint(880, 300) << QPoint(890, 300) << "" << none << QPoint(900, 300) << "R";
        QTest::newRow("rested at the right edge, 5 px further: 15 beyond")
            << QPoint(900, 300) << QPoint(905, 300) << "" << none << QPoint(915, 300) << "R";
        QTest::newRow("just snapped right, 5 px further: held on the edge")
            << QPoint(900, 300) << QPoint(905, 300) << "R" << none << QPoint(900, 300) << "R";
        QTest::newRow("left edge 5 px beyond, moving back right: lands on the left edge")
            << QPoint(90, 300) << QPoint(95, 300) << "" << none << QPoint(100, 300) << "L";
        QTest::newRow("rested at the left edge, leaving it rightwards: 15 inside")
            << QPoint(100, 300) << QPoint(105, 300) << "" << none << QPoint(115, 300) << "L";

        // Upwards.
        QTest::newRow("top 10 px inside: lands on the edge")
            << QPoint(400, 70) << QPoint(400, 60) << "" << none << QPoint(400, 50) << "T";
        QTest::newRow("rested at the top, 5 px further: 15 beyond")
            << QPoint(400, 50) << QPoint(400, 45) << "" << none << QPoint(400, 35) << "T";
        QTest::newRow("just snapped to the top, 5 px further: held on the edge")
            << QPoint(400, 50) << QPoint(400, 45) << "T" << none << QPoint(400, 50) << "T";
        QTest::newRow("rested at the bottom, leaving it upwards: 15 inside")
            << QPoint(400, 645) << QPoint(400, 640) << "" << none << QPoint(400, 635) << "B";

        // Downwards.
        QTest::newRow("bottom 10 px inside: lands on the edge")
            << QPoint(400, 630) << QPoint(400, 640) << "" << none << QPoint(400, 650) << "B";
        QTest::newRow("just snapped to the bottom, moved down at once: 15 below")
            << QPoint(400, 650) << QPoint(400, 653) << "B" << none << QPoint(400, 665) << "B";
        QTest::newRow("rested at the bottom, 5 px further: 15 below")
            << QPoint(400, 650) << QPoint(400, 655) << "" << none << QPoint(400, 665) << "B";
        QTest::newRow("bottom 20 px beyond: free")
            << QPoint(400, 660) << QPoint(400, 670) << "" << none << QPoint(400, 670) << "";
        QTest::newRow("rested at the top, leaving it downwards: 15 inside")
            << QPoint(400, 50) << QPoint(400, 55) << "" << none << QPoint(400, 65) << "T";
        QTest::newRow("top 1 px beyond, moving back down: lands on the top")
            << QPoint(400, 45) << QPoint(400, 49) << "" << none << QPoint(400, 50) << "T";

        // Axes.
        QTest::newRow("moved only down: no rule of the left edge 5 px away")
            << QPoint(105, 300) << QPoint(105, 310) << "" << none << QPoint(105, 310) << "";
        QTest::newRow("moved only left: no rule of the top 5 px away")
            << QPoint(300, 55) << QPoint(290, 55) << "" << none << QPoint(290, 55) << "";
        QTest::newRow("not moved: nothing")
            << QPoint(105, 55) << QPoint(105, 55) << "" << none << QPoint(105, 55) << "";
        QTest::newRow("diagonal into the corner: both edges")
            << QPoint(130, 80) << QPoint(110, 60) << "" << none << QPoint(100, 50) << "LT";

        // Other windows; O spans x 600..800, y 300..400.
        const QList<QRect> o { QRect(600, 300, 200, 100) };
        QTest::newRow("right edge 10 px before the other's left, heights overlap: touch")
            << QPoint(380, 320) << QPoint(390, 320) << "" << o << QPoint(400, 320) << "R";
        QTest::newRow("same approach below the other: no overlap, no snap")
            << QPoint(380, 450) << QPoint(390, 450) << "" << o << QPoint(390, 450) << "";
        QTest::newRow("top level with the other's bottom: no overlap, no snap")
            << QPoint(380, 400) << QPoint(390, 400) << "" << o << QPoint(390, 400) << "";
        QTest::newRow("same top as the other: heights overlap, touch")
            << QPoint(380, 300) << QPoint(390, 300) << "" << o << QPoint(400, 300) << "R";
        QTest::newRow("left edge 10 px after the other's right: touch")
            << QPoint(820, 320) << QPoint(810, 320) << "" << o << QPoint(800, 320) << "R";
        QTest::newRow("rested touching, pushed 5 px into it: 15 over it")
            << QPoint(400, 320) << QPoint(405, 320) << "" << o << QPoint(415, 320) << "R";
        QTest::newRow("just touched, pushed 5 px into it: held touching")
            << QPoint(400, 320) << QPoint(405, 320) << "R" << o << QPoint(400, 320) << "R";
        QTest::newRow("rested touching, pulled 5 px away: 15 away")
            << QPoint(400, 320) << QPoint(395, 320) << "" << o << QPoint(385, 320) << "R";
        QTest::newRow("right edge 16 px before the other: free")
            << QPoint(370, 320) << QPoint(384, 320) << "" << o << QPoint(384, 320) << "";
        QTest::newRow("bottom 10 px above the other's top, widths overlap: touch")
            << QPoint(620, 180) << QPoint(620, 190) << "" << o << QPoint(620, 200) << "T";
        QTest::newRow("bottom 10 px above, no horizontal overlap: free")
            << QPoint(850, 180) << QPoint(850, 190) << "" << o << QPoint(850, 190) << "";
        QTest::newRow("top 8 px below the other's bottom, moving up: touch")
            << QPoint(620, 412) << QPoint(620, 408) << "" << o << QPoint(620, 400) << "T";
        QTest::newRow("the main window has no magnet: nothing else to snap to")
            << QPoint(380, 320) << QPoint(390, 320) << "" << none << QPoint(390, 320) << "";

        // Later windows override earlier ones and the screen's edges.
        QTest::newRow("two windows in reach: the later one wins")
            << QPoint(380, 320) << QPoint(392, 320) << ""
            << QList<QRect> { QRect(600, 300, 200, 100), QRect(605, 300, 200, 100) } << QPoint(405, 320) << "R";
        QTest::newRow("the same two in the other order")
            << QPoint(380, 320) << QPoint(392, 320) << ""
            << QList<QRect> { QRect(605, 300, 200, 100), QRect(600, 300, 200, 100) } << QPoint(400, 320) << "R";
        QTest::newRow("a window near the screen's edge wins over the edge")
            << QPoint(880, 320) << QPoint(892, 320) << "" << QList<QRect> { QRect(1095, 300, 200, 100) }
            << QPoint(895, 320) << "R";
    }
    void snap()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QString, fresh);
        QFETCH(QList<QRect>, others);
        QFETCH(QPoint, expected);
        QFETCH(QString, snapped);
        const Snapping::Result r = Snapping::snap(
            QRect(to, kWindow), QRect(from, kWindow), kWorkArea, others, timersWith(fresh, kFresh, kOld), kNow);
        QCOMPARE(r.rect, QRect(expected, kWindow));
        // The sides that snapped are set to now; the others keep their time.
        const Snapping::Timers before = timersWith(fresh, kFresh, kOld);
        const Snapping::Timers after = timersWith(snapped, kNow, 0);
        QCOMPARE(r.timers.left, after.left ? after.left : before.left);
        QCOMPARE(r.timers.right, after.right ? after.right : before.right);
        QCOMPARE(r.timers.top, after.top ? after.top : before.top);
        QCOMPARE(r.timers.bottom, after.bottom ? after.bottom : before.bottom);
    }

    // The hold is 250 ms, measured from the side's last snap; a window that never snapped
    // (timers at zero) counts as rested.
    void hold_endsAfter250ms_data()
    {
        QTest::addColumn<std::int64_t>("since");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("never snapped") << std::int64_t(-1) << QPoint(85, 300);
        QTest::newRow("250 ms ago: still held") << std::int64_t(250) << QPoint(100, 300);
        QTest::newRow("251 ms ago: rested") << std::int64_t(251) << QPoint(85, 300);
    }
    void hold_endsAfter250ms()
    {
        QFETCH(std::int64_t, since);
        QFETCH(QPoint, expected);
        Snapping::Timers t;
        if (since >= 0)
            t.left = kNow - since;
        const auto r
            = Snapping::snap(QRect(QPoint(95, 300), kWindow), QRect(QPoint(100, 300), kWindow), kWorkArea, {}, t, kNow);
        QCOMPARE(r.rect.topLeft(), expected);
    }

    void nullWorkArea_snapsOnlyToWindows()
    {
        const auto r
            = Snapping::snap(QRect(QPoint(110, 60), kWindow), QRect(QPoint(130, 80), kWindow), QRect(), {}, {}, kNow);
        QCOMPARE(r.rect.topLeft(), QPoint(110, 60));
        QCOMPARE(r.timers, Snapping::Timers {});
    }
};

QTEST_GUILESS_MAIN(TestSnapping)
#include "tst_snapping.moc"
