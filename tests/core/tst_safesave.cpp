// Saves on a full disk: the old file must survive byte for byte, and the failure must be told.
#include "boundedread.h"
#include "listfile.h"
#include "profilefile.h"
#include "safesave.h"
#include "skylarkerror.h"
#include "support/fulldisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A profile text of about 15 KB, as a settings file with long preset values grows.
QByteArray bigProfile()
{
    QByteArray text = "[Section-Window]\r\n";
    for (int i = 0; i < 300; ++i)
        text += "Key" + QByteArray::number(i) + "=T:10 | L:20 | H:300 | W:400 " + QByteArray(20, 'v') + "\r\n";
    return text;
}

// What stands at a name, without following it: "file:<bytes>", "link:<target>", "fifo",
// "chardev", "socket", "folder" or "none".
QString what(const QString &name)
{
    const QByteArray p = QFile::encodeName(name);
    struct stat st = {};
    if (::lstat(p.constData(), &st) != 0)
        return QStringLiteral("none");
    if (S_ISREG(st.st_mode))
        return QStringLiteral("file:") + QString::fromUtf8(readAll(name));
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("link:") + QFile::symLinkTarget(name).section(u'/', -1);
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("fifo");
    if (S_ISCHR(st.st_mode))
        return QStringLiteral("chardev");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("socket");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("folder");
    return QStringLiteral("other");
}

// Makes one thing in dir: "file" (holding "old"), "fifo", "socket", "folder", "chardev" (a
// node like /dev/null; needs root), or "->x" (a symbolic link to x). False when it could not.
bool make(const QString &dir, const QString &name, const QString &kind)
{
    const QByteArray p = QFile::encodeName(dir + u'/' + name);
    if (kind.startsWith(QStringLiteral("->")))
        return ::symlink(QFile::encodeName(kind.mid(2)).constData(), p.constData()) == 0;
    if (kind == QStringLiteral("file")) {
        QFile f(dir + u'/' + name);
        return f.open(QIODevice::WriteOnly) && f.write("old") == 3;
    }
    if (kind == QStringLiteral("fifo"))
        return ::mkfifo(p.constData(), 0644) == 0;
    if (kind == QStringLiteral("socket"))
        return ::mknod(p.constData(), S_IFSOCK | 0644, 0) == 0;
    if (kind == QStringLiteral("chardev"))
        return ::mknod(p.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    if (kind == QStringLiteral("folder"))
        return ::mkdir(p.constData(), 0755) == 0;
    return false;
}

// Lines a list saves from: long enough to need several buffer flushes.
QStringList manyHosts()
{
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines << QStringLiteral("host-%1.example.net").arg(i);
    return lines;
}
} // namespace

using Writer = std::function<void(const QString &file)>;
Q_DECLARE_METATYPE(Writer)

class TestSafeSave : public QObject
{
    Q_OBJECT
private slots:
    void fullDisk_keepsOldFileAndReports_data()
    {
        QTest::addColumn<Writer>("writer");
        QTest::addColumn<int>("freeKiB"); // left free before the save: 0 = nothing at all
        const Writer raw = [](const QString &f) { SafeSave::write(f, QByteArray(40000, 'n')); };
        const Writer list = [](const QString &f) { ListFile::write(f, manyHosts(), TextCodec::Encoding::Ansi); };
        const Writer profile = [](const QString &f) {
            ProfileFile ini(f);
            ini.writeString(QStringLiteral("Section-Misc"), QStringLiteral("Note"), QString(30000, u'p'));
            ini.save();
        };
        for (int free : { 0, 8 }) {
            const QByteArray room = free ? QByteArray(" with 8 KiB free") : QByteArray(" with no room");
            QTest::newRow(QByteArray("bytes" + room).constData()) << raw << free;
            QTest::newRow(QByteArray("host list" + room).constData()) << list << free;
            QTest::newRow(QByteArray("profile file" + room).constData()) << profile << free;
        }
    }
    void fullDisk_keepsOldFileAndReports()
    {
        QFETCH(Writer, writer);
        QFETCH(int, freeKiB);
        QTemporaryDir tmp;
        const QString dir = tmp.path() + QStringLiteral("/disk");
        FullDisk disk(dir, 96);
        if (!disk.available()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("cannot mount a small file system (needs root)");
            QSKIP("mounting a small file system needs root");
        }
        const QString file = dir + QStringLiteral("/target.txt");
        const QByteArray old = bigProfile();
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(old), old.size());
        }
        disk.fill();
        if (freeKiB)
            QVERIFY(QFile::resize(
                dir + QStringLiteral("/.filler"), QFileInfo(dir + QStringLiteral("/.filler")).size() - freeKiB * 1024));

        QString message;
        try {
            writer(file);
        } catch (const SkylarkError &e) {
            message = e.message();
        }
        QCOMPARE(message, QStringLiteral("Unable to write to ") + file);
        QCOMPARE(readAll(file), old);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
            QStringList({ QStringLiteral(".filler"), QStringLiteral("target.txt") }));

        // Once there is room again the same save goes through whole.
        disk.release();
        writer(file);
        QVERIFY(readAll(file) != old);
        QVERIFY(QFileInfo(file).size() > 20000);
    }

    // A save follows links: a link to a regular file (or to where one is to be) writes that
    // file and stays a link. A loop, a FIFO, a device, a socket or a folder, named directly or
    // at the end of links, is never written, replaced or removed: the save fails as usual.
    // Each row: what stands in the folder ("name=kind", "t" is saved), then what stands there
    // after the save ("name=what"); no result means the save fails and nothing changes.
    // Devices are nodes made here: a save that went wrong must not cost the system /dev/null.
    void linksAndSpecialFiles_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        auto row = [](const char *name, const char *before, const char *after) {
            QTest::newRow(name) << QString::fromLatin1(before).split(u' ', Qt::SkipEmptyParts)
                                << QString::fromLatin1(after).split(u' ', Qt::SkipEmptyParts);
        };
        row("regular file", "t=file", "t=file:new");
        row("no file yet", "", "t=file:new");
        row("link to a file", "a=file t=->a", "a=file:new t=link:a");
        row("link to a link to a file", "a=file b=->a t=->b", "a=file:new b=link:a t=link:b");
        row("link to a file in a folder", "d=folder d/a=file t=->d/a", "d/a=file:new t=link:a");
        row("link that leads nowhere yet", "t=->gone", "gone=file:new t=link:gone");
        row("link to itself", "t=->t", "");
        row("link loop", "a=->t t=->a", "");
        row("FIFO", "t=fifo", "");
        row("link to a FIFO", "f=fifo t=->f", "");
        row("socket", "t=socket", "");
        row("folder", "t=folder", "");
        row("link to a folder", "d=folder t=->d", "");
        row("device node", "t=chardev", "");
        row("link to a device node", "n=chardev t=->n", "");
    }
    void linksAndSpecialFiles()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QTemporaryDir tmp;
        QStringList names;
        for (const QString &b : before) {
            const QString name = b.section(u'=', 0, 0);
            if (!make(tmp.path(), name, b.section(u'=', 1))) {
                if (b.endsWith(QStringLiteral("chardev")) && ::geteuid() != 0)
                    QSKIP("making a device node needs root");
                QFAIL(qPrintable(QStringLiteral("cannot make ") + b));
            }
            names << name;
        }
        QStringList expected;
        if (after.isEmpty()) {
            for (const QString &n : names)
                expected << n + u'=' + what(tmp.filePath(n));
        } else {
            expected = after;
        }
        const QString t = tmp.filePath(QStringLiteral("t"));
        QString message;
        for (const Writer &writer : { Writer([](const QString &f) { SafeSave::write(f, "new"); }),
                 Writer([](const QString &f) { ListFile::write(f, {}, TextCodec::Encoding::Ansi); }) }) {
            try {
                writer(t);
            } catch (const SkylarkError &e) {
                message = e.message();
            }
            if (!after.isEmpty())
                break; // the list's bytes differ: the first save is the one compared
        }
        QCOMPARE(message, after.isEmpty() ? QStringLiteral("Unable to write to ") + t : QString());
        QStringList seen;
        for (const QString &e : expected)
            seen << e.section(u'=', 0, 0) + u'=' + what(tmp.filePath(e.section(u'=', 0, 0)));
        QCOMPARE(seen, expected);
        // No temporary file is left beside any of them.
        QStringList all
            = QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &n : std::as_const(all))
            QVERIFY2(!SafeSave::isLeftoverName(n), qPrintable(n));
        QCOMPARE(SafeSave::target(t).isEmpty(), after.isEmpty());
    }

    // A replaced file keeps its mode; a new one gets the usual one.
    void replacedFileKeepsItsMode()
    {
        QTemporaryDir tmp;
        const QString f = tmp.filePath(QStringLiteral("f"));
        QVERIFY(make(tmp.path(), QStringLiteral("f"), QStringLiteral("file")));
        QVERIFY(::chmod(QFile::encodeName(f).constData(), 0640) == 0);
        SafeSave::write(f, "new");
        struct stat st = {};
        QVERIFY(::stat(QFile::encodeName(f).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QCOMPARE(readAll(f), QByteArray("new"));
    }

    // Nothing is written that could not be read back: the old file stays and the message says why.
    void neverWritesWhatCannotBeReadBack()
    {
        QTemporaryDir tmp;
        const QString f = tmp.filePath(QStringLiteral("list.txt"));
        QVERIFY(make(tmp.path(), QStringLiteral("list.txt"), QStringLiteral("file")));
        QString message;
        try {
            SafeSave::write(f, QByteArray(BoundedRead::kMaxFileSize + 1, 'x'));
        } catch (const SkylarkError &e) {
            message = e.message();
        }
        QVERIFY2(message.startsWith(QStringLiteral("Unable to write to ") + f
                     + QStringLiteral(": it would be 16777217 bytes, larger than the 16 MiB")),
            qPrintable(message));
        QCOMPARE(readAll(f), QByteArray("old"));
        SafeSave::write(f, QByteArray(BoundedRead::kMaxFileSize, 'x'));
        QCOMPARE(QFileInfo(f).size(), BoundedRead::kMaxFileSize);
    }

    // Leftovers of saves killed half-way are removed by their names alone, once settled, and
    // only regular files; everything else in the folder stays.
    void removeLeftovers_onlyOurOwnSettledFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("old");
        QTest::addColumn<bool>("removed");
        auto row = [](const char *name, const char *file, const char *kind, bool old, bool removed) {
            QTest::newRow(name) << QString::fromLatin1(file) << QString::fromLatin1(kind) << old << removed;
        };
        row("ours", ".AutoSaveList.txt.skylark-save-Ab12Cd", "file", true, true);
        row("ours, a user's list", ".hosts.txt.skylark-save-zzzzzz", "file", true, true);
        row("earlier, the list", "AutoSaveList.txt.MSQvYq", "file", true, true);
        row("earlier, the settings", "Skylark.INI.a1B2c3", "file", true, true);
        row("ours, written just now", ".Skylark.INI.skylark-save-Ab12Cd", "file", false, false);
        row("a user's backup", "hosts.txt.backup", "file", true, false);
        row("a user's file of a fixed name", "AutoSaveList.txt.old", "file", true, false);
        row("ours, too long", ".a.skylark-save-Ab12Cde", "file", true, false);
        row("our name on a link", ".x.skylark-save-Ab12Cd", "->x", true, false);
        row("our name on a folder", ".x.skylark-save-Ab12Cd", "folder", true, false);
        row("our name on a FIFO", ".x.skylark-save-Ab12Cd", "fifo", true, false);
    }
    void removeLeftovers_onlyOurOwnSettledFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, old);
        QFETCH(bool, removed);
        QTemporaryDir tmp;
        QVERIFY(make(tmp.path(), QStringLiteral("x"), QStringLiteral("file")));
        QVERIFY(make(tmp.path(), name, kind));
        if (old) {
            const struct timeval twoMinutesAgo[2] = { { ::time(nullptr) - 120, 0 }, { ::time(nullptr) - 120, 0 } };
            QVERIFY(::lutimes(QFile::encodeName(tmp.filePath(name)).constData(), twoMinutesAgo) == 0);
        }
        QCOMPARE(SafeSave::removeLeftovers(tmp.path() + u'/'), removed ? 1 : 0);
        QCOMPARE(what(tmp.filePath(name)) == QStringLiteral("none"), removed);
        QCOMPARE(what(tmp.filePath(QStringLiteral("x"))), QStringLiteral("file:old"));
    }

    void tryWrite_reportsFailureWithoutRaising()
    {
        QTemporaryDir tmp;
        QVERIFY(!SafeSave::tryWrite(tmp.path() + QStringLiteral("/no/such/folder/file"), "x"));
        const QString ok = tmp.path() + QStringLiteral("/file");
        QVERIFY(SafeSave::tryWrite(ok, QByteArray()));
        QCOMPARE(readAll(ok), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestSafeSave)
#include "tst_safesave.moc"
