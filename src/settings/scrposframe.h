#pragma once

#include <QFrame>
#include <QSpinBox>

class QLabel;

// An integer edit without bounds whose text is its value: a text that is not a number
// (emptied, or a lone minus sign while typing) reads as 0. Changed is raised when the value
// changes by the spin buttons or arrow keys, by the program, or by typing once it is finished
// (Enter, or the focus leaving the edit); not at every keystroke, as "20000" passes through
// 2, 20, 200 and 2000 on its way.
class TIntSpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    explicit TIntSpinEdit(QWidget *parent = nullptr);
    // The value the text stands for.
    int Value() const;
    // Sets the value and shows it; no change is raised when it stays as it was.
    void SetValue(int v);
    // Whether the user has typed into the edit and not yet finished.
    bool Typing() const { return m_typing; }

signals:
    void Changed(int value);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    void stepBy(int steps) override;

private:
    void raiseIfChanged();

    int m_last = 0;
    bool m_typing = false;
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
