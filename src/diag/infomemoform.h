#pragma once

#include <QWidget>

class QPlainTextEdit;

// A free text pad for notes while looking into the running program. Nothing writes into it;
// its text lasts while the program runs. Closing it only hides it.
class TInfoMemoForm : public QWidget
{
    Q_OBJECT
public:
    explicit TInfoMemoForm(QWidget *parent = nullptr);

    QPlainTextEdit *InfoMemo;

    // The window may always close (closing only hides it).
    bool FormCloseQuery() const { return true; }

protected:
    void closeEvent(QCloseEvent *e) override;
};
