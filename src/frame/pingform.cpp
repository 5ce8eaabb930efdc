#include "pingform.h"

#include "formmagnet.h"
#include "pingframe.h"

#include <QVBoxLayout>

TPingForm::TPingForm(QWidget *owner)
    : QWidget(owner,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("PingForm"));
    setWindowTitle(QStringLiteral("PingForm"));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PingFrame = new TPingFrame(this);
    PingFrame->setObjectName(QStringLiteral("PingFrame"));
    layout->addWidget(PingFrame);

    JvFormMagnet = new TJvFormMagnet(this);

    // The designed client area; the frame's controls fit themselves to the narrower width.
    resize(kClientWidth, kClientHeight);
}

TPingForm::~TPingForm() = default;
