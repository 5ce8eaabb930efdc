#pragma once

#include <QFrame>
#include <QSpinBox>

class QLabel;

// An integer edit without bounds whose text is its value: a text that is not a number
// (emptied, or a lone minus sign while typing) reads as 0. Changed is raised on every
// change of that value, by typing, the spin buttons or the program.
class TIntSpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    explicit TIntSpinEdit(QWidget *parent = nullptr);
    // The value the text stands for.
    int Value() const;
    // Sets the value; no change is raised when it stays as it was.
    void SetValue(int v);

signals:
    void Changed(int value);

protected:
    QValidator::State validate(QString &input, int &pos) const override;

private:
    int m_last = 0;
};

// The four geometry edits of the settings dialog: Top and Left on the left, Height and
// Width on the right. It holds no behaviour of its own; the dialog binds the edits.
class TScrPosFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TScrPosFrame(QWidget *parent = nullptr);

    TIntSpinEdit *SpinEditTop, *SpinEditLeft, *SpinEditHeight, *SpinEditWidth;
    QLabel *LabelTop, *LabelLeft, *LabelHeight, *LabelWidth;
};
