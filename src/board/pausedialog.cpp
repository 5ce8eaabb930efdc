// The pause for running pings: a small confirmation dialog built anew for every pause, with
// a countdown that closes it by itself.
#include "frameboard.h"

#include "settingsowner.h"
#include "windowframe.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <cmath>

int TFrameBoard::ShowMsgDlgTm(
    const QString &msg, const QString &buttonCaption, const QString &caption, const QRect &rect, int countDown)
{
    auto *dlg = new QDialog(m_borrowed.window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    aMsgDlgTm = dlg;
    dlg->setObjectName(QStringLiteral("MsgDlgTm"));
    dlg->setWindowTitle(caption);

    const double p = m_borrowed.window->screen() ? m_borrowed.window->screen()->logicalDotsPerInch() : 96.0;
    auto at = [p](int designed144) { return int(std::lround(double(designed144) * p / 144.0)); };
    auto s = [p](int designed96) { return int(std::lround(double(designed96) * p / 96.0)); };

    auto *icon = new QLabel(dlg);
    icon->setObjectName(QStringLiteral("Image"));
    const int iconSize = s(32);
    icon->setPixmap(m_borrowed.window->style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(iconSize, iconSize));
    icon->setGeometry(s(12), s(12), iconSize, iconSize);

    auto *text = new QLabel(msg, dlg);
    text->setObjectName(QStringLiteral("Message"));
    text->adjustSize();

    DlgLbl = new QLabel(dlg);
    DlgLbl->setObjectName(QStringLiteral("DlgLbl"));
    CntDwn = countDown;
    DlgLbl->setText(QStringLiteral("Auto continue in: %1").arg(CntDwn));
    const int lblTop = at(50);
    const int lblLeft = at(88);
    DlgLbl->move(lblLeft, lblTop);
    DlgLbl->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("Auto continue in: -00")));
    DlgLbl->adjustSize();
    text->move(lblLeft, std::max(s(4), lblTop - text->height() - s(4)));

    auto *timer = new QTimer(dlg);
    timer->setObjectName(QStringLiteral("MsgDlgTimer"));
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, [this, timer] { MsgDlgTmTimer(timer); });
    timer->start();

    auto *button = new QPushButton(buttonCaption, dlg);
    button->setObjectName(QStringLiteral("Continue"));
    button->setDefault(true);
    button->adjustSize();
    connect(button, &QPushButton::clicked, dlg, [dlg] { dlg->done(QDialog::Accepted); });

    const int w = std::max({ lblLeft + text->width() + s(24), lblLeft + DlgLbl->width() + s(24), s(260) });
    const int buttonTop = lblTop + DlgLbl->height() + s(14);
    button->move((w - button->width()) / 2, buttonTop);
    const int h = buttonTop + button->height() + s(12);
    dlg->setFixedSize(w, h);
    // Centred by its outer size, frame included, as the window's position is its frame's.
    const QSize outer = QSize(w, h) + WindowFrame::extra(dlg);
    dlg->move(rect.left() + (rect.width() - outer.width()) / 2, rect.top() + (rect.height() - outer.height()) / 2);

    const int result = dlg->exec();
    delete dlg;
    return result;
}

void TFrameBoard::MsgDlgTmTimer(QTimer *timer)
{
    --CntDwn;
    if (DlgLbl)
        DlgLbl->setText(QStringLiteral("Auto continue in: %1").arg(CntDwn));
    if (CntDwn < 0) {
        timer->stop();
        if (aMsgDlgTm)
            aMsgDlgTm->reject();
    }
}

void TFrameBoard::ShowPause()
{
    ShowMsgDlgTm(QStringLiteral("Pausing for pings to finish!"), QStringLiteral("Continue"),
        QStringLiteral("Confirmation"), m_borrowed.window->frameGeometry(), settings().CntDwnFrm);
}
