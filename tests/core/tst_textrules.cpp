#include "skylarkerror.h"
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

    // What messages quote is cut to a short excerpt: its beginning and end around "…", never
    // half of a character, on one line.
    void messageExcerpt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("excerpt");
        QTest::newRow("short: as it is") << QStringLiteral("Motif") << 10 << QStringLiteral("Motif");
        QTest::newRow("exactly the length") << QStringLiteral("0123456789") << 10 << QStringLiteral("0123456789");
        QTest::newRow("longer: both ends") << QStringLiteral("0123456789ab") << 10 << QStringLiteral("012345\u20269ab");
        QTest::newRow("2 MB") << QString(2'000'000, u'x') << Message::kExcerptLength
                              << QString(80, u'x') + QChar(0x2026) + QString(39, u'x');
        // U+1F600 is two UTF-16 halves; neither end of the excerpt cuts one in two.
        const QString face = QStringLiteral("\U0001F600");
        QTest::newRow("pairs kept whole") << QString(5, u'a') + face + QString(6, u'b') + face + QStringLiteral("c")
                                          << 10 << QStringLiteral("aaaaa\u2026") + face + QStringLiteral("c");
        QTest::newRow("line breaks show as spaces") << QStringLiteral("a\nb\tc\r") << 10 << QStringLiteral("a b c ");
    }
    void messageExcerpt()
    {
        QFETCH(QString, text);
        QFETCH(int, length);
        QFETCH(QString, excerpt);
        QCOMPARE(Message::excerpt(text, length), excerpt);
        QVERIFY(Message::excerpt(text, length).size() <= length);
    }

    // The error display is the last guard: a message that quotes megabytes shows its two ends.
    void errorDisplay_showsAtMostTheLongestMessage()
    {
        QStringList shown;
        ErrorDisplay::setSink([&](const QString &m) { shown << m; });
        ErrorDisplay::show(QStringLiteral("Cannot open \"") + QString(3'000'000, u'x') + QStringLiteral("\"."));
        ErrorDisplay::show(QStringLiteral("Style 'Motif' not found"));
        ErrorDisplay::setSink({});
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].size(), Message::kMaxLength);
        QVERIFY(shown[0].startsWith(QStringLiteral("Cannot open \"x")));
        QVERIFY(shown[0].endsWith(QStringLiteral("x\".")));
        QCOMPARE(shown[1], QStringLiteral("Style 'Motif' not found"));
    }
};

QTEST_GUILESS_MAIN(TestTextRules)
#include "tst_textrules.moc"
