// Where the info memo and the object inspector window open beside the main window.
#include "diagplacement.h"

#include <QTest>

class TestDiagPlacement : public QObject
{
    Q_OBJECT
private slots:
    void place_data()
    {
        QTest::addColumn<QRect>("mainWindow");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QRect>("workArea");
        QTest::addColumn<QPoint>("expected");

        const QRect screen(0, 0, 1024, 768);
        const QSize w(400, 300);
        QTest::newRow("room on the right") << QRect(100, 100, 300, 200) << w << screen << QPoint(400, 100);
        QTest::newRow("right edge reached exactly: below") << QRect(0, 50, 624, 200) << w << screen << QPoint(0, 250);
        QTest::newRow("near the right edge, room below")
            << QRect(600, 100, 400, 200) << w << screen << QPoint(600, 300);
        QTest::newRow("below would touch the bottom: centred")
            << QRect(700, 100, 300, 368) << w << screen << QPoint(312, 234);
        QTest::newRow("below one pixel short of the bottom")
            << QRect(700, 100, 300, 367) << w << screen << QPoint(700, 467);
        QTest::newRow("no room right nor below: centred")
            << QRect(600, 400, 400, 300) << w << screen << QPoint(312, 234);
        // A second monitor to the right, with a panel along its top.
        const QRect second(1024, 27, 1280, 997);
        QTest::newRow("second monitor, room on the right")
            << QRect(1100, 50, 300, 200) << w << second << QPoint(1400, 50);
        QTest::newRow("second monitor, below") << QRect(1900, 50, 300, 200) << w << second << QPoint(1900, 250);
        QTest::newRow("second monitor, centred in its work area")
            << QRect(1900, 500, 300, 300) << w << second << QPoint(1024 + 440, 27 + 348);
        QTest::newRow("panel on top: touching the bottom edge centres")
            << QRect(700, 27, 300, 441) << w << QRect(0, 27, 1024, 741) << QPoint(312, 27 + 220);
    }
    void place()
    {
        QFETCH(QRect, mainWindow);
        QFETCH(QSize, window);
        QFETCH(QRect, workArea);
        QFETCH(QPoint, expected);
        QCOMPARE(DiagWindowPlace(mainWindow, window, workArea), expected);
    }
};

QTEST_GUILESS_MAIN(TestDiagPlacement)
#include "tst_diagplacement.moc"
