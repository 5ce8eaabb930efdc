#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// Edits a host's interval and echo time-out, which live as words of its host text
// ("interval=2s timeout=500ms"), so lists and sessions carry them as they are.
class TTimingDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TTimingDialog(QWidget *parent = nullptr);

    // Shows the host text's values; hostText is what OK rewrites.
    void setHostText(const QString &hostText);
    // The host text with the edited words, once accepted.
    QString hostText() const;

    QLineEdit *IntervalEdit;
    QLineEdit *TimeoutEdit;

    void accept() override;

private:
    bool read(int *intervalMs, int *timeoutMs, QString *problem) const;

    QLabel *m_message;
    QString m_text;
    QString m_result;
};
