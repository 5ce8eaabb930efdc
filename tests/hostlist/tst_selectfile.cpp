// The file chooser: listing, filtering, columns, the presses that pick, and Select List File.
#include "mainform.h"
#include "mostrecentfiles.h"
#include "scripted.h"
#include "selectfiledlg.h"
#include "selectfileframe.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
void touch(const QString &path, const QByteArray &bytes = QByteArray())
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QStringList shown(const TSelectFileFrame *frame)
{
    QStringList out;
    for (int i = 0; i < frame->FileListBox->count(); ++i)
        out.append(frame->FileListBox->item(i)->text());
    return out;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

QPoint centreOf(const TSelectFileFrame *frame, const QString &name)
{
    const auto items = frame->FileListBox->findItems(name, Qt::MatchExactly);
    return items.isEmpty() ? QPoint(-1, -1) : frame->FileListBox->visualItemRect(items.front()).center();
}
} // namespace

class TestSelectFile : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString path; // ends with "/"
    std::unique_ptr<TSelectFileDlg> dlg;

    TSelectFileFrame *frame() const { return dlg->SelectFileFrame; }
    void load(const QString &mask = QStringLiteral("*.txt"))
    {
        frame()->SetFileListPath(path);
        frame()->SetFileListMask(mask);
        frame()->LoadFileList();
    }
    // Runs the dialog modally while `during` acts on it; returns its result.
    int execWith(const std::function<void()> &during)
    {
        QTimer::singleShot(30, [this, during] {
            QCOMPARE(QApplication::activeModalWidget(), dlg.get());
            during();
            if (dlg->isVisible())
                dlg->reject();
        });
        return dlg->exec();
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        path = dir->path() + u'/';
        dlg = std::make_unique<TSelectFileDlg>();
    }
    void cleanup()
    {
        dlg.reset();
        dir.reset();
    }

    void dialog_namedAndTitled()
    {
        QCOMPARE(dlg->objectName(), QStringLiteral("SelectFileDlg"));
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Select File"));
        QCOMPARE(frame()->FilterEdit->placeholderText(), QStringLiteral("Filter"));
        QVERIFY(frame()->FileListBox->font().fixedPitch());
    }

    // Hidden files and folders that match are listed too; the mask ignores case.
    void listing_everyMatchingEntryWithoutRegardToCase()
    {
        for (const char *n : { "a.txt", "B.TXT", ".hidden.txt", "c.md", "noext", "d.Txt" })
            touch(path + QString::fromLatin1(n));
        QDir().mkpath(path + QStringLiteral("folder.txt"));
        QDir().mkpath(path + QStringLiteral("plainfolder"));
        load();
        QCOMPARE(sorted(shown(frame())),
            sorted({ QStringLiteral("a.txt"), QStringLiteral("B.TXT"), QStringLiteral(".hidden.txt"),
                QStringLiteral("d.Txt"), QStringLiteral("folder.txt") }));
        frame()->SetFileListPath(path + QStringLiteral("missing/"));
        frame()->LoadFileList();
        QCOMPARE(shown(frame()), QStringList());
    }

    void filter_narrowsAndReopeningShowsAllWithOldText()
    {
        for (const char *n : { "Office LAN.txt", "office-wan.txt", "servers.txt" })
            touch(path + QString::fromLatin1(n));
        load();
        frame()->FilterEdit->setText(QStringLiteral("OFFICE"));
        QCOMPARE(
            sorted(shown(frame())), sorted({ QStringLiteral("Office LAN.txt"), QStringLiteral("office-wan.txt") }));
        frame()->FilterEdit->setText(QStringLiteral(" lan"));
        QCOMPARE(shown(frame()), QStringList { QStringLiteral("Office LAN.txt") });
        frame()->FilterEdit->setText(QStringLiteral("  "));
        QCOMPARE(shown(frame()).size(), 3);
        frame()->FilterEdit->setText(QStringLiteral("serv"));
        QCOMPARE(shown(frame()), QStringList { QStringLiteral("servers.txt") });

        load(); // the next use: every file, the old text still in the edit
        QCOMPARE(shown(frame()).size(), 3);
        QCOMPARE(frame()->FilterEdit->text(), QStringLiteral("serv"));
        QTest::keyClick(frame()->FilterEdit, Qt::Key_E);
        QCOMPARE(shown(frame()), QStringList { QStringLiteral("servers.txt") });
        QTest::keyClick(frame()->FilterEdit, Qt::Key_Z);
        QCOMPARE(shown(frame()), QStringList());
    }

    void thirtyEntries_tenRowsFourColumns()
    {
        for (int i = 0; i < 30; ++i)
            touch(path + QStringLiteral("host%1.txt").arg(i, 2, 10, QLatin1Char('0')));
        dlg->resize(400, 300);
        frame()->FileListBox->setFixedHeight(150);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        load();
        QCOMPARE(frame()->FileListBox->viewport()->height(), 150);
        QCOMPARE(frame()->RowsPerColumn(), 10);
        QCOMPARE(frame()->ColumnCount(), 4);
        // Entries run down the first column, then down the next; the columns share the width.
        const int width = frame()->FileListBox->viewport()->width();
        const QRect tenth = frame()->FileListBox->visualItemRect(frame()->FileListBox->item(9));
        const QRect eleventh = frame()->FileListBox->visualItemRect(frame()->FileListBox->item(10));
        QCOMPARE(tenth.top(), 9 * TSelectFileFrame::kItemHeight);
        QCOMPARE(eleventh.top(), 0);
        QCOMPARE(eleventh.left(), qRound(width / 4.0));
        // A taller list: one column more rows, fewer columns.
        frame()->FileListBox->setFixedHeight(300);
        QTRY_COMPARE(frame()->RowsPerColumn(), 21);
        QCOMPARE(frame()->ColumnCount(), 2);
    }

    void rightPressOnSecond_picksItForEditing()
    {
        touch(path + QStringLiteral("first.txt"));
        touch(path + QStringLiteral("second.txt"));
        load();
        QString second = frame()->FileListBox->item(1)->text();
        frame()->FileListBox->setCurrentRow(0);
        const int result = execWith([&] {
            QTest::mousePress(frame()->FileListBox->viewport(), Qt::RightButton, {}, centreOf(frame(), second));
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg->FileName(), QStringLiteral("[E] ") + path + second);
        QCOMPARE(frame()->FileListBox->currentRow(), 1);
    }

    void leftPress_picksForLoading()
    {
        touch(path + QStringLiteral("only.txt"));
        load();
        const int result = execWith([&] {
            QTest::mousePress(
                frame()->FileListBox->viewport(), Qt::LeftButton, {}, centreOf(frame(), QStringLiteral("only.txt")));
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg->FileName(), QStringLiteral("[L] ") + path + QStringLiteral("only.txt"));
    }

    // Up and Down move through the entries, from the filter edit too; Enter picks the current
    // one to load, as a left press does; Shift+Enter picks nothing.
    void keys_upDownAndEnterPickForLoading_data()
    {
        QTest::addColumn<bool>("inList");
        QTest::addColumn<QList<QKeyCombination>>("keys");
        QTest::addColumn<int>("picked"); // row, or -1 for none
        using Keys = QList<QKeyCombination>;
        const QKeyCombination enter(Qt::Key_Return), down(Qt::Key_Down), up(Qt::Key_Up);
        QTest::newRow("enter in the edit picks the first") << false << Keys { enter } << 0;
        QTest::newRow("down twice in the edit, keypad enter")
            << false << Keys { down, down, Qt::KeypadModifier | Qt::Key_Enter } << 2;
        QTest::newRow("down then up in the list") << true << Keys { down, down, up, enter } << 1;
        QTest::newRow("up from the first stays") << true << Keys { up, enter } << 0;
        QTest::newRow("down past the last stays") << false << Keys { down, down, down, down, enter } << 2;
        QTest::newRow("shift enter picks nothing") << false << Keys { down, Qt::ShiftModifier | Qt::Key_Return } << -1;
    }
    void keys_upDownAndEnterPickForLoading()
    {
        QFETCH(bool, inList);
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(int, picked);
        for (const char *name : { "one.txt", "two.txt", "three.txt" })
            touch(path + QLatin1String(name));
        load();
        const QStringList names = shown(frame());
        bool stillOpen = false;
        const int result = execWith([&] {
            QWidget *target = inList ? static_cast<QWidget *>(frame()->FileListBox) : frame()->FilterEdit;
            target->setFocus();
            for (const QKeyCombination k : keys)
                QTest::keyClick(target, k.key(), k.keyboardModifiers());
            stillOpen = dlg->isVisible();
        });
        if (picked < 0) {
            QVERIFY(stillOpen);
            QCOMPARE(result, int(QDialog::Rejected));
            QCOMPARE(dlg->FileName(), QString());
        } else {
            QCOMPARE(result, int(QDialog::Accepted));
            QCOMPARE(dlg->FileName(), QStringLiteral("[L] ") + path + names.at(picked));
        }
    }

    // Shift with any button, a press beside the entries and a press on an empty list: the
    // dialog stays open and nothing is picked.
    void pressesThatPickNothing()
    {
        touch(path + QStringLiteral("only.txt"));
        load();
        bool stillOpen = false;
        int result = execWith([&] {
            const QPoint p = centreOf(frame(), QStringLiteral("only.txt"));
            QTest::mousePress(frame()->FileListBox->viewport(), Qt::LeftButton, Qt::ShiftModifier, p);
            QTest::mousePress(frame()->FileListBox->viewport(), Qt::RightButton, Qt::ShiftModifier, p);
            QTest::mousePress(frame()->FileListBox->viewport(), Qt::MiddleButton, {}, p);
            QTest::mousePress(frame()->FileListBox->viewport(), Qt::LeftButton, {},
                QPoint(5, frame()->FileListBox->viewport()->height() - 3));
            stillOpen = dlg->isVisible();
        });
        QVERIFY(stillOpen);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(dlg->FileName(), QString());

        frame()->SetFileListMask(QStringLiteral("*.none"));
        frame()->LoadFileList();
        QCOMPARE(frame()->FileListBox->count(), 0);
        result = execWith([&] {
            QTest::mousePress(frame()->FileListBox->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
            QTest::mousePress(frame()->FileListBox->viewport(), Qt::RightButton, {}, QPoint(5, 5));
            stillOpen = dlg->isVisible();
        });
        QVERIFY(stillOpen);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(dlg->FileName(), QString());
    }
};

// Select List File in the main window, with the chooser the program makes.
class TestSelectListFile : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<TMainForm> form;
    QStringList opened;

    TSelectFileFrame *frame() const { return form->SelectFileDlg->SelectFileFrame; }
    // Triggers Select List File and presses on `name` with `button` once the chooser shows.
    void pick(const QString &name, Qt::MouseButton button, QRect *geometry = nullptr)
    {
        QTimer::singleShot(30, [this, name, button, geometry] {
            QCOMPARE(QApplication::activeModalWidget(), form->SelectFileDlg);
            if (geometry)
                *geometry = form->SelectFileDlg->frameGeometry();
            QTest::mousePress(frame()->FileListBox->viewport(), button, {}, centreOf(frame(), name));
            if (form->SelectFileDlg->isVisible())
                form->SelectFileDlg->reject();
        });
        form->aSelectListFile->trigger();
    }

private slots:
    void init()
    {
        world = std::make_unique<ScriptedWorld>();
        QDir().mkpath(world->home.dtaDir());
        touch(world->home.dtaDir() + QStringLiteral("Skylark.INI"),
            "[Section-Window]\nSelectFileHeight=310\nSelectFileWidth=610\n");
        form = makeMainForm();
        TMainForm::SetOpenUrlHandler([this](const QString &p) {
            opened.append(p);
            return true;
        });
        touch(form->LstDir + QStringLiteral("office.txt"), "  gw.office\r\n\r\nprinter\r\n");
        touch(form->LstDir + QStringLiteral("notes.md"), "x\r\n");
    }
    void cleanup()
    {
        TMainForm::SetOpenUrlHandler({});
        opened.clear();
        form.reset();
        world.reset();
    }

    void chooser_sizedFromSettingsAndCentred()
    {
        // The stored size is the outer one: the frame (that of the main window, while the
        // chooser has not been framed yet) comes off it.
        QCOMPARE(form->SelectFileDlg->size() + (form->frameGeometry().size() - form->size()), QSize(610, 310));
        const QRect work = form->screen()->availableGeometry();
        form->move(work.center() - QPoint(form->width() / 2, form->height() / 2));
        QRect shownAt;
        pick(QStringLiteral("nothing-there"), Qt::LeftButton, &shownAt);
        QVERIFY((shownAt.center() - form->frameGeometry().center()).manhattanLength() <= 2);
        // Centred on a window in the corner it would reach past the screen's edge: it stays on it.
        form->move(work.topLeft());
        pick(QStringLiteral("nothing-there"), Qt::LeftButton, &shownAt);
        QVERIFY2(work.contains(shownAt), qPrintable(QStringLiteral("%1,%2").arg(shownAt.x()).arg(shownAt.y())));
        QCOMPARE(frame()->FileListPath(), form->LstDir);
        QCOMPARE(shown(frame()), QStringList { QStringLiteral("office.txt") });
    }

    void leftPress_loadsTheListAndRecordsIt()
    {
        form->SetHostLines({ QStringLiteral("old") });
        pick(QStringLiteral("office.txt"), Qt::LeftButton);
        QCOMPARE(
            form->HostLines(), (QStringList { QStringLiteral("  gw.office"), QString(), QStringLiteral("printer") }));
        QCOMPARE(form->MostRecentFiles->Files(), QStringList { form->LstDir + QStringLiteral("office.txt") });
        QVERIFY(opened.isEmpty());
    }

    void rightPress_opensInDesktopProgramListUntouched()
    {
        form->SetHostLines({ QStringLiteral("old") });
        pick(QStringLiteral("office.txt"), Qt::RightButton);
        QCOMPARE(opened, QStringList { form->LstDir + QStringLiteral("office.txt") });
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("old") });
        QCOMPARE(form->MostRecentFiles->Files(), QStringList());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int status = 0;
    {
        TestSelectFile t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TestSelectListFile t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}
#include "tst_selectfile.moc"
