// The recent-files list without menus: adding names, the INI storage, the entry captions and
// where the entries go in their menu.
#include "mrulist.h"
#include "profilefile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestMruList : public QObject
{
    Q_OBJECT
private slots:
    void addFile_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("maxFiles");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("changed");
        const QStringList abc { QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c") };
        QTest::newRow("new name on top") << abc << QStringLiteral("/d") << 8
                                         << QStringList { QStringLiteral("/d"), QStringLiteral("/a"),
                                                QStringLiteral("/b"), QStringLiteral("/c") }
                                         << true;
        QTest::newRow("same file twice: one entry, untouched") << abc << QStringLiteral("/a") << 8 << abc << false;
        QTest::newRow("third moves to the top")
            << abc << QStringLiteral("/c") << 8
            << QStringList { QStringLiteral("/c"), QStringLiteral("/a"), QStringLiteral("/b") } << true;
        QTest::newRow("case differs: two files")
            << abc << QStringLiteral("/A") << 8
            << QStringList { QStringLiteral("/A"), QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c") }
            << true;
        QStringList eight;
        for (int i = 1; i <= 8; ++i)
            eight.append(QStringLiteral("/f%1").arg(i));
        QStringList ninth = eight.mid(0, 7);
        ninth.prepend(QStringLiteral("/f9"));
        QTest::newRow("ninth file drops the oldest") << eight << QStringLiteral("/f9") << 8 << ninth << true;
        QTest::newRow("a longer list is cut to the limit")
            << eight << QStringLiteral("/f9") << 2 << QStringList { QStringLiteral("/f9"), QStringLiteral("/f1") }
            << true;
    }
    void addFile()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, name);
        QFETCH(int, maxFiles);
        QFETCH(QStringList, after);
        QFETCH(bool, changed);
        bool didChange = !changed;
        QCOMPARE(MruList::addFile(before, name, maxFiles, &didChange), after);
        QCOMPARE(didChange, changed);
    }

    void clampMaxFiles_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("stored");
        QTest::newRow("0 gives 1") << 0 << 1;
        QTest::newRow("negative gives 1") << -5 << 1;
        QTest::newRow("5 kept") << 5 << 5;
        QTest::newRow("8 kept") << 8 << 8;
        QTest::newRow("20 gives 8") << 20 << 8;
    }
    void clampMaxFiles()
    {
        QFETCH(int, value);
        QFETCH(int, stored);
        QCOMPARE(MruList::clampMaxFiles(value), stored);
    }

    void readIni_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("maxFiles");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("keys 1..8 with empties")
            << QByteArray("[MRU List]\n1=/x/a.txt\n2=/x/b.txt\n3=/x/c d.txt\n4=\n5=\n6=\n7=\n8=\n") << 8
            << QStringList { QStringLiteral("/x/a.txt"), QStringLiteral("/x/b.txt"), QStringLiteral("/x/c d.txt") };
        QTest::newRow("empty key 2 hides the rest")
            << QByteArray("[MRU List]\n1=/a\n2=\n3=/c\n4=/d\n") << 8 << QStringList { QStringLiteral("/a") };
        QTest::newRow("missing key 2 hides the rest")
            << QByteArray("[MRU List]\n1=/a\n3=/c\n") << 8 << QStringList { QStringLiteral("/a") };
        QTest::newRow("only up to MaxFiles") << QByteArray("[MRU List]\n1=/a\n2=/b\n3=/c\n") << 2
                                             << QStringList { QStringLiteral("/a"), QStringLiteral("/b") };
        QTest::newRow("Windows file, other case, CR LF")
            << QByteArray("[mru list]\r\n1 = C:\\L\\a.txt \r\n") << 8 << QStringList { QStringLiteral("C:\\L\\a.txt") };
        QTest::newRow("other section only") << QByteArray("[Other]\n1=/a\n") << 8 << QStringList();
        QTest::newRow("empty file") << QByteArray() << 8 << QStringList();
    }
    void readIni()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, maxFiles);
        QFETCH(QStringList, names);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("LoadFile-MRU.INI"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        QCOMPARE(MruList::readIni(ProfileFile(file), maxFiles), names);
    }

    void readIni_missingFileIsEmpty()
    {
        QTemporaryDir dir;
        QCOMPARE(MruList::readIni(ProfileFile(dir.filePath(QStringLiteral("none.ini"))), 8), QStringList());
    }

    void writeIni_allKeysEmptiesPastTheEnd()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("LoadFile-MRU.INI"));
        ProfileFile ini(file);
        const QStringList names { QStringLiteral("/l/a.txt"), QStringLiteral("/l/b&c.txt"),
            QStringLiteral("/l/ü.txt") };
        MruList::writeIni(ini, names, 8);
        ini.save();
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(
            f.readAll(), QByteArray("[MRU List]\n1=/l/a.txt\n2=/l/b&c.txt\n3=/l/\xC3\xBC.txt\n4=\n5=\n6=\n7=\n8=\n"));
        QCOMPARE(MruList::readIni(ProfileFile(file), 8), names);
    }

    void iniFilePath_data()
    {
        QTest::addColumn<QString>("iniFile");
        QTest::addColumn<QString>("path");
        QTest::newRow("full path") << QStringLiteral("/home/u/Documents/Corvid/Skylark/LoadFile-MRU.INI")
                                   << QStringLiteral("/home/u/Documents/Corvid/Skylark/LoadFile-MRU.INI");
        QTest::newRow("bare name beside the program")
            << QStringLiteral("x.ini") << QStringLiteral("/opt/skylark/bin/x.ini");
        QTest::newRow("none: the program's name") << QString() << QStringLiteral("/opt/skylark/bin/skylark.ini");
    }
    void iniFilePath()
    {
        QFETCH(QString, iniFile);
        QFETCH(QString, path);
        QCOMPARE(MruList::iniFilePath(iniFile, QStringLiteral("/opt/skylark/bin/skylark")), path);
    }

    void entryCaption_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fullPath");
        QTest::addColumn<QString>("caption");
        QTest::newRow("full path") << 0 << QStringLiteral("/l/a.txt") << true << QStringLiteral("&1  /l/a.txt");
        QTest::newRow("file name only") << 7 << QStringLiteral("/l/a.txt") << false << QStringLiteral("&8  a.txt");
        QTest::newRow("ampersand shows as itself")
            << 1 << QStringLiteral("/l/R&D.txt") << true << QStringLiteral("&2  /l/R&&D.txt");
    }
    void entryCaption()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(bool, fullPath);
        QFETCH(QString, caption);
        QCOMPARE(MruList::entryCaption(index, name, fullPath), caption);
    }

    // Items as separators (S) and others (I); the File menu is I I I S I S I.
    void planMenu_data()
    {
        QTest::addColumn<QString>("items");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("separatorBefore");
        QTest::addColumn<int>("firstEntry");
        QTest::addColumn<int>("separatorAfter");
        QTest::newRow("File menu, empty list: nothing") << QStringLiteral("IIISISI") << 3 << 0 << -1 << 3 << -1;
        QTest::newRow("File menu, one entry: own separator before")
            << QStringLiteral("IIISISI") << 3 << 1 << 3 << 4 << -1;
        QTest::newRow("File menu, three entries") << QStringLiteral("IIISISI") << 3 << 3 << 3 << 4 << -1;
        QTest::newRow("after a separator: none before, one after") << QStringLiteral("IIISI") << 4 << 2 << -1 << 4 << 6;
        QTest::newRow("at the top, item follows: separator after") << QStringLiteral("II") << 0 << 2 << -1 << 0 << 2;
        QTest::newRow("position past the end: at the end") << QStringLiteral("II") << 9 << 1 << 2 << 3 << -1;
        QTest::newRow("empty menu") << QString() << 3 << 2 << -1 << 0 << -1;
    }
    void planMenu()
    {
        QFETCH(QString, items);
        QFETCH(int, position);
        QFETCH(int, count);
        QList<bool> seps;
        for (QChar c : items)
            seps.append(c == u'S');
        const MruList::MenuPlan plan = MruList::planMenu(seps, position, count);
        QTEST(plan.separatorBefore, "separatorBefore");
        QTEST(plan.firstEntry, "firstEntry");
        QTEST(plan.separatorAfter, "separatorAfter");
    }

    void clickedIndex_data()
    {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("firstOwn");
        QTest::addColumn<bool>("firstIsSeparator");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("index");
        QTest::newRow("third entry after own separator") << 6 << 3 << true << 3 << 2;
        QTest::newRow("first entry, no own separator") << 0 << 0 << false << 2 << 0;
        QTest::newRow("the separator itself") << 3 << 3 << true << 3 << -1;
        QTest::newRow("past the list") << 7 << 3 << true << 3 << -1;
        QTest::newRow("no own item") << 2 << -1 << false << 3 << -1;
    }
    void clickedIndex()
    {
        QFETCH(int, clicked);
        QFETCH(int, firstOwn);
        QFETCH(bool, firstIsSeparator);
        QFETCH(int, size);
        QTEST(MruList::clickedIndex(clicked, firstOwn, firstIsSeparator, size), "index");
    }
};

QTEST_GUILESS_MAIN(TestMruList)
#include "tst_mrulist.moc"
