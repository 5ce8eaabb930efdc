#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// A short-lived hint with a title and a line of text, shown by a control (for instance after
// a path was copied) and gone after a while by itself.
class TBalloonHint : public QObject
{
    Q_OBJECT
public:
    explicit TBalloonHint(QObject *parent = nullptr);

    void ActivateHint(QWidget *anchor, const QString &title, const QString &text, int visibleMs);

    // What was shown last, and by which control.
    QString Title() const { return m_title; }
    QString Text() const { return m_text; }
    QWidget *Anchor() const { return m_anchor; }
    int VisibleMs() const { return m_ms; }

private:
    QString m_title, m_text;
    QPointer<QWidget> m_anchor;
    int m_ms = 0;
};
