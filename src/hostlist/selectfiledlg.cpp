#include "selectfiledlg.h"

#include "selectfileframe.h"

#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

TSelectFileDlg::TSelectFileDlg(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SelectFileDlg"));
    setWindowTitle(QStringLiteral("Select File"));
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    SelectFileFrame = new TSelectFileFrame(this);
    v->addWidget(SelectFileFrame);
    resize(374, 169);
    FormCreate();
}

void TSelectFileDlg::FormCreate()
{
    SelectFileFrame->OnSelectFile
        = [this](TSelectFileFrame *sender, const QString &fileName) { SelectFileFrameSelectFile(sender, fileName); };
}

void TSelectFileDlg::SelectFileFrameSelectFile(TSelectFileFrame *, const QString &fileName)
{
    FFileName = fileName;
    accept();
}

void TSelectFileDlg::showEvent(QShowEvent *e)
{
    if (QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr) {
        const QRect outer = frameGeometry();
        QPoint at = owner->frameGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2);
        // Centred on a small window near a screen edge the chooser would reach past it and
        // hide its filter edit: keep it on the owner's screen.
        if (const QScreen *screen = owner->screen()) {
            const QRect work = screen->availableGeometry();
            at.setX(std::max(work.left(), std::min(at.x(), work.right() + 1 - outer.width())));
            at.setY(std::max(work.top(), std::min(at.y(), work.bottom() + 1 - outer.height())));
        }
        move(at);
    }
    QDialog::showEvent(e);
}
