#include "selectfiledlg.h"

#include "selectfileframe.h"

#include <QVBoxLayout>

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
        move(owner->frameGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2));
    }
    QDialog::showEvent(e);
}
