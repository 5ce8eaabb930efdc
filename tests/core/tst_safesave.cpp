// Saves on a full disk: the old file must survive byte for byte, and the failure must be told.
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
