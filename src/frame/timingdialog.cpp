#include "timingdialog.h"

#include "hostspec.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TTimingDialog::TTimingDialog(QWidget *parent)
    : QDialog(parent)
    , IntervalEdit(new QLineEdit(this))
    , TimeoutEdit(new QLineEdit(this))
    , m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("TimingDialog"));
    setWindowTitle(QStringLiteral("Interval and Timeout"));
    IntervalEdit->setObjectName(QStringLiteral("IntervalEdit"));
    TimeoutEdit->setObjectName(QStringLiteral("TimeoutEdit"));
    // A duration is short: a long paste is cut rather than carried into the host text.
    IntervalEdit->setMaxLength(16);
    TimeoutEdit->setMaxLength(16);
    IntervalEdit->setToolTip(QStringLiteral("Time from a result to the next echo: 100ms to 1h, e.g. 500ms, 2s, 1m"));
    TimeoutEdit->setToolTip(QStringLiteral("How long an echo waits for its reply: 100ms to 60s"));
    m_message->setObjectName(QStringLiteral("TimingMessage"));
    m_message->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Interval:"), IntervalEdit);
    form->addRow(QStringLiteral("&Timeout:"), TimeoutEdit);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TTimingDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TTimingDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
}

void TTimingDialog::setHostText(const QString &hostText)
{
    m_text = hostText;
    m_result.clear();
    const HostSpec s = HostSpec::parse(hostText);
    IntervalEdit->setText(Duration::format(s.intervalMs));
    TimeoutEdit->setText(Duration::format(s.timeoutMs));
    m_message->setText(s.notes.join(QLatin1Char('\n')));
}

bool TTimingDialog::read(int *intervalMs, int *timeoutMs, QString *problem) const
{
    double interval = 0, timeout = 0;
    if (!Duration::parse(IntervalEdit->text().trimmed(), &interval)) {
        *problem = QStringLiteral("The interval is a number with ms, s, m or h, such as 2s.");
        return false;
    }
    if (!Duration::parse(TimeoutEdit->text().trimmed(), &timeout)) {
        *problem = QStringLiteral("The timeout is a number with ms, s, m or h, such as 500ms.");
        return false;
    }
    // The bounds apply as they do to a typed host text.
    const HostSpec s = HostSpec::parse(QStringLiteral("x interval=%1ms timeout=%2ms")
                                           .arg(QString::number(interval, 'f', 3), QString::number(timeout, 'f', 3)));
    *intervalMs = s.intervalMs;
    *timeoutMs = s.timeoutMs;
    return true;
}

void TTimingDialog::accept()
{
    int interval = 0, timeout = 0;
    QString problem;
    if (!read(&interval, &timeout, &problem)) {
        m_message->setText(problem);
        return;
    }
    m_result = HostSpec::withTiming(m_text, interval, timeout);
    QDialog::accept();
}

QString TTimingDialog::hostText() const
{
    return m_result;
}
