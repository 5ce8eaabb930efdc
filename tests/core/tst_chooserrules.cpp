// The file chooser's rules: the filter, the columns and what a pick says.
#include "chooserrules.h"

#include <QTest>

class TestChooserRules : public QObject
{
    Q_OBJECT
private slots:
    void filter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("empty: all") << QString()
                                    << QStringList { QStringLiteral("Office LAN.txt"), QStringLiteral("office-wan.TXT"),
                                           QStringLiteral("servers.txt"), QStringLiteral("Straße.txt"),
                                           QStringLiteral("STRASSE.txt") };
        QTest::newRow("small letters find capitals") << QStringLiteral(
            "office") << QStringList { QStringLiteral("Office LAN.txt"), QStringLiteral("office-wan.TXT") };
        QTest::newRow("capitals find small letters")
            << QStringLiteral("SERVERS") << QStringList { QStringLiteral("servers.txt") };
        QTest::newRow("blanks only: all")
            << QStringLiteral("   ")
            << QStringList { QStringLiteral("Office LAN.txt"), QStringLiteral("office-wan.TXT"),
                   QStringLiteral("servers.txt"), QStringLiteral("Straße.txt"), QStringLiteral("STRASSE.txt") };
        QTest::newRow("leading blank kept")
            << QStringLiteral(" lan") << QStringList { QStringLiteral("Office LAN.txt") };
        QTest::newRow("trailing blank kept")
            << QStringLiteral("office ") << QStringList { QStringLiteral("Office LAN.txt") };
        QTest::newRow("only ASCII letters fold")
            << QStringLiteral("straße") << QStringList { QStringLiteral("Straße.txt") };
        QTest::newRow("no ß to SS") << QStringLiteral("strasse") << QStringList { QStringLiteral("STRASSE.txt") };
        QTest::newRow("nothing matches") << QStringLiteral("zzz") << QStringList();
    }
    void filter()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, shown);
        const QStringList names { QStringLiteral("Office LAN.txt"), QStringLiteral("office-wan.TXT"),
            QStringLiteral("servers.txt"), QStringLiteral("Straße.txt"), QStringLiteral("STRASSE.txt") };
        QCOMPARE(ChooserRules::applyFilter(names, filter), shown);
    }

    void columns_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("columnWidth");
        QTest::newRow("30 entries, 150 pixels") << 30 << 150 << 400 << 10 << 4 << 100;
        QTest::newRow("9 entries fit one column and a spare") << 9 << 150 << 301 << 10 << 1 << 301;
        QTest::newRow("width rounded") << 10 << 140 << 301 << 10 << 2 << 151;
        QTest::newRow("empty list") << 0 << 150 << 300 << 10 << 1 << 300;
        QTest::newRow("lower than one item: one column") << 5 << 10 << 300 << 0 << 1 << 300;
        QTest::newRow("narrow: at least one pixel") << 100 << 14 << 3 << 1 << 101 << 1;
    }
    void columns()
    {
        QFETCH(int, entries);
        QFETCH(int, height);
        QFETCH(int, width);
        const ChooserRules::Columns c = ChooserRules::columns(entries, height, 14, width);
        QTEST(c.rowsPerColumn, "rows");
        QTEST(c.columnCount, "columns");
        QTEST(c.columnWidth, "columnWidth");
    }

    void parsePick_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("path");
        QTest::newRow("load") << QStringLiteral("[L] /d/LST/a b.txt") << int(ChooserRules::Pick::Load)
                              << QStringLiteral("/d/LST/a b.txt");
        QTest::newRow("edit") << QStringLiteral("[E] /d/LST/x.txt") << int(ChooserRules::Pick::Edit)
                              << QStringLiteral("/d/LST/x.txt");
        QTest::newRow("nothing picked yet") << QString() << int(ChooserRules::Pick::None) << QString();
        QTest::newRow("other prefix") << QStringLiteral("[l] /x") << int(ChooserRules::Pick::None) << QString();
    }
    void parsePick()
    {
        QFETCH(QString, fileName);
        const ChooserRules::Pick p = ChooserRules::parsePick(fileName);
        QTEST(int(p.action), "action");
        QTEST(p.path, "path");
    }
};

QTEST_GUILESS_MAIN(TestChooserRules)
#include "tst_chooserrules.moc"
