// The host list: its commands, keys and clicks, the edit dialog, turning selected names into
// frames, and the autosaved list.
#include "columnpanel.h"
#include "hlbeditmemodlg.h"
#include "hostlistbox.h"
#include "listfile.h"
#include "mainform.h"
#include "pingframe.h"
#include "scripted.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QAbstractTextDocumentLayout>
#include <QStyleOptionViewItem>
#include <QTextBlock>
#include <QTextDocument>
#include <QTest>
#include <QCompleter>
#include <QFileDialog>
#include <QAbstractItemView>
#include <QTimer>
#include <QToolButton>

#include <sys/fsuid.h>
#include <unistd.h>

class TestHostList : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<TMainForm> form;

    THostListBox *list() const { return form->HostListBox; }
    void select(const QList<int> &rows, int focus = -1)
    {
        list()->clearSelection();
        for (int r : rows)
            list()->item(r)->setSelected(true);
        list()->SetItemIndex(focus >= 0 ? focus : (rows.isEmpty() ? -1 : rows.front()));
    }
    QStringList frameHosts() const
    {
        QStringList out;
        for (TPingFrame *f : form->Board->ColumnFrames1)
            out.append(f->HostEdit->text());
        return out;
    }
    // Runs the edit dialog, letting `edit` act on it while it is shown.
    void editAsText(const std::function<void(THLBEditMemoDlg *)> &edit)
    {
        QTimer::singleShot(30, [this, edit] { edit(form->HLBEditMemoDlg); });
        form->aHLBEditMemo->trigger();
    }

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

    void paste_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<bool>("lc");
        QTest::addColumn<bool>("uc");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("blank lines skipped, lower case")
            << QStringLiteral("Alpha\r\n\r\n   \nMiXeD.Example") << true << false
            << QStringList({ QStringLiteral("alpha"), QStringLiteral("mixed.example") });
        QTest::newRow("blanks kept") << QStringLiteral("  spaced  \rtab\t") << false << false
                                     << QStringList({ QStringLiteral("  spaced  "), QStringLiteral("tab\t") });
        QTest::newRow("both on: lower wins")
            << QStringLiteral("Host") << true << true << QStringList { QStringLiteral("host") };
        QTest::newRow("upper, non-ASCII kept")
            << QStringLiteral("bücher.de") << false << true << QStringList { QStringLiteral("BüCHER.DE") };
        QTest::newRow("no text") << QString() << false << false << QStringList();
    }
    void paste()
    {
        QFETCH(QString, clipboard);
        QFETCH(bool, lc);
        QFETCH(bool, uc);
        QFETCH(QStringList, entries);
        form->Settings->set(&TAppSettings::ConvertToLC, lc);
        form->Settings->set(&TAppSettings::ConvertToUC, uc);
        QApplication::clipboard()->setText(clipboard);
        form->aPasteFromClipboard->trigger();
        QCOMPARE(form->HostLines(), entries);
        form->aPasteFromClipboard->trigger();
        QCOMPARE(form->HostLines(), entries + entries);
    }

    void add_trimsAndIgnoresBlankText()
    {
        form->NewHostEdit->setText(QStringLiteral("  Host.Example \t"));
        QTest::mouseClick(form->AddNewHostSpeedButton, Qt::LeftButton);
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("Host.Example") });
        QCOMPARE(form->NewHostEdit->text(), QString());
        form->NewHostEdit->setText(QStringLiteral("   "));
        form->aAddNewHost->trigger();
        QCOMPARE(form->HostLines().size(), 1);
        QCOMPARE(form->NewHostEdit->text(), QStringLiteral("   "));
        QTest::keyClick(form->NewHostEdit, Qt::Key_Return);
        QCOMPARE(form->HostLines().size(), 1);
    }

    void copy_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("three") << QList<int> { 0, 2, 3 } << QStringLiteral("a\r\nc\r\nd\r\n");
        QTest::newRow("one") << QList<int> { 1 } << QStringLiteral("b");
        QTest::newRow("none") << QList<int> {} << QString();
    }
    void copy()
    {
        QFETCH(QList<int>, selected);
        QFETCH(QString, clipboard);
        form->SetHostLines({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d") });
        QApplication::clipboard()->setText(QStringLiteral("previous"));
        select(selected);
        form->aCopyToClipboard->trigger();
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
    }

    void keys_deleteSelectAllAndCopyAreOurs()
    {
        form->SetHostLines({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
            QStringLiteral("e") });
        select({ 0, 2, 4 }, 1);
        QTest::keyClick(list(), Qt::Key_Delete);
        QCOMPARE(form->HostLines(), QStringList({ QStringLiteral("b"), QStringLiteral("d") }));
        QTest::keyClick(list(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list()->SelectedIndexes(), QList<int>({ 0, 1 }));
        // The list view's own Ctrl+C would copy only the current entry.
        QTest::keyClick(list(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("b\r\nd\r\n"));
    }

    void deleteCommand_needsAFocusedEntry()
    {
        form->SetHostLines({ QStringLiteral("a"), QStringLiteral("b") });
        select({ 0 });
        list()->SetItemIndex(-1);
        form->aDeleteSelectedHost->trigger();
        QCOMPARE(form->HostLines().size(), 2);
        list()->SetItemIndex(1);
        form->aDeleteSelectedHost->trigger();
        QCOMPARE(form->HostLines(), QStringList { QStringLiteral("b") });
    }

    void caseCommands_changeOnlyTheFocusedEntry()
    {
        form->SetHostLines({ QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("Ünï-C3"), QStringLiteral("D4"),
            QStringLiteral("E5") });
        select({ 0, 1, 2, 3, 4 }, 2);
        form->aLowerCase->trigger();
        QCOMPARE(form->HostLines(),
            QStringList({ QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("Ünï-c3"), QStringLiteral("D4"),
                QStringLiteral("E5") }));
        list()->SetItemIndex(0);
        form->aUpperCase->trigger();
        QCOMPARE(form->HostLines().front(), QStringLiteral("A1"));
        form->aLowerCase->trigger();
        QCOMPARE(form->HostLines().front(), QStringLiteral("a1"));
    }

    void mousePress_focusesAndSelectsOnlyWithoutSelection()
    {
        form->SetHostLines({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") });
        list()->clearSelection();
        const QPoint onB = list()->visualItemRect(list()->item(1)).center();
        QTest::mousePress(list()->viewport(), Qt::RightButton, {}, onB);
        QCOMPARE(list()->ItemIndex(), 1);
        QCOMPARE(list()->SelectedIndexes(), QList<int> { 1 });
        QTest::mouseRelease(list()->viewport(), Qt::RightButton, {}, onB);
        select({ 0 });
        const QPoint onC = list()->visualItemRect(list()->item(2)).center();
        QTest::mousePress(list()->viewport(), Qt::RightButton, {}, onC);
        QCOMPARE(list()->ItemIndex(), 2);
        QCOMPARE(list()->SelectedIndexes(), QList<int> { 0 });
        QTest::mouseRelease(list()->viewport(), Qt::RightButton, {}, onC);
    }

    void pingSelected_framesInListOrderEachStarted()
    {
        form->SetHostLines({ QStringLiteral("10.0.0.1"), QStringLiteral("skip"), QStringLiteral("10.0.0.2"),
            QStringLiteral("10.0.0.1") });
        form->aPingSelected->trigger(); // nothing selected: nothing happens
        QVERIFY(form->Board->ColumnFrames1.isEmpty());
        select({ 0, 2, 3 });
        form->aPingSelected->trigger();
        QCOMPARE(frameHosts(),
            QStringList({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2"), QStringLiteral("10.0.0.1") }));
        QCOMPARE(world->echoes.count(), 3u);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(form->Board->ColumnFrames1[i]->Running());
            QCOMPARE(world->echoes.pending[i]->PingHostName, frameHosts()[i]);
            QCOMPARE(form->Board->ColumnFrames1[i]->height(), form->ColumnPanel1->height() / 3);
        }
        QCOMPARE(list()->SelectedIndexes(), QList<int>({ 0, 2, 3 }));
    }

    void pingSelected_emptyEntryNotStarted_blankEntryFailsItsLookup()
    {
        form->SetHostLines({ QString(), QStringLiteral("   ") });
        select({ 0, 1 });
        form->aPingSelected->trigger();
        QCOMPARE(form->Board->ColumnFrames1.size(), 2);
        QVERIFY(!form->Board->ColumnFrames1[0]->Running());
        QVERIFY(form->Board->ColumnFrames1[1]->Running());
        QCOMPARE(world->resolver.asked, QStringList { QString() });
        world->resolver.answer(11001);
        QTRY_COMPARE(form->Board->ColumnFrames1[1]->IPAddressLbl->text(), QStringLiteral("DNS Error!"));
        QCOMPARE(world->errors.messages, QStringList());
    }

    void doubleClick_pingsSelected()
    {
        form->SetHostLines({ QStringLiteral("10.0.0.7") });
        const QPoint p = list()->visualItemRect(list()->item(0)).center();
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, p);
        QCOMPARE(frameHosts(), QStringList { QStringLiteral("10.0.0.7") });
    }

    void pingSelectedWithExpand_growsByAFrameEachTime()
    {
        form->SetHostLines({ QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2") });
        select({ 0 });
        const int h0 = form->height();
        form->aPingSelectedWithExpand->trigger();
        QCOMPARE(form->height(), h0 + TPingFrame::kDesignedHeight);
        const int frameH = form->Board->ColumnFrames1[0]->height();
        select({ 1 });
        form->aPingSelectedWithExpand->trigger();
        QCOMPARE(form->height(), h0 + TPingFrame::kDesignedHeight + frameH);
        QCOMPARE(
            form->Board->ColumnFrames1[1]->height(), form->ColumnPanel1->height() - form->ColumnPanel1->height() / 2);
    }

    // However many hosts are expanded, the window stays within the work area of its screen
    // and the frames share what fits.
    void pingSelectedWithExpand_staysOnTheScreen()
    {
        QStringList hosts;
        for (int i = 1; i <= 12; ++i)
            hosts.append(QStringLiteral("10.0.0.%1").arg(i));
        form->SetHostLines(hosts);
        form->move(40, 60);
        QList<int> all;
        for (int i = 0; i < hosts.size(); ++i)
            all.append(i);
        select(all);
        form->aPingSelectedWithExpand->trigger();
        QCOMPARE(form->Board->ColumnFrames1.size(), 12);
        const QRect area = form->screen()->availableGeometry();
        QVERIFY2(area.contains(form->frameGeometry()),
            qPrintable(QStringLiteral("%1 high at %2").arg(form->frameGeometry().height()).arg(form->y())));
        QCoreApplication::processEvents();
        form->SizeFrames();
        const TPingFrame *last = form->Board->ColumnFrames1.back();
        QCOMPARE(last->y() + last->height(), form->ColumnPanel1->height());
    }

    // The file name's completion list may complete only once the folder has been read, after
    // Enter closed the dialog: it must not show over the board then.
    void saveDialog_completionListDoesNotOutliveTheDialog()
    {
        QFileDialog *dlg = form->SaveDialog;
        QCompleter *completer = dlg->findChild<QCompleter *>();
        QVERIFY(completer);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        static_cast<QDialog *>(dlg)->done(QDialog::Accepted);
        QVERIFY(!dlg->isVisible());
        completer->setCompletionPrefix(QStringLiteral("/"));
        completer->complete(); // what the folder's late reading does
        QCoreApplication::processEvents();
        QVERIFY(!completer->popup()->isVisible());
    }

    void pingSelected2_onlyWithColumn2()
    {
        QVERIFY(!form->aPingSelected2->isVisible());
        form->mmiShow2->trigger();
        QVERIFY(form->aPingSelected2->isVisible());
        form->SetHostLines({ QStringLiteral("10.0.0.3") });
        select({ 0 });
        form->aPingSelected2->trigger();
        QCOMPARE(form->Board->ColumnFrames2.size(), 1);
        QCOMPARE(form->Board->ColumnFrames2[0]->objectName(), QStringLiteral("PingFrame2_0"));
        QVERIFY(form->Board->ColumnFrames2[0]->Running());
    }

    void editDialog_okKeepsNonBlankLinesUnchanged()
    {
        form->SetHostLines(
            { QStringLiteral(" a "), QString(), QStringLiteral("  "), QStringLiteral("B"), QStringLiteral("a") });
        select({ 0, 3 });
        editAsText([](THLBEditMemoDlg *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Host Listbox Edit Memo"));
            QCOMPARE(d->ListBoxEditMemo->toPlainText(), QStringLiteral(" a \n\n  \nB\na\n"));
            QVERIFY(d->ListBoxEditMemo->hasFocus());
            d->OKBtn->click();
        });
        QCOMPARE(form->HostLines(), QStringList({ QStringLiteral(" a "), QStringLiteral("B"), QStringLiteral("a") }));
        QVERIFY(list()->SelectedIndexes().isEmpty());
    }

    void editDialog_sortThenCancelChangesNothing_emptiedEditorEmptiesList()
    {
        const QStringList original { QStringLiteral("b"), QStringLiteral("A"), QStringLiteral("a"),
            QStringLiteral("C") };
        form->SetHostLines(original);
        editAsText([](THLBEditMemoDlg *d) {
            d->SortBtn->click();
            const QStringList sorted = d->ListBoxEditMemo->toPlainText().split(u'\n');
            QCOMPARE(sorted.mid(0, 2).join(QString()).toLower(), QStringLiteral("aa"));
            QCOMPARE(sorted.mid(2, 2), QStringList({ QStringLiteral("b"), QStringLiteral("C") }));
            d->CancelBtn->click();
        });
        QCOMPARE(form->HostLines(), original);
        editAsText([](THLBEditMemoDlg *d) {
            d->ListBoxEditMemo->clear();
            d->OKBtn->click();
        });
        QCOMPARE(form->HostLines(), QStringList());
    }

    void editDialog_keepsEveryCharacter_listDrawsOneLine_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("no-break space") << QStringLiteral("a\u00A0b");
        QTest::newRow("line separator") << QStringLiteral("a\u2028b");
        QTest::newRow("paragraph separator") << QStringLiteral("a\u2029b");
        QTest::newRow("tab") << QStringLiteral("a\tb");
        QTest::newRow("plain") << QStringLiteral("host.example");
        QTest::newRow("mixed, at the ends") << QStringLiteral("\u2029x\u2028\u2029\u00A0\uFDD0y\u2028");
    }
    void editDialog_keepsEveryCharacter_listDrawsOneLine()
    {
        QFETCH(QString, entry);
        const QStringList entries { QStringLiteral("first"), entry, QStringLiteral("last") };
        form->SetHostLines(entries);

        // The list draws the entry on one line.
        QStyleOptionViewItem option;
        option.initFrom(list());
        const auto rowHeight = [&](int row) {
            const QModelIndex i = list()->model()->index(row, 0);
            return list()->itemDelegateForIndex(i)->sizeHint(option, i).height();
        };
        QCOMPARE(rowHeight(1), rowHeight(0));

        // OK without a change, the editor showing one line per entry.
        int blocks = 0;
        qreal entryHeight = 0, firstHeight = -1;
        editAsText([&](THLBEditMemoDlg *d) {
            QTextDocument *doc = d->ListBoxEditMemo->document();
            const auto height = [doc](int block) {
                return doc->documentLayout()->blockBoundingRect(doc->findBlockByNumber(block)).height();
            };
            blocks = doc->blockCount();
            firstHeight = height(0);
            entryHeight = height(1);
            d->OKBtn->click();
        });
        QCOMPARE(blocks, 4);
        QCOMPARE(entryHeight, firstHeight);
        QCOMPARE(form->HostLines(), entries);

        // Typed into: the line above and the entry's own end. What was there stays as it was.
        editAsText([](THLBEditMemoDlg *d) {
            d->ListBoxEditMemo->moveCursor(QTextCursor::Start);
            QTest::keyClicks(d->ListBoxEditMemo, QStringLiteral("new-"));
            d->ListBoxEditMemo->moveCursor(QTextCursor::NextBlock);
            d->ListBoxEditMemo->moveCursor(QTextCursor::EndOfBlock);
            QTest::keyClicks(d->ListBoxEditMemo, QStringLiteral("z"));
            d->OKBtn->click();
        });
        QCOMPARE(form->HostLines(), QStringList({ QStringLiteral("new-first"), entry + u'z', QStringLiteral("last") }));

        // Sorted: the entry is still there, whole.
        editAsText([](THLBEditMemoDlg *d) {
            d->SortBtn->click();
            d->OKBtn->click();
        });
        QCOMPARE(form->HostLines().size(), 3);
        QVERIFY(form->HostLines().contains(entry + u'z'));
    }

    void sortLines_emptyFirstCaseInsensitive()
    {
        QCOMPARE(THLBEditMemoDlg::SortLines({ QStringLiteral("beta"), QString(), QStringLiteral("Alpha"),
                     QStringLiteral("alpha2"), QString() }),
            QStringList(
                { QString(), QString(), QStringLiteral("Alpha"), QStringLiteral("alpha2"), QStringLiteral("beta") }));
    }

    void autosavedList_survivesRestartInItsEncoding()
    {
        const QString file = form->LstDir + QStringLiteral("AutoSaveList.txt");
        ListFile::write(
            file, { QStringLiteral("  münchen"), QString(), QStringLiteral("x") }, TextCodec::Encoding::Utf8Bom);
        form.reset();
        form = makeMainForm();
        QCOMPARE(form->HostLines(), QStringList({ QStringLiteral("  münchen"), QString(), QStringLiteral("x") }));
        form->SetHostLines({ QStringLiteral("y") });
        form->close();
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\xEF\xBB\xBFy\r\n"));
    }

    // A folder in the file's place: one error at start-up, as one sentence naming the file;
    // the program runs on with an empty list, and the close adds no second message.
    void unreadableAutosavedList_oneClearErrorAndProgramRunning()
    {
        form.reset();
        const QString file = world->home.dtaDir() + QStringLiteral("LST/AutoSaveList.txt");
        QDir().mkpath(file); // a folder, not a file
        form = makeMainForm();
        QVERIFY(form->FormActivated);
        QVERIFY(form->isVisible());
        QCOMPARE(form->HostLines(), QStringList());
        QCOMPARE(world->errors.messages.size(), 1);
        const QString message = world->errors.messages.front();
        QVERIFY2(message.startsWith(QStringLiteral("Cannot open file \"") + file + QStringLiteral("\": ")),
            qPrintable(message));
        QVERIFY2(message.endsWith(u'.') && message.count(u'.') == 1 + file.count(u'.'), qPrintable(message));
        const QString detail = message.mid(message.indexOf(QStringLiteral("\": ")) + 3);
        QVERIFY2(detail.front().isLower(), qPrintable(message));
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(world->errors.messages.size(), 1);
        QVERIFY(QFileInfo(file).isDir());
    }

    // A list the program may not read at start-up stays the user's: the close replaces it
    // only when the list was changed during the run.
    void autosavedListUnreadableAtStart_keptUnlessListChanged_data()
    {
        QTest::addColumn<bool>("change");
        QTest::newRow("list unchanged: file kept") << false;
        QTest::newRow("host added: new list written") << true;
    }
    void autosavedListUnreadableAtStart_keptUnlessListChanged()
    {
        QFETCH(bool, change);
        if (::geteuid() != 0) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("needs root to run as another user's file system identity");
            QSKIP("needs root");
        }
        form.reset();
        const QString lst = world->home.dtaDir() + QStringLiteral("LST/");
        QDir().mkpath(lst);
        const QString file = lst + QStringLiteral("AutoSaveList.txt");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious\r\n");
        }
        QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
        // Everything but that file belongs to "nobody", and so do we, for file access only.
        QProcess::execute(
            QStringLiteral("chown"), { QStringLiteral("-R"), QStringLiteral("65534:65534"), world->home.path() });
        QVERIFY(::chown(QFile::encodeName(file).constData(), 0, 0) == 0);
        struct FsUid
        {
            FsUid()
            {
                ::setfsuid(65534);
                ::setfsgid(65534);
            }
            ~FsUid()
            {
                ::setfsuid(0);
                ::setfsgid(0);
            }
        } asNobody;
        form = makeMainForm();
        QCOMPARE(world->errors.messages.size(), 1);
        QVERIFY(world->errors.messages.front().startsWith(QStringLiteral("Cannot open file \"") + file));
        if (change)
            form->SetHostLines({ QStringLiteral("typed.example") });
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(world->errors.messages.size(), 1);
        ::setfsuid(0);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), change ? QByteArray("typed.example\r\n") : QByteArray("precious\r\n"));
    }

    void hugeList_loadsAndSaves()
    {
        QStringList many;
        for (int i = 0; i < 100000; ++i)
            many.append(QStringLiteral("host%1.example").arg(i));
        const QString file = form->LstDir + QStringLiteral("AutoSaveList.txt");
        ListFile::write(file, many, TextCodec::Encoding::Ansi);
        form.reset();
        form = makeMainForm();
        QCOMPARE(form->HostLines().size(), 100000);
        form->close();
        QCOMPARE(ListFile::read(file).lines, many);
    }
};

QTEST_MAIN(TestHostList)
#include "tst_hostlist.moc"
