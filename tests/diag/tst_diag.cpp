// The diagnostics windows as the user meets them: opened from the Debug menu, the info memo
// keeps its text, and the object inspector picks controls by dragging its target onto them.
#include "infomemoform.h"
#include "mainform.h"
#include "oiform.h"
#include "pingframe.h"
#include "scripted.h"
#include "windowreticle.h"
#include "zobjectinspector.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {
QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

QPoint centreIn(const QWidget *w, const QWidget *window)
{
    return w->mapTo(window, w->rect().center());
}
} // namespace

class TestDiag : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScriptedWorld> world;
    std::unique_ptr<TMainForm> form;
    TOIForm *oi = nullptr;

    // Opens the inspector from the menu, below the main window so that the two never overlap.
    void openInspector()
    {
        form->aOIForm->trigger();
        QVERIFY(QTest::qWaitForWindowActive(oi));
        oi->move(form->frameGeometry().left(), form->frameGeometry().bottom() + 20);
        QTRY_COMPARE(oi->pos(), QPoint(form->frameGeometry().left(), form->frameGeometry().bottom() + 20));
    }

    TPingFrame *addFrame()
    {
        form->aAddPingFrame->trigger();
        return form->Board->ColumnFrames1.back();
    }

    // Drags the target through the window system: press on it, move onto `target`, release
    // there (or at `dropAt` in the main window when no target is given).
    void pick(QWidget *target, QPoint dropAt = {})
    {
        QWindow *oiWindow = oi->windowHandle();
        QWindow *mainWindow = form->windowHandle();
        QTest::mousePress(oiWindow, Qt::LeftButton, {}, centreIn(oi->WindowReticle, oi));
        QVERIFY(oi->WindowReticle->Dragging());
        QCOMPARE(QWidget::mouseGrabber(), oi->WindowReticle);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
        const QPoint at = target ? centreIn(target, form.get()) : dropAt;
        QTest::mouseMove(mainWindow, at);
        QTest::mouseRelease(mainWindow, Qt::LeftButton, {}, at);
        QVERIFY(!oi->WindowReticle->Dragging());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void clickEntry(QListWidget *list, const QString &text)
    {
        const auto found = list->findItems(text, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(text));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.front()).center());
    }

private slots:
    void init()
    {
        world = std::make_unique<ScriptedWorld>();
        form = makeMainForm();
        oi = form->OIForm;
    }
    void cleanup()
    {
        form.reset();
        world.reset();
    }

    void infoMemo_opensFromTheMenuAndKeepsItsTextWhenClosed()
    {
        TInfoMemoForm *memo = form->InfoMemoForm;
        QVERIFY(memo && !memo->isVisible());
        form->aInfoMemo->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(memo));
        QCOMPARE(memo->windowTitle(), QStringLiteral("InfoMemo"));
        QVERIFY(!memo->isModal());
        QCOMPARE(memo->InfoMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo->InfoMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo->InfoMemo->geometry(), memo->rect());
        QTest::keyClicks(memo->InfoMemo, QStringLiteral("note one"));
        QVERIFY(memo->close());
        QVERIFY(!memo->isVisible());
        QCOMPARE(form->InfoMemoForm, memo);
        form->aInfoMemo->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(memo));
        QCOMPARE(memo->InfoMemo->toPlainText(), QStringLiteral("note one"));
        // The main window keeps working while the memo is up.
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void inspector_firstActivationMakesTheGridEditableAndTurnsEventsOff()
    {
        QVERIFY(!oi->isVisible());
        QCOMPARE(oi->zObjectInspector->Component(), oi->zObjectInspector); // inspects itself at start
        QVERIFY(oi->zObjectInspector->ReadOnly());
        openInspector();
        QCOMPARE(oi->windowTitle(), QStringLiteral("Object Inspector"));
        QVERIFY(!oi->isModal());
        QTRY_VERIFY(!oi->zObjectInspector->ReadOnly());
        QVERIFY(!oi->FIncludeEvent);
        QVERIFY(!oi->IncludeEventsCheckBox->isChecked());
        QCOMPARE(oi->LeftPanel->width(), 185);
        QCOMPARE(oi->TopLeftPanel->height(), 80);
        QCOMPARE(oi->ListBox2->height(), 255);

        QTest::mouseClick(oi->IncludeEventsCheckBox, Qt::LeftButton);
        QVERIFY(oi->FIncludeEvent);
        oi->close();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->aOIForm->trigger();
        QVERIFY(QTest::qWaitForWindowActive(oi));
        QTRY_VERIFY(oi->isActiveWindow());
        QVERIFY(oi->IncludeEventsCheckBox->isChecked()); // only the first activation resets it
        QVERIFY(oi->FIncludeEvent);
    }

    void pick_dropOnHostEditListsItAndItsParentsUpToTheMainWindow()
    {
        TPingFrame *frame = addFrame();
        openInspector();
        QSignalSpy changes(oi->WindowReticle, &TWindowReticle::OnWindowChange);
        QSignalSpy drops(oi->WindowReticle, &TWindowReticle::OnDropSelect);
        pick(frame->HostEdit);
        QCOMPARE(drops.count(), 1);
        QVERIFY(changes.count() >= 1);
        QCOMPARE(oi->WindowReticle->WindowClass(), QStringLiteral("QLineEdit"));
        QCOMPARE(oi->WindowReticle->AncestorClass(), QStringLiteral("TMainForm"));
        QCOMPARE(oi->WindowReticle->AncestorCaption(), form->windowTitle());
        QCOMPARE(texts(oi->ListBox1),
            (QStringList { QStringLiteral("HostEdit"), QStringLiteral("TopPanel"), frame->objectName(),
                QStringLiteral("ColumnPanel1"), QStringLiteral("RightPanel"), QStringLiteral("ClientArea"),
                QStringLiteral("MainForm") }));
        QCOMPARE(TOIForm::ObjectOf(oi->ListBox1->item(0)), frame->HostEdit);
        QCOMPARE(TOIForm::ObjectOf(oi->ListBox1->item(6)), form.get());
        // A drop lists; it chooses nothing.
        QCOMPARE(oi->ListBox2->count(), 0);
        QCOMPARE(oi->zObjectInspector->Component(), oi->zObjectInspector);
    }

    void pick_aLabelIsAControlOfItsOwn()
    {
        TPingFrame *frame = addFrame();
        openInspector();
        pick(frame->StatusLbl);
        QCOMPARE(TOIForm::ObjectOf(oi->ListBox1->item(0)), frame->StatusLbl);
        QCOMPARE(oi->ListBox1->item(1)->text(), QStringLiteral("TopPanel"));
    }

    void pick_dropOutsideTheProgramEmptiesListBox1Only()
    {
        TPingFrame *frame = addFrame();
        openInspector();
        pick(frame->HostEdit);
        clickEntry(oi->ListBox1, QStringLiteral("TopPanel"));
        const QStringList owned = texts(oi->ListBox2);
        QVERIFY(owned.contains(QStringLiteral("HostEdit")));
        QCOMPARE(oi->zObjectInspector->Component(), frame->TopPanel);

        pick(nullptr, QPoint(5000, 5000));
        QCOMPARE(oi->ListBox1->count(), 0);
        QCOMPARE(oi->WindowReticle->WindowHandle(), 0u);
        QCOMPARE(texts(oi->ListBox2), owned);
        QCOMPARE(oi->zObjectInspector->Component(), frame->TopPanel);
    }

    void chooseMainWindow_listsEverythingItOwns()
    {
        TPingFrame *frame = addFrame();
        openInspector();
        pick(frame->HostEdit);
        clickEntry(oi->ListBox1, QStringLiteral("MainForm"));
        QCOMPARE(oi->zObjectInspector->Component(), form.get());
        QStringList expected;
        for (QObject *child : form->children())
            expected.append(TOIForm::NameOf(child));
        QCOMPARE(texts(oi->ListBox2), expected);
        for (const char *name :
            { "aPingSelected", "aInfoMemo", "MainMenu", "FramePM1", "HostListBoxPopupMenu", "OIForm" })
            QVERIFY2(expected.contains(QString::fromLatin1(name)), name);
        QVERIFY(expected.contains(QStringLiteral("(QTimer)")) || expected.contains(QStringLiteral("SizeMoveTimer")));

        // Choosing an owned object inspects it.
        clickEntry(oi->ListBox2, QStringLiteral("aPingSelected"));
        QCOMPARE(oi->zObjectInspector->Component(), form->aPingSelected);
        const PropertyModel *m = oi->zObjectInspector->Model();
        QCOMPARE(m->text(m->rowOf("text")), form->aPingSelected->text());
        QCOMPARE(m->text(m->rowOf("category")), QStringLiteral("HostListbox"));
    }

    void includeEvents_appliesFromTheNextObjectPutIntoTheGrid()
    {
        TPingFrame *frame = addFrame();
        openInspector();
        pick(frame->ContinuousPingSpdBtn);
        clickEntry(oi->ListBox1, QStringLiteral("ContinuousPingSpdBtn"));
        const PropertyModel *m = oi->zObjectInspector->Model();
        QCOMPARE(m->rowOf("clicked"), -1);
        QVERIFY(m->rowOf("checked") >= 0);

        QTest::mouseClick(oi->IncludeEventsCheckBox, Qt::LeftButton);
        QVERIFY(oi->FIncludeEvent);
        QCOMPARE(m->rowOf("clicked"), -1); // the rows shown stay as they are

        clickEntry(oi->ListBox1, QStringLiteral("ContinuousPingSpdBtn"));
        const int clicked = m->rowOf("clicked");
        QVERIFY(clicked >= 0);
        QVERIFY(!m->isEditable(clicked));
    }

    void destroyedObject_leavesTheGridAndTheLists()
    {
        TPingFrame *frame = addFrame();
        openInspector();
        pick(frame->HostEdit);
        clickEntry(oi->ListBox1, QStringLiteral("HostEdit"));
        QCOMPARE(oi->zObjectInspector->Component(), frame->HostEdit);
        QVERIFY(oi->zObjectInspector->Model()->rowCount() > 0);

        form->aClearFrames->trigger();
        QTRY_VERIFY(form->Board->ColumnFrames1.isEmpty());
        QCOMPARE(oi->zObjectInspector->Component(), nullptr);
        QCOMPARE(oi->zObjectInspector->Model()->rowCount(), 0);
        QCOMPARE(texts(oi->ListBox1),
            (QStringList { QStringLiteral("ColumnPanel1"), QStringLiteral("RightPanel"), QStringLiteral("ClientArea"),
                QStringLiteral("MainForm") }));
        QCOMPARE(oi->ListBox1->currentItem(), nullptr); // no other entry is chosen in its place
        QVERIFY(oi->ListBox1->selectedItems().isEmpty());
        QTest::qWait(50); // the grid repaints without touching the freed edit
    }

    void editInTheGrid_changesTheControlOnScreen()
    {
        TPingFrame *frame = addFrame();
        openInspector();
        pick(frame->HostEdit);
        clickEntry(oi->ListBox1, QStringLiteral("HostEdit"));
        PropertyView *view = oi->zObjectInspector->View;
        const QModelIndex text = oi->zObjectInspector->valueIndex("text");
        QVERIFY(text.isValid());
        view->scrollTo(text);
        const QRect cell = view->visualRect(text);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor && editor != frame->HostEdit);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("example.org"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits on its next turn
        QCOMPARE(frame->HostEdit->text(), QStringLiteral("example.org"));
        QCOMPARE(text.data().toString(), QStringLiteral("example.org"));
    }

    void reticle_crossHairsWhenIdleAndNoneDuringAPick()
    {
        openInspector();
        TWindowReticle *r = oi->WindowReticle;
        QCOMPARE(r->size(), QSize(32, 32));
        auto render = [r] {
            QImage img(r->size(), QImage::Format_ARGB32);
            img.fill(Qt::transparent);
            r->render(&img, {}, {}, QWidget::DrawChildren);
            return img;
        };
        auto hasRed = [](const QImage &img) {
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    const QColor c = img.pixelColor(x, y);
                    if (c.alpha() > 200 && c.red() > 200 && c.green() < 60 && c.blue() < 60)
                        return true;
                }
            return false;
        };
        const QImage idle = render();
        for (QPoint p : { QPoint(16, 0), QPoint(16, 31), QPoint(0, 16), QPoint(31, 16), QPoint(16, 2) })
            QCOMPARE(idle.pixelColor(p), QColor(Qt::black));
        QCOMPARE(idle.pixelColor(1, 1).alpha(), 0); // no background of its own
        QVERIFY(hasRed(idle));

        QTest::mousePress(oi->windowHandle(), Qt::LeftButton, {}, centreIn(r, oi));
        QVERIFY(r->Dragging());
        const QImage picking = render();
        for (QPoint p : { QPoint(16, 0), QPoint(16, 31), QPoint(0, 16), QPoint(31, 16) })
            QCOMPARE(picking.pixelColor(p).alpha(), 0);
        QVERIFY(hasRed(picking));
        QTest::mouseRelease(oi->windowHandle(), Qt::LeftButton, {}, centreIn(r, oi));
        QCOMPARE(render(), idle);

        // Other buttons do not start a pick.
        QTest::mousePress(oi->windowHandle(), Qt::RightButton, {}, centreIn(r, oi));
        QVERIFY(!r->Dragging());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QTest::mouseRelease(oi->windowHandle(), Qt::RightButton, {}, centreIn(r, oi));
    }
};

QTEST_MAIN(TestDiag)
#include "tst_diag.moc"
