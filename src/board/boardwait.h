#pragma once

#include "mainform.h"

#include <QTimer>

// Marks a board command that waits for pings while events keep flowing. Board commands that
// arrive meanwhile are refused, and a close that arrives meanwhile runs when the wait is over.
class BoardWait
{
public:
    explicit BoardWait(TMainForm *form)
        : m_form(form)
    {
        ++m_form->m_boardWaits;
    }
    ~BoardWait()
    {
        if (--m_form->m_boardWaits == 0 && m_form->m_closeAfterWait) {
            m_form->m_closeAfterWait = false;
            QTimer::singleShot(0, m_form, &QWidget::close);
        }
    }

private:
    TMainForm *m_form;
};
