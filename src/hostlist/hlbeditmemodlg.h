#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// Edits the whole host list as text, one entry per line; Sort orders the lines. The host
// list takes the text back only on OK. Only CR, LF and CR LF end a line: an entry holding a
// line or paragraph separator is shown on one line with a stand-in for it and comes back
// with the character it held.
class THLBEditMemoDlg : public QDialog
{
    Q_OBJECT
public:
    explicit THLBEditMemoDlg(QWidget *parent = nullptr);

    QPlainTextEdit *ListBoxEditMemo;
    QWidget *RightPanel;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *SortBtn;

    // Fills the editor with the lines, each followed by a line end.
    void SetLines(const QStringList &lines);
    // The editor's lines, every character as it was put in or typed; a line end at the very
    // end adds no empty line.
    QStringList Lines() const;

    void SortBtnClick();
    // Locale-aware, ignoring case; empty lines first.
    static QStringList SortLines(const QStringList &lines);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void FormActivate();
};
