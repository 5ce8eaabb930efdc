#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// Edits the whole host list as text, one entry per line; Sort orders the lines. The host
// list takes the text back only on OK.
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
