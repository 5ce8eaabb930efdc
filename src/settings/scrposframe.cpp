#include "scrposframe.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <climits>

TIntSpinEdit::TIntSpinEdit(QWidget *parent)
    : QSpinBox(parent)
{
    setRange(INT_MIN, INT_MAX);
    setValue(0);
    // Typing changes the value once it is finished; the buttons and arrow keys at once.
    setKeyboardTracking(false);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_typing = true; });
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
        m_typing = false;
        raiseIfChanged();
    });
}

void TIntSpinEdit::raiseIfChanged()
{
    const int v = Value();
    if (v == m_last)
        return;
    m_last = v;
    emit Changed(v);
}

void TIntSpinEdit::stepBy(int steps)
{
    QSpinBox::stepBy(steps);
    m_typing = false;
    raiseIfChanged();
}

void TIntSpinEdit::fixup(QString &input) const
{
    // Finished as an empty text or a lone sign, the edit reads 0 and now shows it.
    const QString t = input.trimmed();
    if (t.isEmpty() || t == QStringLiteral("-") || t == QStringLiteral("+"))
        input = QStringLiteral("0");
    else
        QSpinBox::fixup(input);
}

int TIntSpinEdit::Value() const
{
    bool ok = false;
    const int v = cleanText().toInt(&ok);
    return ok ? v : 0;
}

void TIntSpinEdit::SetValue(int v)
{
    m_typing = false;
    if (v != Value() || cleanText() != QString::number(v)) {
        setValue(v);
        // setValue leaves an unreadable text as it is when the value itself did not change.
        if (cleanText() != QString::number(v))
            lineEdit()->setText(QString::number(v));
    }
    raiseIfChanged();
}

QValidator::State TIntSpinEdit::validate(QString &input, int &pos) const
{
    // An empty text or a lone minus sign is a step of typing, and reads as 0 meanwhile.
    const QString t = input.trimmed();
    if (t.isEmpty() || t == QStringLiteral("-") || t == QStringLiteral("+"))
        return QValidator::Intermediate;
    return QSpinBox::validate(input, pos);
}

TScrPosFrame::TScrPosFrame(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("ScrPosFrame"));
    auto *g = new QGridLayout(this);
    g->setContentsMargins(0, 0, 0, 0);
    auto edit = [this](const char *name) {
        auto *e = new TIntSpinEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    auto label = [this](const char *name, const QString &caption, QWidget *buddy) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setBuddy(buddy);
        return l;
    };
    SpinEditTop = edit("SpinEditTop");
    SpinEditLeft = edit("SpinEditLeft");
    SpinEditHeight = edit("SpinEditHeight");
    SpinEditWidth = edit("SpinEditWidth");
    LabelTop = label("LabelTop", QStringLiteral("Top"), SpinEditTop);
    LabelLeft = label("LabelLeft", QStringLiteral("Left"), SpinEditLeft);
    LabelHeight = label("LabelHeight", QStringLiteral("Height"), SpinEditHeight);
    LabelWidth = label("LabelWidth", QStringLiteral("Width"), SpinEditWidth);
    g->addWidget(LabelTop, 0, 0);
    g->addWidget(SpinEditTop, 0, 1);
    g->addWidget(LabelHeight, 0, 2);
    g->addWidget(SpinEditHeight, 0, 3);
    g->addWidget(LabelLeft, 1, 0);
    g->addWidget(SpinEditLeft, 1, 1);
    g->addWidget(LabelWidth, 1, 2);
    g->addWidget(SpinEditWidth, 1, 3);
}
