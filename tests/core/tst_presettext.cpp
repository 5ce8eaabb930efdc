#include "presettext.h"

#include <QTest>

using PresetText::Geometry;
Q_DECLARE_METATYPE(std::optional<Geometry>)

class TestPresetText : public QObject
{
    Q_OBJECT
private slots:
    void compose_data()
    {
        QTest::addColumn<Geometry>("g");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << Geometry { 75, 75, 280, 600 } << QStringLiteral("T:75 | L:75 | H:280 | W:600");
        QTest::newRow("negative left") << Geometry { 10, -1920, 480, 800 }
                                       << QStringLiteral("T:10 | L:-1920 | H:480 | W:800");
    }
    void compose()
    {
        QFETCH(Geometry, g);
        QFETCH(QString, text);
        QCOMPARE(PresetText::compose(g), text);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<Geometry>>("expected");
        const std::optional<Geometry> none;
        QTest::newRow("plain") << QStringLiteral("T:100 | L:200 | H:480 | W:800")
                               << std::optional(Geometry { 100, 200, 480, 800 });
        QTest::newRow("text around it") << QStringLiteral("my desk: T:1 | L:2 | H:3 | W:4 (left)")
                                        << std::optional(Geometry { 1, 2, 3, 4 });
        QTest::newRow("leading zeros") << QStringLiteral("T:007 | L:0 | H:0280 | W:600")
                                       << std::optional(Geometry { 7, 0, 280, 600 });
        QTest::newRow("negative does not match") << QStringLiteral("T:10 | L:-1920 | H:480 | W:800") << none;
        QTest::newRow("a later match counts") << QStringLiteral("T:-1 | L:2 | H:3 | W:4; T:5 | L:6 | H:7 | W:8")
                                              << std::optional(Geometry { 5, 6, 7, 8 });
        QTest::newRow("largest int") << QStringLiteral("T:2147483647 | L:0 | H:1 | W:1")
                                     << std::optional(Geometry { 2147483647, 0, 1, 1 });
        QTest::newRow("too large for an int") << QStringLiteral("T:2147483648 | L:0 | H:1 | W:1") << none;
        QTest::newRow("lower case") << QStringLiteral("t:1 | l:2 | h:3 | w:4") << none;
        QTest::newRow("other spacing") << QStringLiteral("T:1| L:2 | H:3 | W:4") << none;
        QTest::newRow("empty") << QString() << none;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<Geometry>, expected);
        QCOMPARE(PresetText::parse(text), expected);
    }
};

QTEST_GUILESS_MAIN(TestPresetText)
#include "tst_presettext.moc"
