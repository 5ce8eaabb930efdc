// The property grid in a window: values are edited in place with the editor of their type and
// land on the live object; read-only rows open no editor.
#include "zobjectinspector.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

class TestObjectInspector : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> window;
    QLabel *label = nullptr;
    TzObjectInspector *grid = nullptr;

    // Opens the editor of a property's value as the user does (double click) and returns it.
    QWidget *openEditor(const QByteArray &name)
    {
        const QModelIndex index = grid->valueIndex(name);
        if (!index.isValid())
            return nullptr;
        grid->View->scrollTo(index);
        const QPoint at = grid->View->visualRect(index).center();
        QTest::mouseClick(grid->View->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->View->viewport(), Qt::LeftButton, {}, at);
        return grid->View->isEditing() ? QApplication::focusWidget() : nullptr;
    }

private slots:
    void init()
    {
        window = std::make_unique<QWidget>();
        window->resize(400, 600);
        auto *v = new QVBoxLayout(window.get());
        label = new QLabel(QStringLiteral("before"), window.get());
        label->setObjectName(QStringLiteral("SampleLabel"));
        grid = new TzObjectInspector(window.get());
        v->addWidget(label);
        v->addWidget(grid, 1);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        grid->setComponent(label);
    }
    void cleanup() { window.reset(); }

    void looksLikeAPropertyGrid()
    {
        QVERIFY(grid->View->isHeaderHidden());
        QCOMPARE(grid->GutterWidth(), 12);
        QCOMPARE(grid->SplitterPos(), 100);
        QCOMPARE(grid->View->columnWidth(0), 112);
        QVERIFY(grid->valueIndex("text").isValid());
        QCOMPARE(grid->valueIndex("text").data().toString(), QStringLiteral("before"));
        QVERIFY(grid->valueIndex("text").data(Qt::FontRole).value<QFont>().bold()); // not a fresh label's text
        QVERIFY(!grid->valueIndex("wordWrap").data(Qt::FontRole).value<QFont>().bold());
    }

    void searchNarrowsTheRows()
    {
        QTest::keyClicks(grid->SearchEdit, QStringLiteral("wrap"));
        const QAbstractItemModel *shown = grid->View->model();
        QVERIFY(shown->rowCount() >= 1);
        for (int r = 0; r < shown->rowCount(); ++r)
            QVERIFY(shown->index(r, 0).data().toString().contains(QStringLiteral("wrap"), Qt::CaseInsensitive));
        QVERIFY(!grid->valueIndex("text").isValid());
        grid->SearchEdit->clear();
        QVERIFY(grid->valueIndex("text").isValid());
    }

    void editText_inPlace()
    {
        auto *editor = qobject_cast<QLineEdit *>(openEditor("text"));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("after"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits on its next turn
        QCOMPARE(label->text(), QStringLiteral("after"));
        QCOMPARE(grid->valueIndex("text").data().toString(), QStringLiteral("after"));
    }

    void editInt_withASpinBox()
    {
        auto *editor = qobject_cast<QSpinBox *>(openEditor("indent"));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("12"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits on its next turn
        QCOMPARE(label->indent(), 12);
    }

    void editEnum_fromItsKeys()
    {
        auto *editor = qobject_cast<QComboBox *>(openEditor("textFormat"));
        QVERIFY(editor);
        QVERIFY(editor->findText(QStringLiteral("RichText")) >= 0);
        QCOMPARE(editor->currentText(), QStringLiteral("AutoText"));
        editor->setCurrentIndex(editor->findText(QStringLiteral("RichText")));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits on its next turn
        QCOMPARE(label->textFormat(), Qt::RichText);
        QCOMPARE(grid->valueIndex("textFormat").data().toString(), QStringLiteral("RichText"));
    }

    void editFlags_asKeys()
    {
        auto *editor = qobject_cast<QLineEdit *>(openEditor("alignment"));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("AlignRight|AlignBottom"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits on its next turn
        QCOMPARE(label->alignment(), Qt::AlignRight | Qt::AlignBottom);
    }

    void editSize_asNumbers()
    {
        auto *editor = qobject_cast<QLineEdit *>(openEditor("minimumSize"));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("40, 30"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits on its next turn
        QCOMPARE(label->minimumSize(), QSize(40, 30));
    }

    void editBool_toggledWithSpace()
    {
        const QModelIndex wrap = grid->valueIndex("wordWrap");
        grid->View->setFocus();
        grid->View->setCurrentIndex(wrap);
        QTest::keyClick(grid->View, Qt::Key_Space);
        QVERIFY(label->wordWrap());
        QCOMPARE(grid->valueIndex("wordWrap").data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QTest::keyClick(grid->View, Qt::Key_Space);
        QVERIFY(!label->wordWrap());
    }

    void readOnlyProperty_opensNoEditor()
    {
        QVERIFY(!openEditor("hasSelectedText"));
        grid->View->setCurrentIndex(grid->valueIndex("hasSelectedText"));
        QTest::keyClick(grid->View, Qt::Key_F2);
        QVERIFY(!grid->View->isEditing());
    }

    void readOnlyGrid_opensNoEditor()
    {
        grid->setReadOnly(true);
        QVERIFY(!openEditor("text"));
        grid->View->setCurrentIndex(grid->valueIndex("wordWrap"));
        QTest::keyClick(grid->View, Qt::Key_Space);
        QVERIFY(!label->wordWrap());
        QCOMPARE(label->text(), QStringLiteral("before"));
    }
};

QTEST_MAIN(TestObjectInspector)
#include "tst_objectinspector.moc"
