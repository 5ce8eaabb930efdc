#include "hlbeditmemodlg.h"

#include "textrules.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

void THLBEditMemoDlg::SortBtnClick()
{
    const QStringList sorted = SortLines(TextRules::textToLines(ListBoxEditMemo->toPlainText()));
    ListBoxEditMemo->setPlainText(sorted.isEmpty() ? QString() : sorted.join(u'\n') + u'\n');
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
        move(r.left() + (r.width() - frameGeometry().width()) / 2, r.top() + (r.height() - frameGeometry().height()) / 2);
    }
    FormActivate();
}

void THLBEditMemoDlg::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}
