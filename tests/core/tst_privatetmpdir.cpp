// Skylark's folder for temporary files: private to the user, and never one that someone else
// prepared in a shared temporary folder.
#include "utlunit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr uid_t kOtherUser = 65534;

struct Owner
{
    bool exists = false, dir = false, link = false;
    uid_t uid = 0;
    mode_t mode = 0;
};

Owner ownerOf(const QString &path)
{
    struct stat st;
    Owner o;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return o;
    o.exists = true;
    o.dir = S_ISDIR(st.st_mode);
    o.link = S_ISLNK(st.st_mode);
    o.uid = st.st_uid;
    o.mode = st.st_mode & 07777;
    return o;
}

// The folder and its parent are this user's folders that no one else may enter.
void verifyPrivate(const QString &tmpDir)
{
    QVERIFY2(tmpDir.endsWith(QStringLiteral("/TMP/")), qPrintable(tmpDir));
    for (const QString &d : { tmpDir.chopped(1), tmpDir.chopped(5) }) {
        const Owner o = ownerOf(d);
        QVERIFY2(o.dir && !o.link, qPrintable(d));
        QCOMPARE(o.uid, ::geteuid());
        QCOMPARE(o.mode, mode_t(0700));
    }
}
} // namespace

class TestPrivateTmpDir : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> runtime, temp;
    QString mine() const { return temp->path() + QStringLiteral("/Skylark-%1").arg(::geteuid()); }

private slots:
    void init()
    {
        runtime = std::make_unique<QTemporaryDir>();
        temp = std::make_unique<QTemporaryDir>();
        ::chmod(QFile::encodeName(temp->path()).constData(), 01777); // as /tmp is
    }
    void cleanup()
    {
        runtime.reset();
        temp.reset();
    }

    void runtimeFolder_used_whenThereIsOne()
    {
        ::umask(022);
        const QString dir = UtlUnit::PrivateTmpDir(runtime->path(), temp->path());
        QCOMPARE(dir, runtime->path() + QStringLiteral("/Skylark/TMP/"));
        verifyPrivate(dir);
        // A second start finds the same folder and keeps it.
        QCOMPARE(UtlUnit::PrivateTmpDir(runtime->path(), temp->path()), dir);
        QVERIFY(!ownerOf(mine()).exists);
    }

    void withoutRuntimeFolder_perUserFolderInTemp()
    {
        const QString dir = UtlUnit::PrivateTmpDir(QString(), temp->path());
        QCOMPARE(dir, mine() + QStringLiteral("/TMP/"));
        verifyPrivate(dir);
    }

    void ownFolderLeftOpen_isClosed()
    {
        QVERIFY(QDir().mkpath(mine() + QStringLiteral("/TMP")));
        ::chmod(QFile::encodeName(mine()).constData(), 0777);
        ::chmod(QFile::encodeName(mine() + QStringLiteral("/TMP")).constData(), 0755);
        const QString dir = UtlUnit::PrivateTmpDir(QString(), temp->path());
        QCOMPARE(dir, mine() + QStringLiteral("/TMP/"));
        verifyPrivate(dir);
    }

    // What another user can leave under our folder's name in a shared temporary folder:
    // their own folder, or a link to a place of their choice. Neither is used or changed.
    void planted_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("another user's folder") << QStringLiteral("folder");
        QTest::newRow("link to a folder") << QStringLiteral("link");
        QTest::newRow("link to nowhere") << QStringLiteral("dangling");
        QTest::newRow("a file") << QStringLiteral("file");
    }
    void planted()
    {
        QFETCH(QString, kind);
        if (kind == QStringLiteral("folder") && ::geteuid() != 0)
            QSKIP("needs root to make a folder of another user");
        const QString elsewhere = temp->path() + QStringLiteral("/chosen");
        const QByteArray name = QFile::encodeName(mine());
        if (kind == QStringLiteral("folder")) {
            QVERIFY(QDir().mkdir(mine()));
            ::chmod(name.constData(), 0777);
            QCOMPARE(::chown(name.constData(), kOtherUser, kOtherUser), 0);
        } else if (kind == QStringLiteral("link")) {
            QVERIFY(QDir().mkdir(elsewhere));
            QVERIFY(QFile::link(elsewhere, mine()));
        } else if (kind == QStringLiteral("dangling")) {
            QVERIFY(QFile::link(elsewhere, mine()));
        } else {
            QFile f(mine());
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const Owner before = ownerOf(mine());

        const QString dir = UtlUnit::PrivateTmpDir(QString(), temp->path());
        QVERIFY2(!dir.isEmpty(), "no folder at all");
        QVERIFY2(!dir.startsWith(mine() + u'/'), qPrintable(dir));
        QVERIFY2(QFileInfo(dir).canonicalFilePath().startsWith(QFileInfo(temp->path()).canonicalFilePath() + u'/'),
            qPrintable(dir));
        verifyPrivate(dir);
        // The planted entry is as it was, and nothing was made through it.
        const Owner after = ownerOf(mine());
        QCOMPARE(after.uid, before.uid);
        QCOMPARE(after.mode, before.mode);
        QVERIFY(!ownerOf(elsewhere + QStringLiteral("/TMP")).exists);
        if (after.dir && !after.link)
            QVERIFY(QDir(mine()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }

    void runtimeFolderTaken_fallsBackToTemp()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make a folder of another user");
        const QByteArray taken = QFile::encodeName(runtime->path() + QStringLiteral("/Skylark"));
        QCOMPARE(::mkdir(taken.constData(), 0777), 0);
        QCOMPARE(::chown(taken.constData(), kOtherUser, kOtherUser), 0);
        const QString dir = UtlUnit::PrivateTmpDir(runtime->path(), temp->path());
        QCOMPARE(dir, mine() + QStringLiteral("/TMP/"));
        verifyPrivate(dir);
    }
};

QTEST_GUILESS_MAIN(TestPrivateTmpDir)
#include "tst_privatetmpdir.moc"
