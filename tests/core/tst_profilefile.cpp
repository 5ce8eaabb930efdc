#include "../support/oddfiles.h"
#include "profilefile.h"
#include "skylarkerror.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestProfileFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString write(const QByteArray &bytes)
    {
        const QString f = m_dir.filePath(QStringLiteral("t.ini"));
        QFile file(f);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        return f;
    }
    QByteArray contents(const QString &f)
    {
        QFile file(f);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

private slots:
    void read_windowsWrittenFile()
    {
        // CR LF, Windows-1252, other letter case, blanks around "=", a duplicate key and section.
        const QString f = write("[section-window]\r\n  top = 0x20 \r\nTOP=7\r\nName= caf\xE9 \r\n"
                                "Quoted=\"  spaced  \"\r\n[Section-Window]\r\nLeft=9\r\n");
        ProfileFile ini(f);
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Top"), 0), 32);
        QCOMPARE(ini.readString(QStringLiteral("SECTION-WINDOW"), QStringLiteral("name"), QString()),
            QStringLiteral("café"));
        QCOMPARE(ini.readString(QStringLiteral("Section-Window"), QStringLiteral("Quoted"), QString()),
            QStringLiteral("  spaced  "));
        // The first section of that name is the one read.
        QCOMPARE(ini.readInteger(QStringLiteral("Section-Window"), QStringLiteral("Left"), -1), -1);
        QCOMPARE(ini.keyCount(QStringLiteral("Section-Window")), 4);
    }

    void readInteger_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QStringLiteral("400") << 400;
        QTest::newRow("negative") << QStringLiteral("-5") << -5;
        QTest::newRow("hex") << QStringLiteral("0x20") << 32;
        QTest::newRow("bare 0x") << QStringLiteral("0x") << 99;
        QTest::newRow("text") << QStringLiteral("abc") << 99;
        QTest::newRow("float") << QStringLiteral("1.5") << 99;
        QTest::newRow("empty") << QString() << 99;
        QTest::newRow("overflow") << QStringLiteral("99999999999") << 99;
    }
    void readInteger()
    {
        QFETCH(QString, value);
        QFETCH(int, expected);
        QCOMPARE(ProfileFile::parseInteger(value, 99), expected);
    }

    void write_keepsOrderAppendsToSectionAndFile()
    {
        const QString f = write("[A]\nx=1\ny=2\n\n[B]\nz=3\n");
        ProfileFile ini(f);
        ini.writeString(QStringLiteral("a"), QStringLiteral("X"), QStringLiteral("10"));
        ini.writeString(QStringLiteral("A"), QStringLiteral("new"), QStringLiteral("n"));
        ini.writeBool(QStringLiteral("C"), QStringLiteral("flag"), true);
        ini.save();
        QCOMPARE(contents(f), QByteArray("[A]\nx=10\ny=2\nnew=n\n\n[B]\nz=3\n[C]\nflag=1\n"));
    }

    // Reading trims blanks and drops one pair of matching quotes; a value written must still read
    // back as it was (a preset name or style read from a hand-edited file is written at close).
    void writeString_readsBackAsWritten_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << QStringLiteral("Windows") << QByteArray("k=Windows");
        QTest::newRow("empty") << QString() << QByteArray("k=");
        QTest::newRow("inner blanks and quotes") << QStringLiteral("a \"b\" c") << QByteArray("k=a \"b\" c");
        QTest::newRow("one quote") << QStringLiteral("'a") << QByteArray("k='a");
        QTest::newRow("blanks around") << QStringLiteral("  Caf\u00E9 ") << QByteArray("k=\"  Caf\xC3\xA9 \"");
        QTest::newRow("tab at the end") << QStringLiteral("x\t") << QByteArray("k=\"x\t\"");
        QTest::newRow("double quoted") << QStringLiteral("\"q\"") << QByteArray("k=\"\"q\"\"");
        QTest::newRow("single quoted") << QStringLiteral("'q'") << QByteArray("k=\"'q'\"");
    }
    void writeString_readsBackAsWritten()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        const QString f = write("[S]\r\nk=old\r\n");
        ProfileFile ini(f);
        ini.writeString(QStringLiteral("S"), QStringLiteral("k"), value);
        ini.save();
        QCOMPARE(contents(f), "[S]\r\n" + line + "\r\n");
        QCOMPARE(ProfileFile(f).readString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("<none>")), value);
    }

    // A file saved untouched reads back as it read before, whatever was in it.
    void save_untouchedFile_readsTheSame_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("value");
        // Saved as 8-bit text, every other byte would be zero: read back as UTF-16.
        QTest::newRow("NULs after the names")
            << QByteArray("\xEF\xBB\xBF[\0S\0]\0\r\nk\0=\0v\0\r\n", 19) << QStringLiteral("v");
        QTest::newRow("NULs inside a value") << QByteArray("[S]\r\nk=a\0b\r\n", 12) << QStringLiteral("ab");
        // A second mark is not text: the section still starts the file.
        QTest::newRow("mark twice") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nk=v\r\n") << QStringLiteral("v");
        QTest::newRow("utf16 mark twice")
            << QByteArray("\xFF\xFE\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0", 18) << QStringLiteral("v");
        QTest::newRow("windows-1252") << QByteArray("[S]\r\nk=caf\xE9\r\n") << QStringLiteral("caf\u00E9");
    }
    void save_untouchedFile_readsTheSame()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, value);
        const QString f = write(bytes);
        const ProfileFile before(f);
        QCOMPARE(before.readString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("<none>")), value);
        before.save();
        const ProfileFile after(f);
        QCOMPARE(after.sectionNames(), QStringList { QStringLiteral("S") });
        QCOMPARE(after.keyNames(QStringLiteral("S")), QStringList { QStringLiteral("k") });
        QCOMPARE(after.readString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("<none>")), value);
    }

    void eraseSection_removesEveryCopyAndKeepsOthers()
    {
        const QString f = write("[L]\n0=a\n[K]\nk=1\n[l]\n1=b\n");
        ProfileFile ini(f);
        ini.eraseSection(QStringLiteral("L"));
        QCOMPARE(ini.sectionNames(), QStringList { QStringLiteral("K") });
        QCOMPARE(ini.keyCount(QStringLiteral("L")), 0);
    }

    void missingOrBinaryFile_givesDefaults()
    {
        ProfileFile missing(m_dir.filePath(QStringLiteral("none.ini")));
        QCOMPARE(
            missing.readString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("d")), QStringLiteral("d"));
        QByteArray junk;
        for (int i = 0; i < 2000; ++i)
            junk.append(char((i * 31) & 0xFF));
        ProfileFile binary(write(junk));
        QCOMPARE(binary.readInteger(QStringLiteral("Section-Misc"), QStringLiteral("TimeToWait"), 400), 400);
    }

    // Settings and recent files read anything but a regular file of at most 16 MiB as empty,
    // at once, and keep the reason; a session's load() says why instead. A missing file is
    // empty without a reason, and a session's load() refuses it too.
    void specialFiles_emptyOrRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero") << QStringLiteral("devzero");
        QTest::newRow("16 MiB and a byte") << QStringLiteral("huge");
    }
    void specialFiles_emptyOrRefused()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("s.txt"));
        QVERIFY(makeSpecialFile(file, kind));
        QCOMPARE(ProfileFile(file).sectionNames(), QStringList());
        const QString why = QStringLiteral("Cannot open file \"%1\": %2").arg(file, specialFileReason(kind));
        QCOMPARE(ProfileFile(file).readError(), why);
        try {
            ProfileFile::load(file);
            QFAIL("loaded");
        } catch (const SkylarkError &e) {
            QCOMPARE(e.message(), why);
        }
        const QString regular = write("[Frame]\nCount=2\n");
        QCOMPARE(ProfileFile::load(regular).readInteger(QStringLiteral("Frame"), QStringLiteral("Count"), 0), 2);
        QCOMPARE(ProfileFile(regular).readError(), QString());
        const QString none = dir.filePath(QStringLiteral("none.txt"));
        QCOMPARE(ProfileFile(none).sectionNames(), QStringList());
        QCOMPARE(ProfileFile(none).readError(), QString());
        QVERIFY_THROWS_EXCEPTION(SkylarkError, ProfileFile::load(none));
    }

    void save_longValuesAndFailure()
    {
        const QString f = write("");
        ProfileFile ini(f);
        const QString longValue(5000, u'v');
        ini.writeString(QStringLiteral("S"), QStringLiteral("k"), longValue);
        ini.save();
        QCOMPARE(ProfileFile(f).readString(QStringLiteral("S"), QStringLiteral("k"), QString()), longValue);

        ProfileFile bad(m_dir.filePath(QStringLiteral("no/such/dir.ini")));
        bad.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        QVERIFY_THROWS_EXCEPTION(SkylarkError, bad.save());
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
