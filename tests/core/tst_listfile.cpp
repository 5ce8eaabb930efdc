#include "../support/oddfiles.h"
#include "boundedread.h"
#include "listfile.h"
#include "skylarkerror.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using TextCodec::Encoding;

class TestListFile : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_keepsEncodingAndMark_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("ansi") << int(Encoding::Ansi) << QByteArray();
        QTest::newRow("utf8 bom") << int(Encoding::Utf8Bom) << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("utf16le") << int(Encoding::Utf16LE) << QByteArray("\xFF\xFE");
        QTest::newRow("utf16be") << int(Encoding::Utf16BE) << QByteArray("\xFE\xFF");
    }
    void roundTrip_keepsEncodingAndMark()
    {
        QFETCH(int, encoding);
        QFETCH(QByteArray, prefix);
        const QStringList lines { QStringLiteral("  lead"), QString(), QStringLiteral("münchen.example"),
            QStringLiteral("X") };
        const QByteArray bytes = ListFile::encode(lines, Encoding(encoding));
        QVERIFY(bytes.startsWith(prefix));
        const ListFile::Contents back = ListFile::decode(bytes);
        QCOMPARE(int(back.encoding), encoding);
        QCOMPARE(back.lines, lines);
    }

    // Whatever a list can hold (any characters but line ends) reads back as saved. An unmarked
    // save that would read as something else (NULs look like UTF-16, a leading U+FEFF like a
    // mark) is written as UTF-8 with a mark instead.
    void roundTrip_awkwardEntries_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("readBackAs");
        const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
        const QStringList nuls { nul, nul, QString(QChar(0)) };
        // Saved unmarked, every other byte is zero: read back as UTF-16, "host" + U+0A0D.
        const QStringList everyOtherNul { QString::fromUtf8(QByteArrayView("h\0o\0s\0t\0", 8)) };
        const QStringList leadingMark { QChar(0xFEFF) + QStringLiteral("host"), QStringLiteral("x") };
        QTest::newRow("every other byte NUL ansi") << everyOtherNul << int(Encoding::Ansi) << int(Encoding::Utf8Bom);
        QTest::newRow("NULs ansi") << nuls << int(Encoding::Ansi) << int(Encoding::Utf8Bom);
        QTest::newRow("NULs utf8 bom") << nuls << int(Encoding::Utf8Bom) << int(Encoding::Utf8Bom);
        for (auto [name, enc] : { std::pair { "ansi", Encoding::Ansi }, std::pair { "utf8 bom", Encoding::Utf8Bom },
                 std::pair { "utf16le", Encoding::Utf16LE }, std::pair { "utf16be", Encoding::Utf16BE } }) {
            const int readBack = int(enc == Encoding::Ansi ? Encoding::Utf8Bom : enc);
            QTest::addRow("leading U+FEFF %s", name) << leadingMark << int(enc) << readBack;
        }
    }
    void roundTrip_awkwardEntries()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, encoding);
        QFETCH(int, readBackAs);
        const ListFile::Contents back = ListFile::decode(ListFile::encode(lines, Encoding(encoding)));
        QCOMPARE(back.lines, lines);
        QCOMPARE(int(back.encoding), readBackAs);
    }

    void emptyList_writesOnlyTheMark()
    {
        QCOMPARE(ListFile::encode({}, Encoding::Ansi), QByteArray());
        QCOMPARE(ListFile::encode({}, Encoding::Utf8Bom), QByteArray("\xEF\xBB\xBF"));
    }

    void decode_foreignFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("windows-1252 CRLF")
            << QByteArray("caf\xE9\r\n\x80uro\r\n") << QStringList { QStringLiteral("café"), QStringLiteral("€uro") };
        QTest::newRow("mixed line ends") << QByteArray("a\rb\nc\r\nd")
                                         << QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                                QStringLiteral("d") };
        QTest::newRow("utf16le without mark")
            << QByteArray("h\0o\0s\0t\0\r\0\n\0x\0", 14) << QStringList { QStringLiteral("host"), QStringLiteral("x") };
        QTest::newRow("truncated utf8 falls back")
            << QByteArray("ok\r\nbad\xC3") << QStringList { QStringLiteral("ok"), QStringLiteral("bad\u00C3") };
    }
    void decode_foreignFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(ListFile::decode(bytes).lines, lines);
    }

    void decode_binaryAndHuge_keepsWhatItCanRead()
    {
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary.append(char(i * 7 % 256));
        const auto b = ListFile::decode(binary);
        QVERIFY(!b.lines.isEmpty());

        QByteArray huge;
        for (int i = 0; i < 100000; ++i)
            huge += "host" + QByteArray::number(i) + "\r\n";
        const auto h = ListFile::decode(huge);
        QCOMPARE(h.lines.size(), 100000);
        QCOMPARE(h.lines.last(), QStringLiteral("host99999"));
    }

    // A list read as Windows-1252 goes back as Windows-1252 when every entry fits that code
    // page and reads back the same; otherwise as UTF-8 with a mark, so nothing is lost.
    void windows1252_writtenBackWhenEverythingFits_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("edited"); // the list as saved; empty: as loaded
        QTest::addColumn<QByteArray>("written");
        const QByteArray cp1252("caf\xE9\r\n\x80uro\r\n  gr\xFC\xDF\r\n\r\n");
        QTest::newRow("unchanged: same bytes") << cp1252 << QStringList() << cp1252;
        QTest::newRow("new entry that fits") << cp1252 << QStringList { QStringLiteral("café"), QStringLiteral("ŽŸ‰") }
                                             << QByteArray("caf\xE9\r\n\x8E\x9F\x89\r\n");
        QTest::newRow("entry beyond the code page: UTF-8 with mark")
            << cp1252 << QStringList { QStringLiteral("café"), QStringLiteral("Łódź") }
            << QByteArray("\xEF\xBB\xBF"
                          "caf\xC3\xA9\r\n\xC5\x81\xC3\xB3"
                          "d\xC5\xBA\r\n");
        // In Windows-1252 these two characters are the bytes C3 A9, which read as UTF-8 "é".
        QTest::newRow("bytes that would read as UTF-8: with mark")
            << cp1252 << QStringList { QStringLiteral("Ã©") } << QByteArray("\xEF\xBB\xBF\xC3\x83\xC2\xA9\r\n");
        QTest::newRow("plain ASCII stays plain")
            << cp1252 << QStringList { QStringLiteral("host.example") } << QByteArray("host.example\r\n");
    }
    void windows1252_writtenBackWhenEverythingFits()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, edited);
        QFETCH(QByteArray, written);
        const ListFile::Contents loaded = ListFile::decode(file);
        QCOMPARE(int(loaded.encoding), int(Encoding::Windows1252));
        const QStringList saved = edited.isEmpty() ? loaded.lines : edited;
        const QByteArray bytes = ListFile::encode(saved, loaded.encoding);
        QCOMPARE(bytes, written);
        QCOMPARE(ListFile::decode(bytes).lines, saved);
    }

    void validUtf8WithoutMark_staysUtf8WithoutMark()
    {
        const QByteArray file("m\xC3\xBCnchen\r\n");
        const ListFile::Contents loaded = ListFile::decode(file);
        QCOMPARE(int(loaded.encoding), int(Encoding::Ansi));
        QCOMPARE(ListFile::encode(loaded.lines, loaded.encoding), file);
    }

    void withDefaultExtension_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension") << QStringLiteral("/l/hosts") << QStringLiteral("/l/hosts.txt");
        QTest::newRow(".txt kept") << QStringLiteral("/l/hosts.txt") << QStringLiteral("/l/hosts.txt");
        QTest::newRow("other extension kept") << QStringLiteral("/l/hosts.lst") << QStringLiteral("/l/hosts.lst");
        QTest::newRow("capital extension kept") << QStringLiteral("/l/HOSTS.TXT") << QStringLiteral("/l/HOSTS.TXT");
        QTest::newRow("dot in a folder only") << QStringLiteral("/l/v1.2/hosts") << QStringLiteral("/l/v1.2/hosts.txt");
        QTest::newRow("trailing dot is an extension") << QStringLiteral("/l/hosts.") << QStringLiteral("/l/hosts.");
    }
    void withDefaultExtension()
    {
        QFETCH(QString, chosen);
        QTEST(ListFile::withDefaultExtension(chosen), "saved");
    }

    // Only a regular file of at most 16 MiB is read; anything else is refused with a sentence
    // that names the file, at once (a FIFO nobody writes to, a link to /dev/zero).
    void read_onlyRegularFilesUpToTheLimit_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero") << QStringLiteral("devzero");
        QTest::newRow("16 MiB and a byte") << QStringLiteral("huge");
    }
    void read_onlyRegularFilesUpToTheLimit()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("hosts.txt"));
        QVERIFY(makeSpecialFile(file, kind));
        try {
            ListFile::read(file);
            QFAIL("read");
        } catch (const SkylarkError &e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot open file \"%1\": %2").arg(file, specialFileReason(kind)));
        }
    }

    void read_limitAndMissingFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("long.txt"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(QByteArray(BoundedRead::kMaxFileSize, 'x')) == BoundedRead::kMaxFileSize);
        }
        const ListFile::Contents c = ListFile::read(file);
        QCOMPARE(c.lines.size(), 1);
        QCOMPARE(c.lines.front().size(), BoundedRead::kMaxFileSize);

        const BoundedRead::Result small = BoundedRead::read(file, 1000);
        QVERIFY(!small.ok());
        QVERIFY(small.bytes.isEmpty());
        QCOMPARE(small.error, QStringLiteral("Cannot open file \"%1\": it is larger than 1000 bytes.").arg(file));

        const QString gone = dir.filePath(QStringLiteral("gone.txt"));
        const BoundedRead::Result missing = BoundedRead::read(gone);
        QVERIFY(missing.missing);
        QCOMPARE(missing.error, QStringLiteral("Cannot open file \"%1\": no such file or directory.").arg(gone));
    }

    // Line ends of LF alone are written back as read; CR LF, mixed ends and files without a
    // line end get CR LF.
    void lineEnds_keptWhenLfAlone_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("LF") << QByteArray("a\nb\n") << QByteArray("a\nb\n");
        QTest::newRow("LF, last line open") << QByteArray("a\nb") << QByteArray("a\nb\n");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("mixed") << QByteArray("a\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("CR alone") << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n");
        QTest::newRow("one line, no end") << QByteArray("a") << QByteArray("a\r\n");
        QTest::newRow("LF with a mark") << QByteArray("\xEF\xBB\xBF\xC3\xA9\n") << QByteArray("\xEF\xBB\xBF\xC3\xA9\n");
    }
    void lineEnds_keptWhenLfAlone()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        const ListFile::Contents c = ListFile::decode(file);
        QCOMPARE(ListFile::encode(c.lines, c.encoding, c.lineEnds), saved);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("l.txt"));
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
        f.close();
        const ListFile::Contents read = ListFile::read(name);
        QCOMPARE(read.lineEnds, c.lineEnds);
        ListFile::write(name, read.lines, read.encoding, read.lineEnds);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), saved);
    }

    // A list just under the reading limit with LF ends is written back as it was; written
    // with CR LF it would pass the limit, so that save is refused and the file kept.
    void nearTheLimit_writtenBackReadable()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("big.txt"));
        const QByteArray line = "host-0000000.example\n"; // 21 bytes
        const qsizetype count = BoundedRead::kMaxFileSize / line.size();
        QByteArray text;
        text.reserve(count * line.size());
        for (qsizetype i = 0; i < count; ++i)
            text += line;
        {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
        }
        const ListFile::Contents c = ListFile::read(name);
        QCOMPARE(c.lines.size(), count);
        ListFile::write(name, c.lines, c.encoding, c.lineEnds);
        QCOMPARE(QFileInfo(name).size(), text.size());
        QCOMPARE(ListFile::read(name).lines.size(), count);
        QString message;
        try {
            ListFile::write(name, c.lines, c.encoding, ListFile::LineEnds::CrLf);
        } catch (const SkylarkError &e) {
            message = e.message();
        }
        QVERIFY2(message.startsWith(QStringLiteral("Unable to write to ") + name + u':'), qPrintable(message));
        QCOMPARE(QFileInfo(name).size(), text.size());
    }

    void write_failure_raisesUnableToWrite()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("missing/list.txt"));
        try {
            ListFile::write(file, { QStringLiteral("x") }, Encoding::Ansi);
            QFAIL("no error raised");
        } catch (const SkylarkError &e) {
            QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + file);
        }
    }
};

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_listfile.moc"
