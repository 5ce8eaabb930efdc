// Load List File and Save List File through the main window's shared file dialogs.
#include "../support/fulldisk.h"
#include "../support/oddfiles.h"
#include "listfile.h"
#include "mainform.h"
#include "mostrecentfiles.h"
#include "scripted.h"
#include "selectfiledlg.h"
#include "selectfileframe.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/fsuid.h>
#include <unistd.h>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QLineEdit *nameEdit(QFileDialog *d)
{
    return d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

// The names the dialog shows in its folder.
QStringList listedNow(QFileDialog *d)
{
    auto *view = d->findChild<QListView *>(QStringLiteral("listView"));
    QStringList out;
    for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
        out.append(view->model()->index(i, 0, view->rootIndex()).data().toString());
    out.sort();
    return out;
}

// The names shown once the dialog has read its folder and shows `expected` (or gives up).
QStringList listed(QFileDialog *d, const QString &expected)
{
    if (!QTest::qWaitFor([&] { return listedNow(d).contains(expected); }, 3000))
        qWarning("%s never listed", qPrintable(expected));
    return listedNow(d);
}

// Answers the next file dialog: `inspect` sees it first, then `name` is typed (unless null)
// and the dialog accepted. A box the dialog shows then (Qt's own "File not found") is answered
// with its first button and its text kept in `said`; a dialog still open at the end is closed.
void answerFileDialog(
    const QString &name, const std::function<void(QFileDialog *)> &inspect = {}, QString *said = nullptr)
{
    QTimer::singleShot(30, [=] {
        auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY2(d, "no file dialog");
        QVERIFY(d->testOption(QFileDialog::DontUseNativeDialog));
        if (inspect)
            inspect(d);
        if (!name.isNull())
            nameEdit(d)->setText(name);
        // Only a box shown while this dialog is being accepted is this call's to answer.
        auto accepting = std::make_shared<bool>(true);
        QTimer::singleShot(50, [=] {
            if (!*accepting)
                return;
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                if (said)
                    *said = box->text();
                box->buttons().constFirst()->click();
            }
        });
        static_cast<QDialog *>(d)->accept();
        *accepting = false;
        if (d->isVisible())
            d->reject();
    });
}

// While it lives, answers the question whether to replace a file (asked once the save dialog
// has closed) with `answer`, and keeps the question's text in `asked`.
class ReplaceAnswer
{
public:
    explicit ReplaceAnswer(QMessageBox::StandardButton answer)
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && box->objectName() == QStringLiteral("ReplaceFileBox")) {
                asked = box->text();
                box->button(answer)->click();
            }
        });
        m_poll.start();
    }
    QString asked;

private:
    QTimer m_poll;
};
} // namespace

class TestListFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<TMainForm> form;

    QString lst(const QString &name) const { return form->LstDir + name; }

private slots:
    void init()
    {
        world = std::make_unique<ScriptedWorld>();
        form = makeMainForm();
    }
    void cleanup()
    {
        form.reset();
        world.reset();
    }

    void sharedDialogs_qtOwnOverwritePromptOff()
    {
        QCOMPARE(form->OpenDialog->objectName(), QStringLiteral("OpenDialog"));
        QCOMPARE(form->SaveDialog->objectName(), QStringLiteral("SaveDialog"));
        for (QFileDialog *d : { form->OpenDialog, form->SaveDialog }) {
            QVERIFY(d->testOption(QFileDialog::DontUseNativeDialog));
            // The commands ask about replacing a file themselves, about the name written.
            QVERIFY(d->testOption(QFileDialog::DontConfirmOverwrite));
            QCOMPARE(d->parent(), form.get());
        }
        QCOMPARE(form->OpenDialog->fileMode(), QFileDialog::ExistingFile);
    }

    // The dialog opens in LstDir, lists "x.txt" under "*.TXT" and every file under "*";
    // the list keeps blank and blank-padded entries and the file becomes the most recent.
    void loadListFile_dialogInLstDirLoadsAndRecords()
    {
        writeFile(lst(QStringLiteral("x.txt")), "  padded\r\n\r\nplain\r\n");
        writeFile(lst(QStringLiteral("Y.TXT")), "y\r\n");
        writeFile(lst(QStringLiteral("noext")), "n\r\n");
        QStringList filters, textFiles;
        QString folder;
        answerFileDialog(QStringLiteral("x.txt"), [&](QFileDialog *d) {
            filters = d->nameFilters();
            folder = d->directory().absolutePath() + u'/';
            textFiles = listed(d, QStringLiteral("x.txt"));
        });
        form->aLoadListFile->trigger();
        QCOMPARE(folder, form->LstDir);
        QCOMPARE(filters, (QStringList { QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)") }));
        QCOMPARE(textFiles, (QStringList { QStringLiteral("Y.TXT"), QStringLiteral("x.txt") }));
        QCOMPARE(form->HostLines(), (QStringList { QStringLiteral("  padded"), QString(), QStringLiteral("plain") }));
        QCOMPARE(form->MostRecentFiles->Files(), QStringList { lst(QStringLiteral("x.txt")) });

        // Next time the dialog proposes the name last chosen; "All Files" shows the rest.
        QString proposed;
        QStringList allFiles;
        answerFileDialog(QString(), [&](QFileDialog *d) {
            proposed = nameEdit(d)->text();
            d->selectNameFilter(QStringLiteral("All Files (*)"));
            allFiles = listed(d, QStringLiteral("noext"));
            nameEdit(d)->setText(QStringLiteral("noext"));
        });
        form->aLoadListFile->trigger();
        QCOMPARE(proposed, QStringLiteral("x.txt"));
        QVERIFY(allFiles.contains(QStringLiteral("noext")));
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("n") });
        QVERIFY(world->errors.messages.isEmpty());
    }

    // The open dialog takes only a file that is there: it says so and stays open.
    void loadListFile_missingNameChangesNothing()
    {
        form->SetHostLines({ QStringLiteral("kept") });
        QString said;
        answerFileDialog(QStringLiteral("not-there.txt"), {}, &said);
        form->aLoadListFile->trigger();
        QVERIFY2(said.contains(QStringLiteral("not-there.txt")) && said.contains(QStringLiteral("not found")),
            qPrintable(said));
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("kept") });
        QCOMPARE(form->MostRecentFiles->Files(), QStringList());
        QVERIFY(world->errors.messages.isEmpty());
    }

    void loadListFile_unreadableShowsErrorKeepsList()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to read as another user");
        const QString file = lst(QStringLiteral("secret.txt"));
        writeFile(file, "hidden\r\n");
        QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
        // Every folder on the way may be passed by others; the file itself may not be read.
        for (QDir d(form->LstDir); d.absolutePath() != QDir::rootPath(); d.cdUp())
            QFile::setPermissions(d.absolutePath(), QFile::permissions(d.absolutePath()) | QFileDevice::ExeOther);
        form->SetHostLines({ QStringLiteral("kept") });
        answerFileDialog(QStringLiteral("secret.txt"));
        struct AsNobody
        {
            AsNobody() { ::setfsuid(65534); }
            ~AsNobody() { ::setfsuid(0); }
        };
        {
            // Only for the load: the dialog's own folder reading runs on a thread of its own.
            auto guard = std::make_unique<AsNobody>();
            form->aLoadListFile->trigger();
        }
        QCOMPARE(world->errors.messages.size(), 1);
        QVERIFY2(world->errors.messages.front().startsWith(QStringLiteral("Cannot open file \"") + file),
            qPrintable(world->errors.messages.front()));
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("kept") });
        QCOMPARE(form->MostRecentFiles->Files(), QStringList());
    }

    void saveListFile_extensionRule_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("no extension: .txt added") << QStringLiteral("hosts") << QStringLiteral("hosts.txt");
        QTest::newRow("other extension kept") << QStringLiteral("hosts.lst") << QStringLiteral("hosts.lst");
        QTest::newRow(".TXT kept") << QStringLiteral("HOSTS.TXT") << QStringLiteral("HOSTS.TXT");
    }
    void saveListFile_extensionRule()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        form->SetHostLines({ QStringLiteral("  a"), QString(), QStringLiteral("b") });
        QString folder;
        answerFileDialog(typed, [&](QFileDialog *d) { folder = d->directory().absolutePath() + u'/'; });
        form->aSaveListFile->trigger();
        QCOMPARE(folder, form->LstDir);
        QCOMPARE(readFile(lst(written)), QByteArray("  a\r\n\r\nb\r\n"));
        QCOMPARE(QDir(form->LstDir).entryList(QDir::Files), QStringList { written });
        QCOMPARE(form->MostRecentFiles->Files(), QStringList()); // saves are not recorded
    }

    // Saving again without typing writes the same file: the dialog keeps the name as chosen,
    // and its filters give no name a ".TXT" of their own.
    void saveListFile_saveAgainWritesTheSameFile()
    {
        form->SetHostLines({ QStringLiteral("first") });
        answerFileDialog(QStringLiteral("hosts.txt"));
        form->aSaveListFile->trigger();
        form->SetHostLines({ QStringLiteral("second") });
        QString proposed;
        answerFileDialog(QString(), [&](QFileDialog *d) {
            // Picking the other filter and back, as a user looking around might.
            auto *types = d->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            types->setCurrentIndex(1);
            types->activated(1);
            types->setCurrentIndex(0);
            types->activated(0);
            proposed = nameEdit(d)->text();
        });
        ReplaceAnswer replace(QMessageBox::Yes);
        form->aSaveListFile->trigger();
        QCOMPARE(proposed, QStringLiteral("hosts.txt"));
        QCOMPARE(QDir(form->LstDir).entryList(QDir::Files), QStringList { QStringLiteral("hosts.txt") });
        QCOMPARE(readFile(lst(QStringLiteral("hosts.txt"))), QByteArray("second\r\n"));
    }

    // Replacing a file is always asked about, for the name really written ("board" is saved
    // as "board.txt"); No goes back to the dialog, Yes replaces the file.
    void saveListFile_asksBeforeReplacingTheNameWritten()
    {
        const QString file = lst(QStringLiteral("board.txt"));
        writeFile(file, "before\r\n");
        form->SetHostLines({ QStringLiteral("new") });
        {
            answerFileDialog(QStringLiteral("board"));
            ReplaceAnswer replace(QMessageBox::No);
            bool shownAgain = false;
            QTimer::singleShot(300, [&] {
                auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                shownAgain = d == form->SaveDialog && nameEdit(d)->text() == QStringLiteral("board");
                if (d)
                    d->reject();
            });
            form->aSaveListFile->trigger();
            QCOMPARE(replace.asked, QStringLiteral("\"%1\" already exists.\nDo you want to replace it?").arg(file));
            QVERIFY(shownAgain);
            QCOMPARE(readFile(file), QByteArray("before\r\n"));
        }
        {
            answerFileDialog(QStringLiteral("board"));
            ReplaceAnswer replace(QMessageBox::Yes);
            form->aSaveListFile->trigger();
            QVERIFY(replace.asked.contains(file));
            QCOMPARE(readFile(file), QByteArray("new\r\n"));
        }
        {
            // A name that is free is written without a question.
            answerFileDialog(QStringLiteral("other"));
            ReplaceAnswer replace(QMessageBox::No);
            form->aSaveListFile->trigger();
            QCOMPARE(readFile(lst(QStringLiteral("other.txt"))), QByteArray("new\r\n"));
            QVERIFY(replace.asked.isEmpty());
        }
        QVERIFY(world->errors.messages.isEmpty());
    }

    // Anything but a regular file of at most 16 MiB is refused with a message naming it,
    // whichever way it is loaded, and the list and the recent files stay as they were.
    void loadListFile_specialFilesRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("way");
        QTest::newRow("folder, chooser") << QStringLiteral("folder") << QStringLiteral("chooser");
        QTest::newRow("FIFO, recent files") << QStringLiteral("fifo") << QStringLiteral("recent");
        QTest::newRow("FIFO, open dialog") << QStringLiteral("fifo") << QStringLiteral("dialog");
        QTest::newRow("link to /dev/zero, recent files") << QStringLiteral("devzero") << QStringLiteral("recent");
        QTest::newRow("16 MiB and a byte, open dialog") << QStringLiteral("huge") << QStringLiteral("dialog");
    }
    void loadListFile_specialFilesRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, way);
        const QString file = lst(QStringLiteral("odd.txt"));
        QVERIFY(makeSpecialFile(file, kind));
        form->SetHostLines({ QStringLiteral("kept") });
        QStringList recent;
        if (way == QStringLiteral("recent")) {
            form->MostRecentFiles->AddFile(file);
            recent = form->MostRecentFiles->Files();
            for (QAction *a : form->mmiFile->actions())
                if (a->text().endsWith(file))
                    a->trigger();
        } else if (way == QStringLiteral("dialog")) {
            answerFileDialog(QStringLiteral("odd.txt"));
            form->aLoadListFile->trigger();
        } else {
            QTimer::singleShot(30, [this] {
                TSelectFileFrame *f = form->SelectFileDlg->SelectFileFrame;
                const auto items = f->FileListBox->findItems(QStringLiteral("odd.txt"), Qt::MatchExactly);
                QVERIFY(!items.isEmpty());
                QTest::mousePress(f->FileListBox->viewport(), Qt::LeftButton, {},
                    f->FileListBox->visualItemRect(items.front()).center());
            });
            form->aSelectListFile->trigger();
        }
        QCOMPARE(world->errors.messages,
            QStringList { QStringLiteral("Cannot open file \"%1\": %2").arg(file, specialFileReason(kind)) });
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("kept") });
        QCOMPARE(form->MostRecentFiles->Files(), recent);
    }

    // A save that fails on a full disk reports it and leaves the old file whole.
    void saveListFile_fullDiskKeepsOldFile()
    {
        const QString full = form->LstDir + QStringLiteral("full");
        FullDisk disk(full);
        if (!disk.available())
            QSKIP("needs root to mount a small file system");
        const QString file = full + QStringLiteral("/kept.txt");
        writeFile(file, "old-one\r\nold-two\r\n");
        disk.fill();
        QStringList big;
        for (int i = 0; i < 2000; ++i)
            big.append(QStringLiteral("host%1.example.org").arg(i));
        form->SetHostLines(big);
        answerFileDialog(QStringLiteral("full/kept.txt"));
        ReplaceAnswer replace(QMessageBox::Yes);
        form->aSaveListFile->trigger();
        QVERIFY(!replace.asked.isEmpty());
        QCOMPARE(world->errors.messages, QStringList { QStringLiteral("Unable to write to ") + file });
        QCOMPARE(readFile(file), QByteArray("old-one\r\nold-two\r\n"));
        QCOMPARE(QDir(full).entryList(QDir::Files | QDir::Hidden),
            (QStringList { QStringLiteral(".filler"), QStringLiteral("kept.txt") }));
        QCOMPARE(form->HostLines().size(), 2000);
    }

    // A Windows-1252 list goes back in Windows-1252 while everything fits; a character
    // beyond it turns the file into UTF-8 with a mark.
    void windows1252List_savedBackInItsEncoding()
    {
        const QByteArray cp1252("caf\xE9.example\r\n\x80uro\r\n");
        writeFile(lst(QStringLiteral("win.txt")), cp1252);
        form->LoadListFile(lst(QStringLiteral("win.txt")));
        QCOMPARE(form->HostLines(), (QStringList { QStringLiteral("café.example"), QStringLiteral("€uro") }));
        answerFileDialog(QStringLiteral("copy.txt"));
        form->aSaveListFile->trigger();
        QCOMPARE(readFile(lst(QStringLiteral("copy.txt"))), cp1252);

        QStringList more = form->HostLines();
        more.append(QStringLiteral("Łódź"));
        form->SetHostLines(more);
        answerFileDialog(QStringLiteral("copy.txt"));
        ReplaceAnswer replace(QMessageBox::Yes);
        form->aSaveListFile->trigger();
        QCOMPARE(readFile(lst(QStringLiteral("copy.txt"))),
            QByteArray("\xEF\xBB\xBF"
                       "caf\xC3\xA9.example\r\n\xE2\x82\xACuro\r\n\xC5\x81\xC3\xB3"
                       "d\xC5\xBA\r\n"));
        QCOMPARE(ListFile::read(lst(QStringLiteral("copy.txt"))).lines, more);
    }

    // A list with LF line ends keeps them: saved under another name, and as the autosaved
    // list at the close.
    void lfList_savedBackWithLf()
    {
        const QByteArray lf("one.example\ntwo.example\n");
        writeFile(lst(QStringLiteral("lf.txt")), lf);
        form->LoadListFile(lst(QStringLiteral("lf.txt")));
        answerFileDialog(QStringLiteral("copy.txt"));
        form->aSaveListFile->trigger();
        QCOMPARE(readFile(lst(QStringLiteral("copy.txt"))), lf);

        form->close();
        const QString autosaved = lst(QStringLiteral("AutoSaveList.txt"));
        QCOMPARE(readFile(autosaved), lf);
        form.reset();
        form = makeMainForm();
        QCOMPARE(form->HostLines(), (QStringList { QStringLiteral("one.example"), QStringLiteral("two.example") }));
        form->close();
        QCOMPARE(readFile(autosaved), lf);
        QVERIFY(world->errors.messages.isEmpty());
    }

    // The three ways to load a list, then a restart: all three in the File menu, newest first.
    void threeWaysThenRestart_recentFilesKept()
    {
        for (const char *n : { "one.txt", "two.txt", "three.txt" })
            writeFile(lst(QString::fromLatin1(n)), QByteArray(n) + "\r\n");
        QTimer::singleShot(30, [this] {
            TSelectFileFrame *f = form->SelectFileDlg->SelectFileFrame;
            const auto items = f->FileListBox->findItems(QStringLiteral("one.txt"), Qt::MatchExactly);
            QVERIFY(!items.isEmpty());
            QTest::mousePress(
                f->FileListBox->viewport(), Qt::LeftButton, {}, f->FileListBox->visualItemRect(items.front()).center());
        });
        form->aSelectListFile->trigger();
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("one.txt") });
        answerFileDialog(QStringLiteral("two.txt"));
        form->aLoadListFile->trigger();
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("two.txt") });
        form->MostRecentFiles->AddFile(lst(QStringLiteral("three.txt")));
        form->MostRecentFiles->AddFile(lst(QStringLiteral("two.txt")));
        // Now: two, three, one. The menu entry of "one" loads it and moves it up.
        QAction *third = nullptr;
        for (QAction *a : form->mmiFile->actions())
            if (a->text() == QStringLiteral("&3  ") + lst(QStringLiteral("one.txt")))
                third = a;
        QVERIFY(third);
        third->trigger();
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("one.txt") });

        form->close();
        form.reset();
        form = makeMainForm();
        QStringList entries;
        for (QAction *a : form->mmiFile->actions())
            if (a->property(TMostRecentFiles::kTagProperty).toInt() == TMostRecentFiles::MruItemTag
                && !a->isSeparator())
                entries.append(a->text());
        QCOMPARE(entries,
            (QStringList { QStringLiteral("&1  ") + lst(QStringLiteral("one.txt")),
                QStringLiteral("&2  ") + lst(QStringLiteral("two.txt")),
                QStringLiteral("&3  ") + lst(QStringLiteral("three.txt")) }));
        QVERIFY(world->errors.messages.isEmpty());
    }
};

QTEST_MAIN(TestListFiles)
#include "tst_listfiles.moc"
