#include "hlbeditmemodlg.h"

#include "hostlistbox.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
// The character format property that marks a stand-in and holds the character it stands for.
constexpr int kHeldChar = QTextFormat::UserProperty;

// Characters the editor would turn into a line break: they are held as stand-ins.
bool heldAsStandIn(QChar c)
{
    return c == QChar::LineSeparator || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0
        || c.unicode() == 0xFDD1;
}
} // namespace

THLBEditMemoDlg::THLBEditMemoDlg(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HLBEditMemoDlg"));
    setWindowTitle(QStringLiteral("Host Listbox Edit Memo"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(388, 190);

    auto *h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    ListBoxEditMemo = new QPlainTextEdit(this);
    ListBoxEditMemo->setObjectName(QStringLiteral("ListBoxEditMemo"));
    ListBoxEditMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    ListBoxEditMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ListBoxEditMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ListBoxEditMemo->installEventFilter(this);

    RightPanel = new QWidget(this);
    RightPanel->setObjectName(QStringLiteral("RightPanel"));
    RightPanel->setFixedWidth(88);
    auto *v = new QVBoxLayout(RightPanel);
    v->setContentsMargins(6, 6, 6, 6);
    OKBtn = new QPushButton(QStringLiteral("OK"), RightPanel);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), RightPanel);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    SortBtn = new QPushButton(QStringLiteral("Sort"), RightPanel);
    SortBtn->setObjectName(QStringLiteral("SortBtn"));
    v->addWidget(OKBtn);
    v->addWidget(CancelBtn);
    v->addStretch(1);
    v->addWidget(SortBtn);

    h->addWidget(ListBoxEditMemo, 1);
    h->addWidget(RightPanel);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(SortBtn, &QPushButton::clicked, this, &THLBEditMemoDlg::SortBtnClick);
}

QStringList THLBEditMemoDlg::SortLines(const QStringList &lines)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QStringList sorted = lines;
    std::stable_sort(sorted.begin(), sorted.end(), [&collator](const QString &a, const QString &b) {
        if (a.isEmpty() || b.isEmpty())
            return a.isEmpty() && !b.isEmpty();
        return collator.compare(a, b) < 0;
    });
    return sorted;
}

void THLBEditMemoDlg::SetLines(const QStringList &lines)
{
    QTextDocument *doc = ListBoxEditMemo->document();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    QTextCursor cursor(doc);
    const QTextCharFormat plain;
    for (const QString &line : lines) {
        qsizetype runStart = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (!heldAsStandIn(line[i]))
                continue;
            cursor.insertText(line.mid(runStart, i - runStart), plain);
            QTextCharFormat held;
            held.setProperty(kHeldChar, int(line[i].unicode()));
            cursor.insertText(QString(THostListBox::standIn(line[i])), held);
            runStart = i + 1;
        }
        cursor.insertText(line.mid(runStart), plain);
        cursor.insertBlock();
    }
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    ListBoxEditMemo->moveCursor(QTextCursor::Start);
}

QStringList THLBEditMemoDlg::Lines() const
{
    // Read block by block, not through toPlainText(), which turns a no-break space into a
    // blank and a line separator into a line end.
    QStringList lines;
    const QTextDocument *doc = ListBoxEditMemo->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        QString line;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QString text = fragment.text();
            const QVariant held = fragment.charFormat().property(kHeldChar);
            if (held.isValid()) {
                // Text typed right after a stand-in takes on its format; only the stand-in
                // itself goes back.
                const QChar original(char16_t(held.toInt()));
                text.replace(THostListBox::standIn(original), original);
            }
            line += text;
        }
        lines.append(line);
    }
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

void THLBEditMemoDlg::SortBtnClick()
{
    SetLines(SortLines(Lines()));
}

bool THLBEditMemoDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListBoxEditMemo && event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        if ((k->modifiers() & Qt::ControlModifier) && k->key() == Qt::Key_A) {
            ListBoxEditMemo->selectAll();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void THLBEditMemoDlg::FormActivate()
{
    ListBoxEditMemo->setFocus();
}

void THLBEditMemoDlg::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr) {
        const QRect r = owner->frameGeometry();
        move(r.left() + (r.width() - frameGeometry().width()) / 2,
            r.top() + (r.height() - frameGeometry().height()) / 2);
    }
    FormActivate();
}

void THLBEditMemoDlg::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}
