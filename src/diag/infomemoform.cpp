#include "infomemoform.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TInfoMemoForm::TInfoMemoForm(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("InfoMemoForm"));
    setWindowTitle(QStringLiteral("InfoMemo"));
    resize(527, 336);
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    InfoMemo = new QPlainTextEdit(this);
    InfoMemo->setObjectName(QStringLiteral("InfoMemo"));
    InfoMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    InfoMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    InfoMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    v->addWidget(InfoMemo);
}

void TInfoMemoForm::closeEvent(QCloseEvent *e)
{
    e->setAccepted(FormCloseQuery());
}
