#include "textrules.h"

#include <QTest>

class TestTextRules : public QObject
{
    Q_OBJECT
private slots:
    void textToLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("no line end") << QStringLiteral("a") << QStringList { QStringLiteral("a") };
        QTest::newRow("trailing CRLF adds no line")
            << QStringLiteral("a\r\nb\r\n") << QStringList { QStringLiteral("a"), QStringLiteral("b") };
        QTest::newRow("lone CR and LF") << QStringLiteral(
            "a\rb\nc") << QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") };
        QTest::newRow("LF CR is two ends")
            << QStringLiteral("a\n\rb") << QStringList { QStringLiteral("a"), QString(), QStringLiteral("b") };
        QTest::newRow("blank lines kept")
            << QStringLiteral("\r\n\r\n x ") << QStringList { QString(), QString(), QStringLiteral(" x ") };
    }
    void textToLines()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(TextRules::textToLines(text), lines);
    }

    void linesToText_endsEveryLineWithCrLf()
    {
        QCOMPARE(TextRules::linesToText({ QStringLiteral("a"), QString() }), QStringLiteral("a\r\n\r\n"));
        QCOMPARE(TextRules::linesToText({}), QString());
    }

    void trimmed_removesControlsAndBlanksOnly()
    {
        QCOMPARE(TextRules::trimmed(QStringLiteral("\t\x01 host \r\n")), QStringLiteral("host"));
        QCOMPARE(TextRules::trimmed(QStringLiteral("\u00A0x\u00A0")), QStringLiteral("\u00A0x\u00A0"));
    }

    void caseMapping_leavesNonAsciiLetters()
    {
        QCOMPARE(TextRules::asciiLower(QStringLiteral("HöST-ÄÖ.Com")), QStringLiteral("höst-ÄÖ.com"));
        QCOMPARE(TextRules::asciiUpper(QStringLiteral("höst-äö.com")), QStringLiteral("HöST-äö.COM"));
    }
};

QTEST_GUILESS_MAIN(TestTextRules)
#include "tst_textrules.moc"
