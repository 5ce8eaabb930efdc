// The recent-files component on its own menu and as the main window's File menu entries.
#include "hostlistbox.h"
#include "listfile.h"
#include "mainform.h"
#include "mostrecentfiles.h"
#include "skylarkerror.h"
#include "scripted.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace {
// The menu's items, one text each: "-" for a separator, "*" marks the component's own items.
QStringList menuShape(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions()) {
        const bool own = a->property(TMostRecentFiles::kTagProperty).toInt() == TMostRecentFiles::MruItemTag;
        out.append((own ? QStringLiteral("*") : QString()) + (a->isSeparator() ? QStringLiteral("-") : a->text()));
    }
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QAction *entry(const QMenu *menu, int k)
{
    int seen = 0;
    for (QAction *a : menu->actions())
        if (a->property(TMostRecentFiles::kTagProperty).toInt() == TMostRecentFiles::MruItemTag && !a->isSeparator())
            if (seen++ == k)
                return a;
    return nullptr;
}
} // namespace

class TestMostRecentFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;

    // A list file in LstDir holding one host, its name.
    QString listFile(TMainForm *form, const QString &name)
    {
        const QString path = form->LstDir + name;
        writeFile(path, (name + QStringLiteral(".host\r\n")).toUtf8());
        return path;
    }

private slots:
    void init() { world = std::make_unique<ScriptedWorld>(); }
    void cleanup() { world.reset(); }

    void fileMenu_emptyThenOneEntry()
    {
        auto form = makeMainForm();
        const QStringList plain { QStringLiteral("&Select List File"), QStringLiteral("&Load List File"),
            QStringLiteral("Sa&ve List File"), QStringLiteral("-"), QStringLiteral("&Directories"), QStringLiteral("-"),
            QStringLiteral("E&xit") };
        QCOMPARE(menuShape(form->mmiFile), plain);

        const QString a = listFile(form.get(), QStringLiteral("a.txt"));
        form->LoadListFile(a);
        QStringList one = plain;
        one.insert(3, QStringLiteral("*-"));
        one.insert(4, QStringLiteral("*&1  ") + a);
        QCOMPARE(menuShape(form->mmiFile), one);
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("a.txt.host") });
    }

    // Three names in the INI file; the File menu numbers them; clicking the third moves it to
    // the top, renumbers and loads it; the list is written back at the end of the run.
    void clickThirdEntry_movesToTopAndLoads()
    {
        const QString dta = world->home.dtaDir();
        const QString lst = dta + QStringLiteral("LST/");
        QDir().mkpath(lst);
        for (const char *n : { "a.txt", "b.txt", "c&d.txt" })
            writeFile(lst + QString::fromLatin1(n), QByteArray(n) + "-host\r\n\r\n  padded\r\n");
        writeFile(dta + QStringLiteral("LoadFile-MRU.INI"),
            "[MRU List]\n1=" + lst.toUtf8() + "a.txt\n2=" + lst.toUtf8() + "b.txt\n3=" + lst.toUtf8()
                + "c&d.txt\n4=\n");
        auto form = makeMainForm();
        QCOMPARE(entry(form->mmiFile, 2)->text(), QStringLiteral("&3  ") + lst + QStringLiteral("c&&d.txt"));

        entry(form->mmiFile, 2)->trigger();
        QCOMPARE(
            form->HostLines(), (QStringList { QStringLiteral("c&d.txt-host"), QString(), QStringLiteral("  padded") }));
        QCOMPARE(form->MostRecentFiles->Files(),
            (QStringList {
                lst + QStringLiteral("c&d.txt"), lst + QStringLiteral("a.txt"), lst + QStringLiteral("b.txt") }));
        QCOMPARE(entry(form->mmiFile, 0)->text(), QStringLiteral("&1  ") + lst + QStringLiteral("c&&d.txt"));
        QCOMPARE(entry(form->mmiFile, 1)->text(), QStringLiteral("&2  ") + lst + QStringLiteral("a.txt"));
        QVERIFY(!entry(form->mmiFile, 3));

        form->close();
        form.reset();
        QFile ini(dta + QStringLiteral("LoadFile-MRU.INI"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray l = lst.toUtf8();
        QCOMPARE(
            ini.readAll(), "[MRU List]\n1=" + l + "c&d.txt\n2=" + l + "a.txt\n3=" + l + "b.txt\n4=\n5=\n6=\n7=\n8=\n");
    }

    void clickDeletedFile_messageRemovesEntryLoadsNothing()
    {
        auto form = makeMainForm();
        const QString a = listFile(form.get(), QStringLiteral("a.txt"));
        const QString gone = listFile(form.get(), QStringLiteral("gone.txt"));
        form->LoadListFile(a);
        form->LoadListFile(gone);
        form->SetHostLines({ QStringLiteral("kept") });
        QFile::remove(gone);

        QString shownText, shownTitle;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(50, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownText = box->text();
            shownTitle = box->windowTitle();
            icon = box->icon();
            QCOMPARE(box->buttons().size(), 1);
            box->buttons().front()->click();
        });
        entry(form->mmiFile, 0)->trigger();
        QCOMPARE(shownText, QStringLiteral("The file ...\n\"") + gone + QStringLiteral("\"\nno longer exists."));
        QCOMPARE(shownTitle, QGuiApplication::applicationDisplayName());
        QCOMPARE(icon, QMessageBox::Information);
        QCOMPARE(form->MostRecentFiles->Files(), QStringList { a });
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("kept") });
        QCOMPARE(entry(form->mmiFile, 0)->text(), QStringLiteral("&1  ") + a);
        QVERIFY(!entry(form->mmiFile, 1));
        QVERIFY(world->errors.messages.isEmpty());
    }

    // A load that never started (file missing) and one that failed (unreadable) leave the
    // recent files alone.
    void missingFile_notRecorded()
    {
        auto form = makeMainForm();
        form->LoadListFile(form->LstDir + QStringLiteral("none.txt"));
        // A folder is no list file: it is refused with a message.
        QVERIFY_THROWS_EXCEPTION(SkylarkError, form->LoadListFile(form->LstDir));
        QCOMPARE(form->MostRecentFiles->Files(), QStringList());
        QCOMPARE(menuShape(form->mmiFile).size(), 7);
    }

    // Until the first activation names its file in DtaDir, nothing is written: a close right
    // after start must not put a file beside the program.
    void destroyedBeforeFirstActivation_writesNothing()
    {
        const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/")
            + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".ini");
        QFile::remove(besideProgram);
        {
            TMainForm form;
            QVERIFY(!form.FormActivated);
            QCOMPARE(form.MostRecentFiles->IniFilePath(), besideProgram);
            form.MostRecentFiles->AddFile(QStringLiteral("/somewhere/list.txt"));
        }
        QVERIFY(!QFile::exists(besideProgram));
        QVERIFY(!QFile::exists(world->home.dtaDir() + QStringLiteral("LoadFile-MRU.INI")));
    }

    void maxFiles_clampedAndNinthDropsOldest()
    {
        QMenu menu;
        TMostRecentFiles mru;
        mru.SetOwnerMenuItem(&menu);
        mru.Loaded();
        mru.SetMaxFiles(0);
        QCOMPARE(mru.MaxFiles(), 1);
        mru.SetMaxFiles(20);
        QCOMPARE(mru.MaxFiles(), 8);
        for (int i = 1; i <= 9; ++i)
            mru.AddFile(QStringLiteral("/l/f%1.txt").arg(i));
        QCOMPARE(mru.Files().size(), 8);
        QCOMPARE(mru.Files().front(), QStringLiteral("/l/f9.txt"));
        QCOMPARE(mru.Files().back(), QStringLiteral("/l/f2.txt"));
        // A smaller limit waits for the next addition.
        mru.SetMaxFiles(2);
        QCOMPARE(mru.Files().size(), 8);
        QCOMPARE(menuShape(&menu).size(), 8);
        mru.AddFile(QStringLiteral("/l/f3.txt"));
        QCOMPARE(mru.Files(), (QStringList { QStringLiteral("/l/f3.txt"), QStringLiteral("/l/f9.txt") }));
        // Captions with the file name only, entries at the top of a menu with items after them.
        menu.addAction(QStringLiteral("Other"));
        mru.SetShowFullPath(true);
        QCOMPARE(menuShape(&menu),
            (QStringList { QStringLiteral("*&1  /l/f3.txt"), QStringLiteral("*&2  /l/f9.txt"), QStringLiteral("*-"),
                QStringLiteral("Other") }));
        mru.SetShowFullPath(false);
        QCOMPARE(menuShape(&menu),
            (QStringList { QStringLiteral("*&1  f3.txt"), QStringLiteral("*&2  f9.txt"), QStringLiteral("*-"),
                QStringLiteral("Other") }));
    }

    void noOwnerMenu_addFileDoesNothing()
    {
        TMostRecentFiles mru;
        mru.Loaded();
        mru.AddFile(QStringLiteral("/l/a.txt"));
        QCOMPARE(mru.Files(), QStringList());
    }

    // With RegPath the user's settings store holds the list: values MRU1.. under that group.
    void regPath_storesInUserSettings()
    {
        QMenu menu;
        {
            TMostRecentFiles mru;
            mru.SetOwnerMenuItem(&menu);
            mru.SetRegPath(QStringLiteral("Recent/Lists"));
            mru.Loaded();
            mru.AddFile(QStringLiteral("/l/a.txt"));
            mru.AddFile(QStringLiteral("/l/b.txt"));
        }
        QSettings store(
            QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvid"), QStringLiteral("Skylark"));
        QCOMPARE(store.value(QStringLiteral("Recent/Lists/MRU1")).toString(), QStringLiteral("/l/b.txt"));
        QCOMPARE(store.value(QStringLiteral("Recent/Lists/MRU4")).toString(), QString());
        QVERIFY(store.contains(QStringLiteral("Recent/Lists/MRU4")));
        store.remove(QStringLiteral("Recent/Lists/MRU3"));
        store.sync();
        TMostRecentFiles back;
        back.SetOwnerMenuItem(&menu);
        back.SetRegPath(QStringLiteral("Recent/Lists"));
        back.Loaded();
        QCOMPARE(back.Files(), (QStringList { QStringLiteral("/l/b.txt"), QStringLiteral("/l/a.txt") }));
    }
};

QTEST_MAIN(TestMostRecentFiles)
#include "tst_mostrecentfiles.moc"
