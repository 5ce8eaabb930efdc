#include "settingsrules.h"

#include <QTest>

#include <climits>

using namespace SettingsRules;
Q_DECLARE_METATYPE(std::optional<QPoint>)

Q_DECLARE_METATYPE(PresetText::Geometry)

class TestSettingsRules : public QObject
{
    Q_OBJECT
private slots:
    void dialogPosition_data()
    {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<std::optional<QPoint>>("expected");
        // Dialog 434 × 326 on a work area of 1920 × 1040.
        QTest::newRow("room to the right: tops aligned") << QRect(100, 50, 600, 280) << std::optional(QPoint(700, 50));
        QTest::newRow("near the right edge: below, left edges aligned")
            << QRect(1400, 50, 300, 280) << std::optional(QPoint(1400, 330));
        QTest::newRow("neither: centred") << QRect(1400, 600, 300, 280) << std::optional<QPoint>();
        QTest::newRow("ending exactly at the right edge does not go there")
            << QRect(886, 100, 600, 280) << std::optional(QPoint(886, 380));
        QTest::newRow("one short of the right edge goes there")
            << QRect(885, 100, 600, 280) << std::optional(QPoint(1485, 100));
        QTest::newRow("ending exactly at the bottom is centred")
            << QRect(1400, 434, 300, 280) << std::optional<QPoint>();
    }
    void dialogPosition()
    {
        QFETCH(QRect, main);
        QFETCH(std::optional<QPoint>, expected);
        QCOMPARE(SettingsRules::dialogPosition(main, QSize(434, 326), QSize(1920, 1040)), expected);
    }

    void almostFullScreen_leavesThirtyPixelsEachSide()
    {
        QCOMPARE(SettingsRules::almostFullScreen(QSize(1920, 1040)), (PresetText::Geometry { 30, 30, 980, 1860 }));
    }

    // Geometry from files, presets and the dialog's edits: never larger than the screens
    // show, and with its top edge on a work area; what already fits is left alone.
    void reachableGeometry_data()
    {
        using G = PresetText::Geometry;
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<G>("wanted");
        QTest::addColumn<G>("got");
        const QList<QRect> one { QRect(0, 0, 1366, 740) };
        const QList<QRect> two { QRect(0, 0, 1366, 740), QRect(1366, 0, 1920, 1050) };
        const int big = 2147483647, least = -2147483647 - 1;
        QTest::newRow("fits: unchanged") << one << G { 75, 75, 280, 600 } << G { 75, 75, 280, 600 };
        QTest::newRow("partly off the left: unchanged")
            << one << G { 100, -300, 280, 600 } << G { 100, -300, 280, 600 };
        QTest::newRow("huge size") << one << G { 75, 75, big, big } << G { 75, 75, 740, 1366 };
        QTest::newRow("30000 square") << one << G { 0, 0, 30000, 30000 } << G { 0, 0, 740, 1366 };
        QTest::newRow("huge position") << one << G { big, big, 280, 600 } << G { 710, 1266, 280, 600 };
        QTest::newRow("least position") << one << G { least, least, 280, 600 } << G { 0, -500, 280, 600 };
        QTest::newRow("above the screen") << one << G { -50, 10, 280, 600 } << G { 0, 10, 280, 600 };
        QTest::newRow("below the screen") << one << G { 900, 10, 280, 600 } << G { 710, 10, 280, 600 };
        QTest::newRow("below the smallest") << one << G { 10, 10, 0, -5 } << G { 10, 10, 100, 200 };
        QTest::newRow("two screens: as wide as both") << two << G { 0, 0, 500, 5000 } << G { 0, 0, 500, 3286 };
        QTest::newRow("on the second screen") << two << G { 900, 2000, 280, 600 } << G { 900, 2000, 280, 600 };
        QTest::newRow("below the first, nearer it than the second")
            << two << G { 900, 600, 280, 600 } << G { 710, 600, 280, 600 };
        QTest::newRow("below the first, nearer the second")
            << two << G { 900, 1000, 280, 300 } << G { 900, 1366 - 300 + 100, 280, 300 };
    }
    void reachableGeometry()
    {
        QFETCH(QList<QRect>, areas);
        QFETCH(PresetText::Geometry, wanted);
        QFETCH(PresetText::Geometry, got);
        const PresetText::Geometry g = SettingsRules::reachableGeometry(wanted, areas, QSize(200, 100));
        QCOMPARE(QStringLiteral("T:%1 L:%2 H:%3 W:%4").arg(g.top).arg(g.left).arg(g.height).arg(g.width),
            QStringLiteral("T:%1 L:%2 H:%3 W:%4").arg(got.top).arg(got.left).arg(got.height).arg(got.width));
    }

    // The inspector's size and place edits: kept to two screens side by side, 1366 x 768 and
    // 1024 x 768 (a desktop of 2390 x 768).
    void shownGeometryValue_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("topLevel");
        QTest::addColumn<bool>("maximum");
        QTest::addColumn<QVariant>("shown");
        const int noMax = (1 << 24) - 1;
        QTest::newRow("size within") << QVariant(QSize(300, 200)) << false << false << QVariant(QSize(300, 200));
        QTest::newRow("size of 30000") << QVariant(QSize(30000, 30000)) << false << false << QVariant(QSize(2390, 768));
        QTest::newRow("negative size: refused by the widget")
            << QVariant(QSize(-5, 10)) << false << false << QVariant(QSize(-5, 10));
        QTest::newRow("no maximum stays")
            << QVariant(QSize(noMax, noMax)) << false << true << QVariant(QSize(noMax, noMax));
        QTest::newRow("large maximum") << QVariant(QSize(30000, noMax)) << false << true
                                       << QVariant(QSize(2390, noMax));
        QTest::newRow("QWIDGETSIZE_MAX as a minimum")
            << QVariant(QSize(noMax, noMax)) << false << false << QVariant(QSize(2390, 768));
        QTest::newRow("child place far off")
            << QVariant(QPoint(INT_MIN, INT_MAX)) << false << false << QVariant(QPoint(-2390, 768));
        QTest::newRow("child place within")
            << QVariant(QPoint(-40, 300)) << false << false << QVariant(QPoint(-40, 300));
        QTest::newRow("window place far off")
            << QVariant(QPoint(INT_MAX, INT_MIN)) << true << false << QVariant(QPoint(2389, 0));
        QTest::newRow("window rectangle of 30000")
            << QVariant(QRect(10, 20, 30000, 30000)) << true << false << QVariant(QRect(10, 20, 2390, 768));
        QTest::newRow("child rectangle far off")
            << QVariant(QRect(-100000, 5, 30000, 5)) << false << false << QVariant(QRect(-2390, 5, 2390, 5));
        QTest::newRow("other types as they are") << QVariant(30000) << true << false << QVariant(30000);
    }
    void shownGeometryValue()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, topLevel);
        QFETCH(bool, maximum);
        QFETCH(QVariant, shown);
        const QList<QRect> screens { QRect(0, 0, 1366, 768), QRect(1366, 0, 1024, 768) };
        QCOMPARE(SettingsRules::shownGeometryValue(value, topLevel, maximum, screens), shown);
        QCOMPARE(SettingsRules::shownGeometryValue(value, topLevel, maximum, {}), value);
    }

    void selectionAfterDelete_data()
    {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("remaining");
        QTest::addColumn<int>("selected");
        QTest::newRow("last of three: the new last") << 2 << 2 << 1;
        QTest::newRow("first of three: the new first") << 0 << 2 << 0;
        QTest::newRow("middle of three: the one that moved up") << 1 << 2 << 1;
        QTest::newRow("the only one: nothing") << 0 << 0 << -1;
    }
    void selectionAfterDelete()
    {
        QFETCH(int, deleted);
        QFETCH(int, remaining);
        QFETCH(int, selected);
        QCOMPARE(SettingsRules::selectionAfterDelete(deleted, remaining), selected);
    }

    void usableExtent_neverBelowTheSmallest()
    {
        QCOMPARE(usableExtent(0, 120), 120);
        QCOMPARE(usableExtent(-40, 120), 120);
        QCOMPARE(usableExtent(119, 120), 120);
        QCOMPARE(usableExtent(500, 120), 500);
        QCOMPARE(usableExtent(0, 0), 1);
    }

    void styleNames_matchWithoutCase_sortWithoutCase()
    {
        const QStringList offered { QStringLiteral("Windows"), QStringLiteral("Fusion"),
            QStringLiteral("Fusion Dark") };
        QCOMPARE(findStyleName(offered, QStringLiteral("fusion DARK")), QStringLiteral("Fusion Dark"));
        QCOMPARE(findStyleName(offered, QStringLiteral("Windows")), QStringLiteral("Windows"));
        QCOMPARE(findStyleName(offered, QStringLiteral("Fusion ")), QString());
        QCOMPARE(findStyleName(offered, QStringLiteral("Motif")), QString());
        QCOMPARE(sortedStyleNames(
                     { QStringLiteral("b"), QStringLiteral("Windows"), QStringLiteral("a"), QStringLiteral("C") }),
            QStringList({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("C"), QStringLiteral("Windows") }));
    }

    void menuCaption_uniqueKeysAndLiteralAmpersands()
    {
        QString taken;
        QCOMPARE(menuCaption(QStringLiteral("Fusion"), taken), QStringLiteral("&Fusion"));
        QCOMPARE(menuCaption(QStringLiteral("Fusion Dark"), taken), QStringLiteral("F&usion Dark"));
        QCOMPARE(menuCaption(QStringLiteral("Windows"), taken), QStringLiteral("&Windows"));
        QCOMPARE(menuCaption(QStringLiteral("R&D: T:1"), taken), QStringLiteral("&R&&D: T:1"));
        QCOMPARE(menuCaption(QStringLiteral("!!"), taken), QStringLiteral("!!"));
    }

    void aboutFade_inByFive_outByTwenty_thenClose()
    {
        AboutFade f;
        QCOMPARE(f.alpha(), 0);
        int ticks = 0;
        while (f.tick() == AboutFade::Tick::Continue)
            ++ticks;
        QCOMPARE(ticks, 51);
        QCOMPARE(f.alpha(), 255);
        QVERIFY(!f.timerRunning());

        QVERIFY(!f.closeRequest()); // refused: the fade-out starts
        QCOMPARE(f.type(), AboutFade::Type::Out);
        QVERIFY(f.timerRunning());
        QList<int> values;
        AboutFade::Tick t;
        while ((t = f.tick()) == AboutFade::Tick::Continue)
            values.append(f.alpha());
        QList<int> expected;
        for (int v = 235; v >= 15; v -= 20)
            expected.append(v);
        expected.append(0);
        QCOMPARE(values, expected);
        QCOMPARE(t, AboutFade::Tick::Close);
        QVERIFY(f.closeRequest()); // the timer's own close is allowed
    }

    void aboutFade_closeDuringFadeIn_jumpsToOpaque_secondCloseAllowed()
    {
        AboutFade f;
        for (int i = 0; i < 3; ++i)
            f.tick();
        QCOMPARE(f.alpha(), 15);
        QVERIFY(!f.closeRequest());
        QCOMPARE(f.alpha(), 255);
        f.tick();
        QCOMPARE(f.alpha(), 235);
        QVERIFY(f.closeRequest());
    }
};

QTEST_GUILESS_MAIN(TestSettingsRules)
#include "tst_settingsrules.moc"
